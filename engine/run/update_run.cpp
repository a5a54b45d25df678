#include "engine/run/update_run.h"

#include <memory>
#include <optional>
#include <vector>

#include "engine/manifest/content_check.h"
#include "engine/release/entry_state.h"
#include "engine/release/local_content.h"
#include "engine/transfer/new_content.h"
#include "engine/release/release_paths.h"
#include "engine/manifest/safe_manifest_name.h"
#include "engine/manifest/side_files.h"
#include "engine/run/whole_release_run.h"

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

// Where the running updater's new copy waits.
std::string updaterCopyPath(const UpdateContext& context) {
    return context.services.programDirectory + context.services.programFileName + std::string(kUpdaterCopySuffix);
}

// The new file takes the old one's place in one move, so a failure leaves
// the old file whole.
bool swapIn(const UpdateContext& context, const std::string& file, const std::string& downloadPath,
            const std::string& localPath) {
    FileSystem& files = context.services.files;
    // The running updater cannot replace itself: its new copy waits beside it.
    const std::string target = isUpdaterItself(context, file) ? updaterCopyPath(context) : localPath;
    if (files.replace(downloadPath, target)) return true;
    logFileError(context.services, file, "cannot move the download onto " + target);
    return false;
}

void reportResult(UpdateContext& context, const std::string& file, FileUpdateResult result) {
    static constexpr const char* kResults[] = {"failed", "updated", "up to date"};
    eventLog(context.services).write("file " + file + ": " + kResults[static_cast<int>(result)]);
    if (result == FileUpdateResult::Failed) context.view.addListLine(runMessage(context, MessageId::FileFailed, file));
    if (result == FileUpdateResult::Updated) context.view.addListLine(runMessage(context, MessageId::FileUpdated, file));
}

// Entries that name one file between them are all refused: which of them
// would win is an accident of their order.
void updateListedFiles(UpdateContext& context, const std::vector<ManifestEntry>& entries) {
    std::vector<std::string> names;
    for (const ManifestEntry& entry : entries) names.push_back(entry.file);
    const std::vector<bool> sharing = namesSharingAFile(names);
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
        if (runWholeRelease(context, entries, listDroppedFiles(manifest)) == WholeOutcome::Committed)
            finishRun(context, newVersion);
        return;
    }
    updateListedFiles(context, entries);
    finishRun(context, newVersion);
}

FileUpdateResult updateEntry(UpdateContext& context, const std::string& file, const std::string& version) {
    ManifestEntry entry;
    entry.file = file;
    entry.version = version;
    return updateEntry(context, entry);
}

FileUpdateResult updateEntry(UpdateContext& context, const ManifestEntry& entry) {
    const std::string& file = entry.file;
    if (const NameRefusal refusal = manifestNameRefusal(file); refusal != NameRefusal::None)
        return logRefusal(context, file, "name " + std::string(refusalReason(refusal)));
    const std::string localPath = context.services.programDirectory + file;
    const std::optional<LocalEntry> local = context.services.files.lookUp(localPath);
    // A directory cannot become a file; nothing is asked for.
    if (local && local->directory) return logRefusal(context, file, "a folder stands there");
    const std::string bckPath = isUpdaterItself(context, file) ? updaterCopyPath(context) : std::string();
    std::optional<Sha256Digest> localDigest;
    if (isEntryCurrent(context.services.files, context.services.sha256, local, localPath, entry, bckPath,
                       [&] { return isLocalFileCurrent(context, local, entry.version); }, &localDigest))
        return FileUpdateResult::UpToDate;

    // SIZE and SHA256 bind in every build; a keyed build needs both.
    const std::optional<ExpectedContent> expected = readExpectedContent(entry.size, entry.sha256);
    if (!expected) return logRefusal(context, file, "malformed SIZE or SHA256");
    if (context.services.verifier && !expected->promisesEverything())
        return logRefusal(context, file, "a signed release needs SIZE and SHA256");

    // A file in a folder the installation lacks gets the folder; the folders
    // go again, when empty, if the file does not come.
    const std::vector<std::string> madeFolders =
        makeMissingFolders(context.services.files, context.services.programDirectory, file);
    const std::string downloadPath = localPath + std::string(kDownloadSuffix);
    if (!fetchNewContent(context, entry, *expected, localDigest, localPath, downloadPath) ||
        !swapIn(context, file, downloadPath, localPath)) {
        removeFolders(context.services.files, madeFolders);
        return FileUpdateResult::Failed;
    }
    context.view.showStatus(runMessage(context, MessageId::FileUpdated, file));
    return FileUpdateResult::Updated;
}

}  // namespace updater
