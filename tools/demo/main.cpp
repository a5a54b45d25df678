// demo_driver: the unattended half of scripts/demo. See walkthrough.h.
//
// Usage: demo_driver INSTALL_DIR OUT_DIR
//   Needs UPDATER_WIN_TEST_BIN (the Windows test programs, for probe.exe) and the
//   demo's Wine prefix and display in the environment.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "tools/demo/walkthrough.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: demo_driver INSTALL_DIR OUT_DIR\n";
        return 2;
    }
    char pattern[] = "/tmp/updater-demo-shots.XXXXXX";
    if (!mkdtemp(pattern)) {
        std::cerr << "demo_driver: cannot make a scratch directory\n";
        return 1;
    }
    int status = 0;
    try {
        demo::runWalkthrough({std::filesystem::absolute(argv[1]).string(),
                              std::filesystem::absolute(argv[2]).string(), pattern});
    } catch (const std::exception& error) {
        std::cerr << "demo_driver: " << error.what() << "\n";
        status = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    return status;
}
