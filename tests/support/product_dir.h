#pragma once
// A throwaway product directory: a copy of Update.exe, its updataAdd.ini and
// any product files, removed again by the destructor.
#include <ctime>
#include <optional>
#include <string>

#include "tests/support/file_bytes.h"

namespace testsupport {

// The [Server] section of updataAdd.ini. Values are UTF-8 and written in code
// page 936; a key without a value is left out (the program's default applies).
struct ServerConfig {
    std::optional<std::string> strSoft;
    std::optional<std::string> strVersion;
    std::optional<std::string> url;

    std::string iniBytes() const;
};

class ProductDir {
public:
    // exeName: the name under which the program is copied in.
    explicit ProductDir(const std::string& exeName = "Update.exe");

    const std::string& path() const { return dir_.path(); }
    std::string pathOf(const std::string& name) const { return dir_.pathOf(name); }
    const std::string& exeName() const { return exeName_; }
    std::string exeWindowsPath() const;

    void writeConfig(const ServerConfig& config);
    void writeConfigBytes(const std::string& bytes);  // updataAdd.ini exactly as given
    // A file with the given bytes and, when given, last-write time (UTC seconds).
    void writeFile(const std::string& name, const std::string& bytes, std::optional<std::time_t> mtime = {});
    bool exists(const std::string& name) const;
    std::string readFile(const std::string& name) const;  // throws when it cannot be read
    std::time_t mtime(const std::string& name) const;

private:
    ScratchDir dir_{"updater-product"};
    std::string exeName_;
};

}  // namespace testsupport
