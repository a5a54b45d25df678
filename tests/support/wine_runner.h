#pragma once
// Runs Windows programs under Wine from native tests. The Wine prefix and its
// environment (WINEPREFIX, LANG, ...) come from scripts/test.
#include <chrono>
#include <filesystem>
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
// The Windows user's profile folder in the test prefix (C:\\users\\<user>).
std::filesystem::path userProfilePath();

// Runs `wine exe args...` in workingDir and waits for it, at most timeout.
ChildResult runWine(const std::string& exe, const std::vector<std::string>& args, const std::string& workingDir,
                    std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Windows programs started while it lives run under this locale (LANG and
// LC_ALL), which sets their ANSI code page: en_US.UTF-8 gives 1252,
// zh_TW.UTF-8 950, ja_JP.UTF-8 932. Empty: the run's own locale.
class ScopedLocale {
public:
    explicit ScopedLocale(const std::string& locale);
    ~ScopedLocale();
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    std::string savedLang_, savedAll_;
    bool changed_ = false;
};

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
