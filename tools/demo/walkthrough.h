#pragma once
// The demo's unattended run: starts Update.exe from an installation under
// Wine, presses Next, Update, OK in the guard's box and Finish as a user
// would, tells each stage on standard output and saves a screenshot of it.
#include <string>

namespace demo {

struct WalkthroughPaths {
    std::string installDir;  // holds Update.exe and updataAdd.ini
    std::string outDir;      // 1-opened.png ... 4-finished.png
    std::string scratchDir;  // raw grabs, and Update.exe's working directory
};

// Throws std::runtime_error with the wizard's state when a stage is not reached.
void runWalkthrough(const WalkthroughPaths& paths);

}  // namespace demo
