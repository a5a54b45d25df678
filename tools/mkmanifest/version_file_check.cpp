#include "tools/mkmanifest/version_file_check.h"

#include "engine/run/local_settings.h"
#include "engine/text/code_page.h"
#include "engine/text/version_number.h"

namespace mkmanifest {
namespace {

constexpr std::string_view kSettingsName = "updataAdd.ini";

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (updater::upperAscii(a[i]) != updater::upperAscii(b[i])) return false;
    return true;
}

}  // namespace

std::optional<std::string> versionFileWarning(
    const std::vector<ListedFile>& listed, const std::string& version,
    const std::function<std::optional<std::string>(const std::string& name)>& read) {
    std::optional<std::string> bytes;
    for (const ListedFile& file : listed)
        if (sameIgnoringAsciiCase(file.name, kSettingsName)) bytes = read(file.name);
    if (bytes) {
        // Read as the updater reads it; a missing key leaves the empty text.
        updater::UpdateSettings settings;
        settings.installedVersion.clear();
        updater::readLocalSettings(bytes, settings, updater::cp936());
        if (!settings.installedVersion.empty() &&
            updater::readVersionNumber(settings.installedVersion) == updater::readVersionNumber(version))
            return std::nullopt;
    }
    return "the release has no updataAdd.ini whose strVersion is " + version +
           "; installed clients will be offered this update at every check";
}

}  // namespace mkmanifest
