#include "tests/support/wine_temp_dir.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testsupport {

std::string wineTempDir() {
    const char* prefix = std::getenv("WINEPREFIX");
    const passwd* user = getpwuid(getuid());
    if (!prefix || !user) throw std::runtime_error("no WINEPREFIX or user name");
    const std::filesystem::path home = std::filesystem::path(prefix) / "drive_c" / "users" / user->pw_name;
    // Wine 8 keeps TEMP in the profile itself; newer versions under AppData.
    for (const auto& candidate : {home / "Temp", home / "AppData" / "Local" / "Temp"})
        if (std::filesystem::is_directory(candidate)) return candidate.string();
    throw std::runtime_error("no temporary directory under " + home.string());
}

std::string manifestCopyPath() { return wineTempDir() + "/update.ini"; }

}  // namespace testsupport
