#include "engine/transfer/patched_download.h"

#include <memory>

#include "engine/transfer/file_download.h"
#include "engine/transfer/patch_apply.h"
#include "engine/transfer/resumable_fetch.h"
#include "engine/manifest/side_files.h"

namespace updater {

namespace {

// Removes the side file however the attempt ends.
class SideFile {
public:
    SideFile(FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}
    ~SideFile() { files_.remove(path_); }
    SideFile(const SideFile&) = delete;
    SideFile& operator=(const SideFile&) = delete;
    const std::string& path() const { return path_; }

private:
    FileSystem& files_;
    std::string path_;
};

bool downloadPatch(TransferContext& context, const std::string& entryFile, const PatchOffer& offer,
                   const std::string& patchPath, bool& statusShown) {
    // The patch, checked against its offer as it arrives.
    try {
        return fetchResumable(context,
                              {.file = offer.file, .entryFile = entryFile, .contentProven = true, .bytesProven = true,
                               .silent = true, .statusShown = &statusShown},
                              offer.patch, patchPath, [&](const std::string& path) {
                                  return std::make_unique<CheckedFileSink>(context.files, context.sha256, offer.patch,
                                                                           path);
                              }) == FetchEnd::Taken;
    } catch (const NetworkError&) {
        return false;
    } catch (const FileError&) {
        // The side file's: the file itself may still fit.
        return false;
    }
}

// Writes the rebuilt file into the download path; the stop flag is looked
// at between chunks.
bool rebuild(TransferContext& context, const EntryPlan& plan, const std::string& patchPath) {
    FileSystem& files = context.files;
    const StopFlag* const stop = context.stop;
    const std::unique_ptr<RandomAccessInput> base = files.openRandomAccess(plan.localPath);
    const std::unique_ptr<RandomAccessInput> patch = files.openRandomAccess(patchPath);
    if (!base || !patch) return false;
    CheckedFileSink output(files, context.sha256, plan.expected, plan.downloadPath);
    if (!output.open()) return false;
    try {
        const PatchOutcome outcome =
            applyPatch(*base, *patch, *plan.expected.size, [&](const char* data, std::size_t size) {
                return !(stop && stop->requested()) && output.take(data, size);
            });
        if (stop && stop->requested()) throw DownloadStopped{};
        if (outcome == PatchOutcome::Rebuilt && output.finish()) return true;
    } catch (...) {
        output.discard();
        throw;
    }
    output.discard();
    return false;
}

}  // namespace

bool fetchPatched(TransferContext& context, const EntryPlan& plan, const PatchOffer& offer, bool& statusShown) {
    if (!plan.expected.size) return false;
    const SideFile patch(context.files, plan.patchPath);
    return downloadPatch(context, plan.entry.file, offer, patch.path(), statusShown) &&
           rebuild(context, plan, patch.path());
}

}  // namespace updater
