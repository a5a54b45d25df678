#include "tests/support/wine_runner.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testsupport {

namespace {

std::string directoryFromEnvironment(const char* name) {
    const char* dir = std::getenv(name);
    if (!dir || !*dir) throw std::runtime_error(std::string(name) + " is not set; run the tests through scripts/test");
    return dir;
}

std::vector<std::string> wineCommand(const std::string& exe, std::vector<std::string> args) {
    args.insert(args.begin(), {"wine", exe});
    return args;
}

}  // namespace

std::string windowsBinDir() { return directoryFromEnvironment("UPDATER_WIN_BIN"); }

std::string windowsTestBinDir() { return directoryFromEnvironment("UPDATER_WIN_TEST_BIN"); }

std::string toWindowsPath(const std::string& linuxPath) {
    std::string result = "Z:";
    for (char c : linuxPath) result += (c == '/') ? '\\' : c;
    return result;
}

std::filesystem::path userProfilePath() {
    const passwd* user = getpwuid(getuid());
    if (!user) throw std::runtime_error("no user name");
    return std::filesystem::path(directoryFromEnvironment("WINEPREFIX")) / "drive_c" / "users" / user->pw_name;
}

std::string manifestCopyPath() {
    const std::filesystem::path home = userProfilePath();
    // Wine 8 keeps TEMP in the profile itself; newer versions under AppData.
    for (const auto& candidate : {home / "Temp", home / "AppData" / "Local" / "Temp"})
        if (std::filesystem::is_directory(candidate)) return (candidate / "update.ini").string();
    throw std::runtime_error("no temporary directory under " + home.string());
}

ChildResult runWine(const std::string& exe, const std::vector<std::string>& args, const std::string& workingDir,
                    std::chrono::milliseconds timeout) {
    return runChild(wineCommand(exe, args), timeout, workingDir);
}

WineProcess::WineProcess(const std::string& exe, const std::vector<std::string>& args, const std::string& workingDir)
    : ChildProcess(wineCommand(exe, args), workingDir) {}

ScopedLocale::ScopedLocale(const std::string& locale) : changed_(!locale.empty()) {
    if (!changed_) return;
    savedLang_ = std::getenv("LANG") ? std::getenv("LANG") : "";
    savedAll_ = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
    setenv("LANG", locale.c_str(), 1);
    setenv("LC_ALL", locale.c_str(), 1);
}

ScopedLocale::~ScopedLocale() {
    if (!changed_) return;
    setenv("LANG", savedLang_.c_str(), 1);
    setenv("LC_ALL", savedAll_.c_str(), 1);
}

}  // namespace testsupport
