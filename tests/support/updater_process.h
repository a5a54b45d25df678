#pragma once
// The program under test, started from a product directory under Wine. On
// start and on destruction no copy of it is left running in the prefix, so
// each test sees only its own windows.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class ProductDir;
class ProbeClient;
class WineProcess;

class UpdaterProcess {
public:
    // Started with the working directory outside the product directory, so
    // that the program has to find its files from its own path.
    explicit UpdaterProcess(const ProductDir& product, const std::vector<std::string>& args = {});
    ~UpdaterProcess();
    UpdaterProcess(const UpdaterProcess&) = delete;
    UpdaterProcess& operator=(const UpdaterProcess&) = delete;

    bool running();
    // True when the program ended within the limit.
    bool waitExit(std::chrono::milliseconds limit = std::chrono::seconds(15));
    int exitCode() const { return exitCode_; }
    std::string output() const;

private:
    void endStrayCopies();

    ProbeClient& probe_;
    std::string exeName_;
    std::unique_ptr<WineProcess> process_;
    int exitCode_ = -1;
};

}  // namespace testsupport
