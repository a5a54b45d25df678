#include "engine/transfer/new_content.h"

#include <algorithm>

#include "engine/transfer/compressed_copy.h"
#include "engine/transfer/file_download.h"
#include "engine/release/local_content.h"
#include "engine/transfer/patched_download.h"
#include "engine/manifest/safe_manifest_name.h"

namespace updater {

namespace {

std::optional<Sha256Digest> hashOf(FileSystem& files, Sha256Source* hashes, const std::string& path) {
    const std::optional<LocalEntry> local = files.lookUp(path);
    if (!hashes || !local || local->directory) return std::nullopt;
    return fileSha256(files, *hashes, path);
}

// The offer whose base the local file holds; its name obeys the rules of any
// entry's name.
const PatchOffer* offerFor(const std::vector<PatchOffer>& offers, const Sha256Digest& local, const CodePage& cp) {
    const auto found = std::find_if(offers.begin(), offers.end(), [&](const PatchOffer& offer) {
        return offer.base == local && isSafeManifestName(offer.file, cp);
    });
    return found == offers.end() ? nullptr : &*found;
}

}  // namespace

bool fetchNewContent(UpdateContext& context, const ManifestEntry& entry, const ExpectedContent& expected,
                     std::optional<Sha256Digest> localDigest, const std::string& localPath,
                     const std::string& downloadPath, const StopFlag* stop) {
    bool statusShown = false;
    // Only a content known in full can be rebuilt or inflated and proven.
    if (expected.promisesEverything()) {
        if (!entry.patches.empty() && !localDigest)
            localDigest = hashOf(context.services.files, context.services.sha256, localPath);
        const PatchOffer* offer = localDigest ? offerFor(entry.patches, *localDigest, context.services.codePage) : nullptr;
        EventLog& log = eventLog(context.services);
        if (offer) {
            if (fetchPatched(context, entry.file, *offer, expected, localPath, downloadPath, stop, statusShown)) {
                log.write("file " + entry.file + ": rebuilt from " + offer->file);
                return true;
            }
            log.write("file " + entry.file + ": " + offer->file + " did not rebuild it; falling back");
        }
        if (entry.copy && isSafeManifestName(entry.copy->file, context.services.codePage)) {
            if (fetchCompressedCopy(context, entry.file, *entry.copy, expected, downloadPath, stop, statusShown)) {
                log.write("file " + entry.file + ": taken from " + entry.copy->file);
                return true;
            }
            log.write("file " + entry.file + ": " + entry.copy->file + " did not give it; fetching the file");
        }
    }
    return downloadFile(context, entry.file, expected, localPath, downloadPath, stop, &statusShown);
}

}  // namespace updater
