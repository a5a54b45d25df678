#include "tools/mkmanifest/previous_manifest.h"

#include "engine/update_manifest.h"

namespace mkmanifest {
namespace {

// No value can hold a line break, so this default marks a missing key.
const std::string_view kMissing = "\n";

constexpr std::size_t kProductVersionBuffer = 128;
constexpr std::size_t kFileBuffer = 260;
constexpr std::size_t kExtraKeyBuffer = 256;

}  // namespace

PreviousManifest readPreviousManifest(std::string_view bytes, const std::string& product) {
    updater::UpdateManifest manifest = updater::UpdateManifest::parse(bytes);
    PreviousManifest previous;
    std::string version = manifest.get(product, "VERSION", kMissing, kProductVersionBuffer);
    if (version != kMissing) previous.productVersion = version;

    // The same walk as the updater's: the list ends at the first empty FILE.
    for (int index = 0;; ++index) {
        std::string section = "FILE" + std::to_string(index);
        std::string name = manifest.get(section, "FILE", "", kFileBuffer);
        if (name.empty()) break;
        PreviousEntry entry;
        entry.timestamp = manifest.get(section, "VERSION", "", kFileBuffer);
        entry.size = manifest.get(section, "SIZE", "", kExtraKeyBuffer);
        entry.sha256 = manifest.get(section, "SHA256", "", kExtraKeyBuffer);
        if (previous.files.emplace(name, entry).second) previous.fileOrder.push_back(name);
    }
    return previous;
}

}  // namespace mkmanifest
