#pragma once
// The application object: claims the program directory, brings up the socket
// layer, reads updataAdd.ini, refuses a URL that is not plain http, and runs
// the wizard modally.
#include <utility>

#include "engine/update_settings.h"

namespace updater::app {

class UpdateApp {
public:
    // defaults: the values for keys that updataAdd.ini lacks.
    explicit UpdateApp(UpdateSettings defaults) : defaults_(std::move(defaults)) {}

    // Returns the process exit code (engine/command_line.h) once the wizard
    // (or a refusal box) is done, or at once when another updater holds the folder.
    int run();

private:
    UpdateSettings defaults_;
};

}  // namespace updater::app
