#include "tests/support/product_dir.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

#include "tests/support/cp936_text.h"
#include "tests/support/wine_runner.h"

namespace testsupport {

namespace fs = std::filesystem;

std::string ServerConfig::iniBytes() const {
    std::string text = "[Server]\r\n";
    if (strSoft) text += "strSoft=" + *strSoft + "\r\n";
    if (strVersion) text += "strVersion=" + *strVersion + "\r\n";
    if (url) text += "URL=" + *url + "\r\n";
    return toCp936(text);
}

ProductDir::ProductDir(const std::string& exeName) : exeName_(exeName) {
    fs::copy_file(windowsBinDir() + "/Update.exe", pathOf(exeName_));
}

std::string ProductDir::exeWindowsPath() const { return toWindowsPath(pathOf(exeName_)); }

void ProductDir::writeConfig(const ServerConfig& config) { writeConfigBytes(config.iniBytes()); }

void ProductDir::writeConfigBytes(const std::string& bytes) { writeFile("updataAdd.ini", bytes); }

void ProductDir::writeFile(const std::string& name, const std::string& bytes, std::optional<std::time_t> mtime) {
    const std::string target = pathOf(name);
    writeFileBytes(target, bytes);
    if (mtime) {
        timespec times[2] = {{*mtime, 0}, {*mtime, 0}};
        if (utimensat(AT_FDCWD, target.c_str(), times, 0) != 0) throw std::runtime_error("cannot set time of " + target);
    }
}

bool ProductDir::exists(const std::string& name) const { return fs::exists(pathOf(name)); }

std::string ProductDir::readFile(const std::string& name) const {
    if (std::optional<std::string> bytes = fileBytes(pathOf(name))) return *bytes;
    throw std::runtime_error("cannot read " + pathOf(name));
}

std::time_t ProductDir::mtime(const std::string& name) const {
    struct stat info {};
    if (stat(pathOf(name).c_str(), &info) != 0) throw std::runtime_error("cannot stat " + pathOf(name));
    return info.st_mtime;
}

}  // namespace testsupport
