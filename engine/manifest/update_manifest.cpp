#include "engine/manifest/update_manifest.h"

#include "engine/text/byte_limits.h"
#include "engine/text/hex_text.h"

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
    entry.patches = patchOffers(section);
    entry.copy = compressedCopy(section);
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

std::vector<PatchOffer> UpdateManifest::patchOffers(const std::string& section) const {
    std::vector<PatchOffer> offers;
    for (std::size_t n = 0; n < kPatchOffers; ++n) {
        const std::string prefix = "PATCH" + std::to_string(n) + "_";
        const std::optional<std::string> base = ini_.find(section, prefix + "BASE", kFileValueBufferBytes);
        std::optional<std::string> file = ini_.find(section, prefix + "FILE", kFileValueBufferBytes);
        const std::optional<std::string> size = ini_.find(section, prefix + "SIZE", kFileValueBufferBytes);
        const std::optional<std::string> sha256 = ini_.find(section, prefix + "SHA256", kFileValueBufferBytes);
        if (!base || !file || !size || !sha256) break;
        PatchOffer offer;
        const std::optional<ExpectedContent> patch = readExpectedContent(size, sha256);
        if (file->empty() || !patch || !decodeHex(*base, offer.base.data(), offer.base.size())) continue;
        offer.file = std::move(*file);
        offer.patch = *patch;
        offers.push_back(std::move(offer));
    }
    return offers;
}

std::optional<CompressedCopy> UpdateManifest::compressedCopy(const std::string& section) const {
    std::optional<std::string> file = ini_.find(section, "ZFILE", kFileValueBufferBytes);
    const std::optional<std::string> size = ini_.find(section, "ZSIZE", kFileValueBufferBytes);
    const std::optional<std::string> sha256 = ini_.find(section, "ZSHA256", kFileValueBufferBytes);
    if (!file || file->empty() || !size || !sha256) return std::nullopt;
    const std::optional<ExpectedContent> stored = readExpectedContent(size, sha256);
    if (!stored) return std::nullopt;
    return CompressedCopy{std::move(*file), *stored};
}

}  // namespace updater
