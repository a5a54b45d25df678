#pragma once
// The application object: claims the program directory, brings up the socket
// layer, reads updataAdd.ini, refuses a URL that is not plain http (or https,
// for a brand that allows it), and runs the wizard modally.
#include <optional>
#include <string>

#include "engine/run/program_start.h"

namespace updater::app {

class UpdateApp : public StartModes {
public:
    // Returns the process exit code (engine/run/command_line.h) once the wizard
    // (or a refusal box) is done, or at once when another updater holds the
    // folder. The brand's RequireAdmin: a copy that is not the elevated one
    // hands the folder to one at once, and ends.
    int wizard(const BrandOptions& brand, const std::optional<std::wstring>& elevatedFor) override;
    // Update.exe /recover: brings the installation back to one release after
    // a whole release's commit was cut short, without a window.
    int recover(const BrandOptions& brand) override;
    // Update.exe /check [FILE]: the version check alone, without a window
    // or a box, outside the one-updater-per-folder rule; answers with
    // kExitCheckCurrent, kExitCheckNewer or kExitCheckFailed. With FILE, a
    // newer version is also written there.
    int check(const BrandOptions& brand, const std::wstring& answerFile) override;
    // Update.exe /update: the check and the run with no window, no box and
    // no prompt; answers with the kExitUpdate codes and writes no file of
    // its own but the log.
    int update(const BrandOptions& brand) override;
};

}  // namespace updater::app
