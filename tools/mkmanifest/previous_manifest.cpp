#include "tools/mkmanifest/previous_manifest.h"

#include "engine/text/code_page.h"
#include "engine/manifest/update_manifest.h"

namespace mkmanifest {

PreviousManifest readPreviousManifest(std::string_view bytes, const std::string& product) {
    const updater::UpdateManifest manifest = updater::UpdateManifest::parse(bytes, updater::cp936());
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
        known.patches = entry->patches;
        known.copy = entry->copy;
        known.object = entry->object;
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
