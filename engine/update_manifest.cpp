#include "engine/update_manifest.h"

#include "engine/byte_limits.h"

namespace updater {

UpdateManifest UpdateManifest::parse(std::string_view bytes, const CodePage& cp, const UnicodeToAnsi* unicodeToAnsi) {
    return UpdateManifest(IniFile::parse(bytes, cp, unicodeToAnsi));
}

std::optional<std::string> UpdateManifest::productVersion(std::string_view product) const {
    return ini_.find(product, "VERSION", kProductVersionBufferBytes);
}

bool UpdateManifest::wholeRelease(std::string_view product) const {
    return ini_.get(product, "WHOLE", "", kProductVersionBufferBytes) == "1";
}

std::optional<ManifestEntry> UpdateManifest::entry(std::size_t index) const {
    const std::string section = "FILE" + std::to_string(index);
    ManifestEntry entry;
    entry.file = ini_.get(section, "FILE", "", kFileValueBufferBytes);
    if (entry.file.empty()) return std::nullopt;
    entry.version = ini_.get(section, "VERSION", "", kFileValueBufferBytes);
    entry.size = ini_.find(section, "SIZE", kFileValueBufferBytes);
    entry.sha256 = ini_.find(section, "SHA256", kFileValueBufferBytes);
    entry.previous = history(section);
    return entry;
}

std::optional<DroppedFile> UpdateManifest::dropped(std::size_t index) const {
    const std::string section = "DROP" + std::to_string(index);
    DroppedFile dropped;
    dropped.file = ini_.get(section, "FILE", "", kFileValueBufferBytes);
    if (dropped.file.empty()) return std::nullopt;
    dropped.previous = history(section);
    dropped.age = ini_.find(section, "AGE", kFileValueBufferBytes);
    return dropped;
}

std::vector<PublishedContent> UpdateManifest::history(const std::string& section) const {
    std::vector<PublishedContent> contents;
    for (std::size_t n = 0; n < kHistoryDepth; ++n) {
        const std::string prefix = "PREV" + std::to_string(n) + "_";
        std::optional<std::string> size = ini_.find(section, prefix + "SIZE", kFileValueBufferBytes);
        std::optional<std::string> sha256 = ini_.find(section, prefix + "SHA256", kFileValueBufferBytes);
        if (!size || !sha256) break;
        contents.push_back({std::move(*size), std::move(*sha256)});
    }
    return contents;
}

}  // namespace updater
