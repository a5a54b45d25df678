#pragma once
// The program under test, started from a product directory under Wine. On
// start and on destruction no copy of it is left running in the prefix, so
// each test sees only its own windows, and a killed copy's claim on its
// folder is gone: the Wine server closes a process's handles in the step
// that takes it off toolhelp's list, which is what the wait watches.
#include <chrono>
#include <string>
#include <vector>

#include "tests/support/wine_runner.h"

namespace testsupport {

class ProductDir;

class UpdaterProcess : public WineProcess {
public:
    // Started with the working directory outside the product directory, so
    // that the program has to find its files from its own path.
    explicit UpdaterProcess(const ProductDir& product, const std::vector<std::string>& args = {});
    ~UpdaterProcess();

    // True when the program ended within the limit.
    bool waitExit(std::chrono::milliseconds limit = std::chrono::seconds(15));
    int exitCode() const { return exitCode_; }

private:
    std::string exeName_;
    int exitCode_ = -1;
};

}  // namespace testsupport
