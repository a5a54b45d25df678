#include "engine/update_manifest.h"

#include "engine/byte_limits.h"

namespace updater {

UpdateManifest UpdateManifest::parse(std::string_view bytes, const CodePage& cp, const UnicodeToAnsi* unicodeToAnsi) {
    return UpdateManifest(IniFile::parse(bytes, cp, unicodeToAnsi));
}

std::optional<std::string> UpdateManifest::productVersion(std::string_view product) const {
    return ini_.find(product, "VERSION", kProductVersionBufferBytes);
}

std::optional<ManifestEntry> UpdateManifest::entry(std::size_t index) const {
    const std::string section = "FILE" + std::to_string(index);
    ManifestEntry entry;
    entry.file = ini_.get(section, "FILE", "", kFileValueBufferBytes);
    if (entry.file.empty()) return std::nullopt;
    entry.version = ini_.get(section, "VERSION", "", kFileValueBufferBytes);
    entry.size = ini_.find(section, "SIZE", kFileValueBufferBytes);
    entry.sha256 = ini_.find(section, "SHA256", kFileValueBufferBytes);
    return entry;
}

}  // namespace updater
