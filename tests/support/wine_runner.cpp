#include "tests/support/wine_runner.h"

#include <cstdlib>
#include <stdexcept>

namespace testsupport {

namespace {

std::string directoryFromEnvironment(const char* name) {
    const char* dir = std::getenv(name);
    if (!dir || !*dir) throw std::runtime_error(std::string(name) + " is not set; run the tests through scripts/test");
    return dir;
}

}  // namespace

std::string windowsBinDir() { return directoryFromEnvironment("UPDATER_WIN_BIN"); }

std::string windowsTestBinDir() { return directoryFromEnvironment("UPDATER_WIN_TEST_BIN"); }

std::string toWindowsPath(const std::string& linuxPath) {
    std::string result = "Z:";
    for (char c : linuxPath) result += (c == '/') ? '\\' : c;
    return result;
}

namespace {

std::vector<std::string> wineCommand(const std::string& exe, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"wine", exe};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

}  // namespace

WineResult runWine(const std::string& exe, const std::vector<std::string>& args, const std::string& workingDir,
                   std::chrono::milliseconds timeout) {
    WineProcess process(exe, args, workingDir);
    WineResult result;
    result.exitCode = process.wait(timeout);
    result.timedOut = process.running();
    process.kill();
    result.output = process.output();
    return result;
}

WineProcess::WineProcess(const std::string& exe, const std::vector<std::string>& args, const std::string& workingDir)
    : child_(wineCommand(exe, args), workingDir) {}

WineProcess::~WineProcess() { kill(); }

}  // namespace testsupport
