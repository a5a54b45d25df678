#include "engine/manifest/manifest_writer.h"

#include "engine/text/hex_text.h"

namespace updater {

void ManifestWriter::product(std::string_view name, std::string_view version, bool wholeRelease) {
    section(name);
    key(kVersionKey, version);
    if (wholeRelease) key(kWholeReleaseKey, kWholeReleaseValue);
}

void ManifestWriter::entry(const ManifestEntry& entry) {
    section(fileSectionName(entries_++));
    key(kFileKey, entry.file);
    key(kVersionKey, entry.version);
    if (entry.size) key(kSizeKey, *entry.size);
    if (entry.sha256) key(kSha256Key, *entry.sha256);
    if (entry.object) key(kObjectKey, *entry.object);
    history(entry.previous);
    for (std::size_t n = 0; n < entry.patches.size(); ++n) {
        const PatchOffer& offer = entry.patches[n];
        key(numberedKey(kPatchKeyPrefix, n, kPatchBaseKey), encodeHex(offer.base.data(), offer.base.size()));
        key(numberedKey(kPatchKeyPrefix, n, kFileKey), offer.file);
        content(numberedKey(kPatchKeyPrefix, n, kSizeKey), numberedKey(kPatchKeyPrefix, n, kSha256Key), offer.patch);
    }
    if (entry.copy) {
        key(kCopyFileKey, entry.copy->file);
        content(kCopySizeKey, kCopySha256Key, entry.copy->stored);
    }
}

void ManifestWriter::dropped(const DroppedFile& dropped) {
    section(dropSectionName(drops_++));
    key(kFileKey, dropped.file);
    if (dropped.age) key(kAgeKey, *dropped.age);
    history(dropped.previous);
}

void ManifestWriter::section(std::string_view name) {
    if (!text_.empty()) text_ += "\r\n";
    text_ += '[';
    text_ += name;
    text_ += "]\r\n";
}

void ManifestWriter::key(std::string_view name, std::string_view value) {
    text_ += name;
    text_ += '=';
    text_ += value;
    text_ += "\r\n";
}

void ManifestWriter::history(const std::vector<PublishedContent>& contents) {
    for (std::size_t n = 0; n < contents.size(); ++n) {
        key(numberedKey(kHistoryKeyPrefix, n, kSizeKey), contents[n].size);
        key(numberedKey(kHistoryKeyPrefix, n, kSha256Key), contents[n].sha256);
    }
}

void ManifestWriter::content(std::string_view sizeKey, std::string_view sha256Key, const ExpectedContent& content) {
    if (content.size) key(sizeKey, std::to_string(*content.size));
    if (content.sha256) key(sha256Key, encodeHex(content.sha256->data(), content.sha256->size()));
}

}  // namespace updater
