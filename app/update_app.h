#pragma once
// The application object: claims the program directory, brings up the socket
// layer, reads updataAdd.ini, refuses a URL that is not plain http (or https,
// for a brand that allows it), and runs the wizard modally.
#include <optional>
#include <string>
#include <utility>

#include "engine/run/update_settings.h"

namespace updater::app {

// How this copy was started, as far as rights go (engine/run/install_rights.h).
struct RightsAtStart {
    // "/elevated-run VERSION": the elevated copy, and the version it is for.
    std::optional<std::wstring> elevatedFor;
    // The brand's RequireAdmin: a copy that is not the elevated one hands
    // the folder to one at once, and ends.
    bool requireAdmin = false;
};

class UpdateApp {
public:
    // defaults: the values for keys that updataAdd.ini lacks; boxCaption: the
    // message boxes' caption, or empty for the program's name; httpsAllowed:
    // the brand's AllowHttps.
    UpdateApp(UpdateSettings defaults, std::string boxCaption, RightsAtStart rights = {}, bool httpsAllowed = false)
        : defaults_(std::move(defaults)),
          boxCaption_(std::move(boxCaption)),
          rights_(std::move(rights)),
          httpsAllowed_(httpsAllowed) {}

    // Returns the process exit code (engine/run/command_line.h) once the wizard
    // (or a refusal box) is done, or at once when another updater holds the folder.
    int run();
    // Update.exe /recover: brings the installation back to one release after
    // a whole release's commit was cut short, without a window.
    int recover();
    // Update.exe /check [FILE]: the version check alone, without a window
    // or a box, outside the one-updater-per-folder rule; answers with
    // kExitCheckCurrent, kExitCheckNewer or kExitCheckFailed. With FILE, a
    // newer version is also written there.
    int check(const std::wstring& answerFile);

private:
    UpdateSettings defaults_;
    std::string boxCaption_;
    RightsAtStart rights_;
    bool httpsAllowed_;
};

}  // namespace updater::app
