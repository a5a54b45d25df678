#pragma once
// Runs Windows programs under Wine from native tests. The Wine prefix and its
// environment (WINEPREFIX, LANG, ...) come from scripts/test; output goes to
// files, never pipes, because Wine's helpers inherit them.
#include <chrono>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace testsupport {

// Directory of the shipped Windows programs (Update.exe): $UPDATER_WIN_BIN.
std::string windowsBinDir();
// Directory of the Windows programs only the tests run (probe.exe, oracles,
// UpdateKeyed.exe, ...): $UPDATER_WIN_TEST_BIN.
std::string windowsTestBinDir();

// Absolute Linux path -> "Z:\..." path for Windows programs.
std::string toWindowsPath(const std::string& linuxPath);

struct WineResult {
    int exitCode = -1;      // -1 when killed or timed out
    bool timedOut = false;
    std::string output;     // stdout and stderr together
};

// Runs `wine exe args...` in workingDir and waits for it, at most timeout.
WineResult runWine(const std::string& exe, const std::vector<std::string>& args,
                   const std::string& workingDir,
                   std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A Windows program running in the background. The destructor kills it.
class WineProcess {
public:
    WineProcess(const std::string& exe, const std::vector<std::string>& args, const std::string& workingDir);
    ~WineProcess();
    WineProcess(const WineProcess&) = delete;
    WineProcess& operator=(const WineProcess&) = delete;

    bool running() { return child_.running(); }
    // Waits for the end; the exit code, or -1 after the timeout or a signal.
    int wait(std::chrono::milliseconds timeout) { return child_.wait(timeout); }
    // Only the program itself: Wine's shared helpers (wineserver,
    // services.exe, explorer.exe) may have been started as its children.
    void kill() { child_.kill(); }
    int unixPid() const { return child_.pid(); }
    // What the program printed so far (stdout and stderr).
    std::string output() const { return child_.output(); }

private:
    ChildProcess child_;
};

}  // namespace testsupport
