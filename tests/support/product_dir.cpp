#include "tests/support/product_dir.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/cp936_text.h"
#include "tests/support/file_bytes.h"
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
    char pattern[] = "/tmp/updater-product.XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    fs::copy_file(windowsBinDir() + "/Update.exe", pathOf(exeName_));
}

ProductDir::~ProductDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
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
    std::ifstream in(pathOf(name), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + pathOf(name));
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::time_t ProductDir::mtime(const std::string& name) const {
    struct stat info {};
    if (stat(pathOf(name).c_str(), &info) != 0) throw std::runtime_error("cannot stat " + pathOf(name));
    return info.st_mtime;
}

}  // namespace testsupport
