#pragma once
// The application object: claims the program directory, brings up the socket
// layer, reads updataAdd.ini, refuses a URL that is not plain http, and runs
// the wizard modally.
#include <string>
#include <utility>

#include "engine/update_settings.h"

namespace updater::app {

class UpdateApp {
public:
    // defaults: the values for keys that updataAdd.ini lacks; boxCaption: the
    // message boxes' caption, or empty for the program's name.
    UpdateApp(UpdateSettings defaults, std::string boxCaption)
        : defaults_(std::move(defaults)), boxCaption_(std::move(boxCaption)) {}

    // Returns the process exit code (engine/command_line.h) once the wizard
    // (or a refusal box) is done, or at once when another updater holds the folder.
    int run();
    // Update.exe /recover: brings the installation back to one release after
    // a whole release's commit was cut short, without a window.
    int recover();

private:
    UpdateSettings defaults_;
    std::string boxCaption_;
};

}  // namespace updater::app
