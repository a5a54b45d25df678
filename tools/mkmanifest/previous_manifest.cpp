#include "tools/mkmanifest/previous_manifest.h"

#include "engine/text/code_page.h"
#include "engine/text/ini_file.h"
#include "engine/manifest/update_manifest.h"

namespace mkmanifest {
namespace {

// The forms listed in a file section; a patch number with a key missing or
// malformed ends the list, as it does for the updater.
void readPackedForms(const updater::IniFile& ini, const std::string& section, PreviousEntry& entry) {
    const auto value = [&](const std::string& key) { return ini.get(section, key, "", 260); };
    for (std::size_t n = 0; n < kPatchesPerFile; ++n) {
        const std::string prefix = "PATCH" + std::to_string(n) + "_";
        const std::optional<PublishedContent> patch = wellFormedContent(value(prefix + "SIZE"), value(prefix + "SHA256"));
        const std::optional<PublishedContent> base = wellFormedContent("0", value(prefix + "BASE"));
        if (!patch || !base || value(prefix + "FILE").empty()) break;
        entry.patches.push_back({base->sha256, value(prefix + "FILE"), std::stoull(patch->size), patch->sha256});
    }
    const std::optional<PublishedContent> copy = wellFormedContent(value("ZSIZE"), value("ZSHA256"));
    if (copy && !value("ZFILE").empty()) entry.copy = ListedCopy{value("ZFILE"), std::stoull(copy->size), copy->sha256};
}

}  // namespace

PreviousManifest readPreviousManifest(std::string_view bytes, const std::string& product) {
    const updater::UpdateManifest manifest = updater::UpdateManifest::parse(bytes, updater::cp936());
    const updater::IniFile ini = updater::IniFile::parse(bytes, updater::cp936());
    PreviousManifest previous;
    previous.productVersion = manifest.productVersion(product);
    for (std::size_t index = 0;; ++index) {
        const std::optional<updater::ManifestEntry> entry = manifest.entry(index);
        if (!entry) break;
        PreviousEntry known;
        known.size = entry->size.value_or("");
        known.sha256 = entry->sha256.value_or("");
        known.timestamp = entry->version;
        known.history = wellFormedHistory(entry->previous);
        readPackedForms(ini, "FILE" + std::to_string(index), known);
        if (previous.files.emplace(entry->file, known).second) previous.fileOrder.push_back(entry->file);
    }
    for (std::size_t index = 0;; ++index) {
        const std::optional<updater::DroppedFile> drop = manifest.dropped(index);
        if (!drop) break;
        if (previous.files.count(drop->file) == 0)
            previous.dropped.emplace(drop->file, PreviousDrop{wellFormedHistory(drop->previous), dropAge(drop->age)});
    }
    return previous;
}

}  // namespace mkmanifest
