#include "engine/run/entry_state.h"

#include "engine/manifest/safe_manifest_name.h"
#include "engine/manifest/side_files.h"
#include "engine/release/local_content.h"
#include "engine/release/release_commit.h"
#include "engine/release/release_paths.h"

namespace updater {

namespace {
// The local time is whole seconds and the manifest's comes from another
// conversion; half a second keeps equal times equal despite rounding.
constexpr double kHalfSecondInDays = 0.5 / 86400;
}  // namespace

std::vector<ManifestEntry> listEntries(const UpdateManifest& manifest) {
    std::vector<ManifestEntry> entries;
    while (std::optional<ManifestEntry> entry = manifest.entry(entries.size())) entries.push_back(std::move(*entry));
    return entries;
}

EntryPlan planEntry(UpdateContext& context, const ManifestEntry& entry, RunKind kind) {
    const UpdateServices& services = context.services;
    EntryPlan plan(entry);
    const auto refuse = [&plan](std::string why) {
        plan.decision = EntryPlan::Decision::Refused;
        plan.refusal = std::move(why);
        return plan;
    };
    if (const NameRefusal refusal = manifestNameRefusal(entry.file, context.services.codePage); refusal != NameRefusal::None)
        return refuse("name " + std::string(refusalReason(refusal)));
    plan.localPath = services.programDirectory + entry.file;
    const std::optional<LocalEntry> local = services.files.lookUp(plan.localPath);
    if (local && local->blocked) return refuse("a link or a folder that cannot be opened stands in its path");
    // File by file a folder cannot become a file; a whole release's commit
    // removes the folder when the release's drops leave it empty.
    if (local && local->directory && kind == RunKind::FileByFile) return refuse("a folder stands there");
    // The running updater cannot replace itself: its new copy waits beside it.
    plan.target = isUpdaterItself(context, entry.file) ? services.programFileName + std::string(kUpdaterCopySuffix)
                                                       : entry.file;
    const std::string copyPath = plan.target == entry.file ? std::string() : services.programDirectory + plan.target;
    // SIZE and SHA256 bind in every build.
    const std::optional<ExpectedContent> expected = readExpectedContent(entry.size, entry.sha256);
    bool byTime = false;
    if (!(local && local->directory) &&
        isEntryCurrent(services.files, services.sha256, local, plan.localPath, entry, copyPath,
                       [&] {
                           byTime = true;
                           return isLocalFileCurrent(context, local, entry.version);
                       },
                       &plan.localDigest)) {
        plan.decision = EntryPlan::Decision::Current;
        // Only content that is known tells an edit from the published file.
        plan.changedLocally = byTime && expected && expected->promisesEverything();
        return plan;
    }

    if (kind == RunKind::WholeRelease && (!expected || !expected->promisesEverything()))
        return refuse("a whole release needs SIZE and SHA256");
    if (!expected) return refuse("malformed SIZE or SHA256");
    if (services.verifier && !expected->promisesEverything())
        return refuse("a signed release needs SIZE and SHA256");
    plan.expected = *expected;
    plan.folders = parentFolders(entry.file, context.services.codePage);
    plan.downloadPath = kind == RunKind::WholeRelease
                            ? downloadPathFor(services.programDirectory, plan.target, services.codePage)
                            : plan.localPath + std::string(kDownloadSuffix);
    plan.patchPath = (kind == RunKind::WholeRelease ? plan.downloadPath : plan.localPath) + std::string(kPatchSuffix);
    return plan;
}

TransferContext transferContext(UpdateContext& context, const StopFlag* stop) {
    const UpdateServices& services = context.services;
    return {.http = context.http,
            .urlPath = context.settings.urlPath,
            .files = services.files,
            .codePage = services.codePage,
            .sha256 = services.sha256,
            .messages = services.messages,
            .view = context.view,
            .log = eventLog(services),
            .systemErrorText = services.systemErrorText,
            .stop = stop,
            .partFolder = {}};
}

bool isLocalFileCurrent(UpdateContext& context, const std::optional<LocalEntry>& local, const std::string& version) {
    if (!local) return false;
    // Rejected text (0) and overflow (-1) are compared like any other date.
    return context.services.dates.parse(version).value <= local->lastWriteDate + kHalfSecondInDays;
}

bool isUpdaterItself(const UpdateContext& context, const std::string& file) {
    return !context.services.programFileName.empty() &&
           manifestNameKey(file, context.services.codePage) ==
               manifestNameKey(context.services.programFileName, context.services.codePage);
}

std::string runMessage(const UpdateContext& context, MessageId id, std::string_view arg) {
    return fillPercentS(context.services.messages.load(id), {arg});
}

}  // namespace updater
