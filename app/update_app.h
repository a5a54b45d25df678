#pragma once
// The application object: brings up the socket layer, reads updataAdd.ini,
// refuses a URL that is not plain http, and runs the wizard modally.
namespace updater::app {

class UpdateApp {
public:
    // Returns the process exit code once the wizard (or a refusal box) is done.
    int run();
};

}  // namespace updater::app
