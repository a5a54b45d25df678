#include "engine/run/update_run.h"

#include <memory>
#include <optional>
#include <vector>

#include "engine/manifest/safe_manifest_name.h"
#include "engine/release/release_paths.h"
#include "engine/run/entry_state.h"
#include "engine/run/whole_release_run.h"
#include "engine/transfer/new_content.h"

namespace updater {

namespace {

class WaitCursor {
public:
    explicit WaitCursor(WizardView& view) : view_(view) { view_.showWaitCursor(true); }
    ~WaitCursor() { view_.showWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    WizardView& view_;
};

// Always Failed: the reason an entry is not fetched, for the log.
FileUpdateResult logRefusal(UpdateContext& context, const std::string& file, std::string_view why) {
    eventLog(context.services).write("file " + file + ": refused: " + std::string(why));
    return FileUpdateResult::Failed;
}

// The new file takes the old one's place (or the running updater's waiting
// copy's) in one move, so a failure leaves the old file whole.
bool swapIn(const UpdateContext& context, const EntryPlan& plan) {
    const std::string target = context.services.programDirectory + plan.target;
    if (context.services.files.replace(plan.downloadPath, target)) return true;
    logFileError(context.services, plan.entry.file, "cannot move the download onto " + windowsPath(target));
    return false;
}

void reportResult(UpdateContext& context, const std::string& file, FileUpdateResult result) {
    static constexpr const char* kResults[] = {"failed", "updated", "up to date", "kept: changed locally"};
    eventLog(context.services).write("file " + file + ": " + kResults[static_cast<int>(result)]);
    if (context.tally) {
        context.tally->failed += result == FileUpdateResult::Failed;
        context.tally->updated += result == FileUpdateResult::Updated;
    }
    if (result == FileUpdateResult::Failed) context.view.addListLine(runMessage(context, MessageId::FileFailed, file));
    if (result == FileUpdateResult::Updated) context.view.addListLine(runMessage(context, MessageId::FileUpdated, file));
}

// Entries that name one file between them are all refused: which of them
// would win is an accident of their order.
void updateListedFiles(UpdateContext& context, const std::vector<ManifestEntry>& entries) {
    std::vector<std::string> names;
    for (const ManifestEntry& entry : entries) names.push_back(entry.file);
    const std::vector<bool> sharing = namesSharingAFile(names, context.services.codePage);
    for (std::size_t index = 0; index < entries.size(); ++index) {
        if (sharing[index]) logRefusal(context, entries[index].file, "opens the same file as another entry");
        const FileUpdateResult result =
            sharing[index] ? FileUpdateResult::Failed : updateEntry(context, entries[index]);
        reportResult(context, entries[index].file, result);
    }
}

void finishRun(UpdateContext& context, const std::string& newVersion) {
    context.view.deleteFirstListLine();
    context.view.addListLine(context.settings.shownName() + " " + newVersion);
    // Through the view, so that the stage changes in order with the list and
    // the status line that the run shows.
    context.view.showStage(ButtonStage::Finish);
    context.view.enableButton(true);
    context.view.showStatus(context.services.messages.load(MessageId::UpdateFinished));
}

}  // namespace

void runUpdate(UpdateContext& context, const std::string& manifestBytes, const std::string& newVersion) {
    context.view.enableButton(false);
    if (!context.consultGuard()) {
        context.view.enableButton(true);
        return;
    }
    const WaitCursor waitCursor(context.view);
    const UpdateManifest manifest =
        UpdateManifest::parse(manifestBytes, context.services.codePage, context.services.unicodeToAnsi);
    const std::vector<ManifestEntry> entries = listEntries(manifest);
    if (runsWhole(manifest, context.settings.productName, entries)) {
        const WholeOutcome outcome = runWholeRelease(context, entries, listDroppedFiles(manifest));
        if (outcome == WholeOutcome::Committed) finishRun(context, newVersion);
        if (context.tally) context.tally->ended = outcome != WholeOutcome::Stopped;
        return;
    }
    updateListedFiles(context, entries);
    finishRun(context, newVersion);
    if (context.tally) context.tally->ended = true;
}

FileUpdateResult updateEntry(UpdateContext& context, const std::string& file, const std::string& version) {
    ManifestEntry entry;
    entry.file = file;
    entry.version = version;
    return updateEntry(context, entry);
}

FileUpdateResult updateEntry(UpdateContext& context, const ManifestEntry& entry) {
    const EntryPlan plan = planEntry(context, entry, RunKind::FileByFile);
    switch (plan.decision) {
    case EntryPlan::Decision::Refused: return logRefusal(context, entry.file, plan.refusal);
    case EntryPlan::Decision::Current: return plan.changedLocally ? FileUpdateResult::Kept : FileUpdateResult::UpToDate;
    case EntryPlan::Decision::Fetch: break;
    }
    // A file in a folder the installation lacks gets the folder; the folders
    // go again, when empty, if the file does not come, the failure that ends
    // the run with a box included. Closing the wizard does not stop this
    // run's downloads.
    const std::vector<std::string> madeFolders =
        makeMissingFolders(context.services.files, context.services.programDirectory, plan.folders);
    TransferContext transfer = transferContext(context, nullptr);
    bool installed = false;
    try {
        installed = fetchNewContent(transfer, plan) && swapIn(context, plan);
    } catch (...) {
        removeFolders(context.services.files, madeFolders);
        throw;
    }
    if (!installed) {
        removeFolders(context.services.files, madeFolders);
        return FileUpdateResult::Failed;
    }
    context.view.showStatus(runMessage(context, MessageId::FileUpdated, entry.file));
    return FileUpdateResult::Updated;
}

}  // namespace updater
