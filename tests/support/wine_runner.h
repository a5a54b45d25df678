#pragma once
// Runs Windows programs under Wine from native tests. The Wine prefix and its
// environment (WINEPREFIX, LANG, ...) come from scripts/test.
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

// The program's temporary manifest copy, "update.ini" in the prefix's
// temporary directory (GetTempPathA), as a Linux path; throws
// std::runtime_error when the prefix has no such directory.
std::string manifestCopyPath();

// Runs `wine exe args...` in workingDir and waits for it, at most timeout.
ChildResult runWine(const std::string& exe, const std::vector<std::string>& args, const std::string& workingDir,
                    std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A Windows program running in the background. The destructor kills it; and
// only it: Wine's shared helpers (wineserver, services.exe, explorer.exe) may
// have been started as its children.
class WineProcess : public ChildProcess {
public:
    WineProcess(const std::string& exe, const std::vector<std::string>& args, const std::string& workingDir);
    ~WineProcess() { kill(); }
    // The unix process of `wine X.exe` is the Windows process itself.
    int unixPid() const { return pid(); }
};

}  // namespace testsupport
