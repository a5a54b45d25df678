#include "engine/manifest/update_manifest.h"

#include "engine/text/byte_limits.h"
#include "engine/text/hex_text.h"

namespace updater {

UpdateManifest UpdateManifest::parse(std::string_view bytes, const CodePage& cp, const UnicodeToAnsi* unicodeToAnsi) {
    return UpdateManifest(IniFile::parse(bytes, cp, unicodeToAnsi));
}

std::optional<std::string> UpdateManifest::productVersion(std::string_view product) const {
    return ini_.find(product, kVersionKey, kProductVersionBufferBytes);
}

bool UpdateManifest::wholeRelease(std::string_view product) const {
    return ini_.get(product, kWholeReleaseKey, "", kProductVersionBufferBytes) == kWholeReleaseValue;
}

std::optional<ManifestEntry> UpdateManifest::entry(std::size_t index) const {
    const std::string section = fileSectionName(index);
    ManifestEntry entry;
    entry.file = ini_.get(section, kFileKey, "", kFileValueBufferBytes);
    if (entry.file.empty()) return std::nullopt;
    entry.version = ini_.get(section, kVersionKey, "", kFileValueBufferBytes);
    entry.size = ini_.find(section, kSizeKey, kFileValueBufferBytes);
    entry.sha256 = ini_.find(section, kSha256Key, kFileValueBufferBytes);
    entry.previous = history(section);
    entry.patches = patchOffers(section);
    entry.copy = compressedCopy(section);
    entry.object = ini_.find(section, kObjectKey, kFileValueBufferBytes);
    if (entry.object && entry.object->empty()) entry.object.reset();
    return entry;
}

std::optional<DroppedFile> UpdateManifest::dropped(std::size_t index) const {
    const std::string section = dropSectionName(index);
    DroppedFile dropped;
    dropped.file = ini_.get(section, kFileKey, "", kFileValueBufferBytes);
    if (dropped.file.empty()) return std::nullopt;
    dropped.previous = history(section);
    dropped.age = ini_.find(section, kAgeKey, kFileValueBufferBytes);
    return dropped;
}

std::vector<PublishedContent> UpdateManifest::history(const std::string& section) const {
    std::vector<PublishedContent> contents;
    for (std::size_t n = 0; n < kHistoryDepth; ++n) {
        const auto key = [n](std::string_view name) { return numberedKey(kHistoryKeyPrefix, n, name); };
        std::optional<std::string> size = ini_.find(section, key(kSizeKey), kFileValueBufferBytes);
        std::optional<std::string> sha256 = ini_.find(section, key(kSha256Key), kFileValueBufferBytes);
        if (!size || !sha256) break;
        contents.push_back({std::move(*size), std::move(*sha256)});
    }
    return contents;
}

std::vector<PatchOffer> UpdateManifest::patchOffers(const std::string& section) const {
    std::vector<PatchOffer> offers;
    for (std::size_t n = 0; n < kPatchOffers; ++n) {
        const auto key = [n](std::string_view name) { return numberedKey(kPatchKeyPrefix, n, name); };
        const std::optional<std::string> base = ini_.find(section, key(kPatchBaseKey), kFileValueBufferBytes);
        std::optional<std::string> file = ini_.find(section, key(kFileKey), kFileValueBufferBytes);
        const std::optional<std::string> size = ini_.find(section, key(kSizeKey), kFileValueBufferBytes);
        const std::optional<std::string> sha256 = ini_.find(section, key(kSha256Key), kFileValueBufferBytes);
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
    std::optional<std::string> file = ini_.find(section, kCopyFileKey, kFileValueBufferBytes);
    const std::optional<std::string> size = ini_.find(section, kCopySizeKey, kFileValueBufferBytes);
    const std::optional<std::string> sha256 = ini_.find(section, kCopySha256Key, kFileValueBufferBytes);
    if (!file || file->empty() || !size || !sha256) return std::nullopt;
    const std::optional<ExpectedContent> stored = readExpectedContent(size, sha256);
    if (!stored) return std::nullopt;
    return CompressedCopy{std::move(*file), *stored};
}

}  // namespace updater
