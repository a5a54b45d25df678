#include "engine/release/release_recovery.h"

#include <algorithm>

#include "engine/release/release_paths.h"
#include "engine/manifest/safe_manifest_name.h"

namespace updater {

namespace {

bool exists(FileSystem& files, const std::string& path) { return files.lookUp(path).has_value(); }

bool isFile(FileSystem& files, const std::string& path) {
    const std::optional<LocalEntry> entry = files.lookUp(path);
    return entry && !entry->directory;
}

// Only a file moves, and never onto a folder: whatever else stands there is
// not what the commit put there.
bool moveFile(FileSystem& files, const std::string& from, const std::string& to) {
    const std::optional<LocalEntry> target = files.lookUp(to);
    return isFile(files, from) && !(target && target->directory) && files.replace(from, to);
}

// Moves the file at the committed place back to where it waited, unless it
// is already there: each undo may have been cut short itself. A folder there
// is none of the step's doing.
bool moveBackUnlessDone(FileSystem& files, const std::string& path, const std::string& waitingPath) {
    if (!isFile(files, path) || exists(files, waitingPath)) return true;
    return moveFile(files, path, waitingPath);
}

bool undoStep(FileSystem& files, const ReleaseLayout& layout, const JournalRecord& record) {
    const std::string path = layout.directory() + record.name;
    const std::string backup = layout.backup(record.name);
    // A download goes back where it waited, whose folders may be gone.
    if ((record.step == JournalStep::Replace || record.step == JournalStep::Add) && !layout.besideFiles() &&
        isFile(files, path))
        makeDownloadFolders(files, layout, record.name);
    switch (record.step) {
    case JournalStep::NewFolder:
        // Only an empty folder goes; a folder that never was made is no failure.
        files.removeDirectory(path);
        return true;
    case JournalStep::RemoveFolder: {
        const std::optional<LocalEntry> there = files.lookUp(path);
        if (there) return there->directory;
        return files.makeDirectory(path);
    }
    case JournalStep::Replace:
        // Without a backup the old file never moved.
        if (!exists(files, backup)) return true;
        return moveBackUnlessDone(files, path, layout.download(record.step, record.name)) &&
               moveFile(files, backup, path);
    case JournalStep::Add:
    case JournalStep::AddInNewFolder:
        return moveBackUnlessDone(files, path, layout.download(record.step, record.name));
    case JournalStep::Drop:
        if (!exists(files, backup) || exists(files, path)) return true;
        return moveFile(files, backup, path);
    case JournalStep::Committed: return true;
    }
    return false;
}

// The downloads an earlier version left beside the files: this version
// never looks for them there.
void removeDownloads(FileSystem& files, const ReleaseLayout& layout, const std::vector<JournalRecord>& records) {
    for (const JournalRecord& record : records) {
        if (record.step != JournalStep::Replace && record.step != JournalStep::Add &&
            record.step != JournalStep::AddInNewFolder)
            continue;
        const std::string download = layout.download(record.step, record.name);
        if (isFile(files, download)) files.remove(download);
    }
}

bool isJournalName(const JournalRecord& record, const std::string& updaterCopy, const CodePage& cp) {
    if (record.step == JournalStep::Committed) return true;
    if (isSafeManifestName(record.name, cp)) return true;
    // The updater's own new copy is a side file, but a release may carry it.
    return record.step != JournalStep::NewFolder && !updaterCopy.empty() &&
           manifestNameKey(record.name, cp) == manifestNameKey(updaterCopy, cp);
}

}  // namespace

bool undoSteps(FileSystem& files, const ReleaseLayout& layout, const std::vector<JournalRecord>& records,
               std::vector<std::string>* steps) {
    bool undone = true;
    for (auto record = records.rbegin(); record != records.rend(); ++record) {
        const bool done = undoStep(files, layout, *record);
        if (steps && record->step != JournalStep::Committed)
            steps->push_back("back " + layout.directory() + record->name + (done ? ": done" : ": failed"));
        undone = done && undone;
    }
    return undone;
}

// Forward, the new files are in place already: what is left is each backup.
void removeBackups(FileSystem& files, const ReleaseLayout& layout, const std::vector<JournalRecord>& records,
                   std::vector<std::string>* steps) {
    for (const JournalRecord& record : records) {
        if (record.step != JournalStep::Replace && record.step != JournalStep::Drop) continue;
        const std::string backup = layout.backup(record.name);
        if (!isFile(files, backup)) continue;
        const bool removed = files.remove(backup);
        if (steps) steps->push_back("forward " + backup + (removed ? ": backup removed" : ": backup stays"));
    }
}

RecoveryResult recoverRelease(FileSystem& files, const std::string& directory, const std::string& updaterFile,
                              const CodePage& cp) {
    const ReleaseLayout workFolder = ReleaseLayout::inWorkFolder(directory, cp);
    const ReleaseLayout layout =
        exists(files, workFolder.journal()) ? workFolder : ReleaseLayout::besideTheFiles(directory, cp);
    const std::string journal = layout.journal();
    if (!isFile(files, journal)) {
        tidyWorkFolder(files, workFolder);
        return {};
    }
    const std::optional<std::string> bytes = files.readAll(journal);
    if (!bytes) return {RecoveryOutcome::CouldNot, "", {"journal " + journal + " cannot be read"}};
    const std::vector<JournalRecord> records = readJournal(*bytes);

    const std::string updaterCopy = updaterFile.empty() ? "" : updaterFile + std::string(kUpdaterCopySuffix);
    const auto refused = std::find_if(records.begin(), records.end(),
                                      [&](const JournalRecord& record) { return !isJournalName(record, updaterCopy, cp); });
    if (refused != records.end()) {
        // Not one of the updater's own journals: its files are left alone,
        // and the journal goes so that it cannot stand in the way for ever.
        files.remove(journal);
        tidyWorkFolder(files, layout);
        return {RecoveryOutcome::Ignored, refused->name, {}};
    }

    const bool committed = std::any_of(records.begin(), records.end(),
                                       [](const JournalRecord& record) { return record.step == JournalStep::Committed; });
    RecoveryResult result;
    if (committed) {
        removeBackups(files, layout, records, &result.steps);
    } else if (!undoSteps(files, layout, records, &result.steps)) {
        result.outcome = RecoveryOutcome::CouldNot;
        return result;
    }
    if (!files.remove(journal)) {
        result.steps.push_back("journal " + journal + " stays");
        result.outcome = RecoveryOutcome::CouldNot;
        return result;
    }
    if (layout.besideFiles()) removeDownloads(files, layout, records);
    tidyWorkFolder(files, layout);
    if (!records.empty()) result.outcome = committed ? RecoveryOutcome::RolledForward : RecoveryOutcome::RolledBack;
    return result;
}

}  // namespace updater
