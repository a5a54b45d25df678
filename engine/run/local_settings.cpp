#include "engine/run/local_settings.h"

#include "engine/text/byte_limits.h"
#include "engine/text/ini_file.h"

namespace updater {

std::string localSettingsPath(std::string_view programDirectoryWithoutSeparator) {
    // A forward slash: the platform accepts it, and the program always used it.
    return std::string(programDirectoryWithoutSeparator) + "/updataAdd.ini";
}

void readLocalSettings(const std::optional<std::string>& fileBytes, UpdateSettings& settings, const CodePage& cp,
                       const UnicodeToAnsi* unicodeToAnsi) {
    const UpdateSettings defaults = settings;
    const IniFile ini = IniFile::parse(fileBytes ? std::string_view(*fileBytes) : std::string_view(), cp, unicodeToAnsi);
    // Read in this order, each into a 100-byte buffer.
    settings.productName = ini.get("Server", "strSoft", defaults.productName, kSettingBufferBytes);
    settings.installedVersion = ini.get("Server", "strVersion", defaults.installedVersion, kSettingBufferBytes);
    settings.url = ini.get("Server", "URL", defaults.url, kSettingBufferBytes);
}

}  // namespace updater
