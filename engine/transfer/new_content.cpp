#include "engine/transfer/new_content.h"

#include <algorithm>

#include "engine/manifest/content_check.h"
#include "engine/manifest/safe_manifest_name.h"
#include "engine/transfer/compressed_copy.h"
#include "engine/transfer/file_download.h"
#include "engine/transfer/patched_download.h"

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

// The object holds the file's own bytes under a name whose content never
// changes, which every cache may keep; a failure falls through silently.
bool fetchObject(TransferContext& context, const EntryPlan& plan, bool& statusShown) {
    try {
        return downloadFile(context, plan, *plan.entry.object, CacheUse::Stored, true, &statusShown) ==
               FetchEnd::Taken;
    } catch (const NetworkError&) {
        return false;
    }
}

}  // namespace

// The one order of tries: patch, compressed copy, object, the file itself,
// each only when offered and the one before failed. The smaller forms need
// the content known in full, to be rebuilt or inflated and proven.
bool fetchNewContent(TransferContext& context, const EntryPlan& plan) {
    const ManifestEntry& entry = plan.entry;
    EventLog& log = context.log;
    bool statusShown = false;
    if (plan.expected.promisesEverything()) {
        std::optional<Sha256Digest> localDigest = plan.localDigest;
        if (!entry.patches.empty() && !localDigest) localDigest = hashOf(context.files, context.sha256, plan.localPath);
        const PatchOffer* offer = localDigest ? offerFor(entry.patches, *localDigest, context.codePage) : nullptr;
        if (offer) {
            if (fetchPatched(context, plan, *offer, statusShown)) {
                log.write("file " + entry.file + ": rebuilt from " + offer->file);
                return true;
            }
            log.write("file " + entry.file + ": " + offer->file + " did not rebuild it; falling back");
        }
        if (entry.copy && isSafeManifestName(entry.copy->file, context.codePage)) {
            if (fetchCompressedCopy(context, plan, statusShown)) {
                log.write("file " + entry.file + ": taken from " + entry.copy->file);
                return true;
            }
            log.write("file " + entry.file + ": " + entry.copy->file + " did not give it; falling back");
        }
        if (entry.object && isSafeManifestName(*entry.object, context.codePage)) {
            if (fetchObject(context, plan, statusShown)) {
                log.write("file " + entry.file + ": taken from " + *entry.object);
                return true;
            }
            log.write("file " + entry.file + ": " + *entry.object + " did not give it; fetching the file");
        }
    }
    const FetchEnd end = downloadFile(context, plan, entry.file, CacheUse::Stored, false, &statusShown);
    if (end != FetchEnd::Mismatch) return end == FetchEnd::Taken;
    // A cache on the way may hold an older body under the file's name.
    log.write("file " + entry.file + ": asking the server past any cache");
    return downloadFile(context, plan, entry.file, CacheUse::NoCache, false, &statusShown) == FetchEnd::Taken;
}

}  // namespace updater
