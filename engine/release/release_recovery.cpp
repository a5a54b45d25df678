#include "engine/release/release_recovery.h"

#include <algorithm>

#include "engine/release/release_paths.h"
#include "engine/manifest/safe_manifest_name.h"

namespace updater {

namespace {

bool exists(FileSystem& files, const std::string& path) { return files.lookUp(path).has_value(); }

// Moves what stands at the committed place back to where it waited, unless
// it is already there: each undo may have been cut short itself.
bool moveBackUnlessDone(FileSystem& files, const std::string& path, const std::string& waitingPath) {
    if (!exists(files, path) || exists(files, waitingPath)) return true;
    return files.replace(path, waitingPath);
}

bool undoStep(FileSystem& files, const std::string& directory, const JournalRecord& record, const CodePage& cp) {
    const std::string path = directory + record.name;
    const std::string backup = directory + backupName(record.name);
    switch (record.step) {
    case JournalStep::NewFolder:
        // Only an empty folder goes; a folder that never was made is no failure.
        files.removeDirectory(path);
        return true;
    case JournalStep::Replace:
        // Without a backup the old file never moved.
        if (!exists(files, backup)) return true;
        return moveBackUnlessDone(files, path, directory + downloadName(record.name)) && files.replace(backup, path);
    case JournalStep::Add: return moveBackUnlessDone(files, path, directory + downloadName(record.name));
    case JournalStep::AddInNewFolder: return moveBackUnlessDone(files, path, directory + flatDownloadName(record.name, cp));
    case JournalStep::Drop:
        if (!exists(files, backup) || exists(files, path)) return true;
        return files.replace(backup, path);
    case JournalStep::Committed: return true;
    }
    return false;
}

bool isJournalName(const JournalRecord& record, const std::string& updaterCopy, const CodePage& cp) {
    if (record.step == JournalStep::Committed) return true;
    if (isSafeManifestName(record.name, cp)) return true;
    // The updater's own new copy is a side file, but a release may carry it.
    return record.step != JournalStep::NewFolder && !updaterCopy.empty() &&
           manifestNameKey(record.name, cp) == manifestNameKey(updaterCopy, cp);
}

}  // namespace

bool undoSteps(FileSystem& files, const std::string& directory, const std::vector<JournalRecord>& records,
               const CodePage& cp, std::vector<std::string>* steps) {
    bool undone = true;
    for (auto record = records.rbegin(); record != records.rend(); ++record) {
        const bool done = undoStep(files, directory, *record, cp);
        if (steps && record->step != JournalStep::Committed)
            steps->push_back("back " + directory + record->name + (done ? ": done" : ": failed"));
        undone = done && undone;
    }
    return undone;
}

// Forward, the new files are in place already: what is left is each backup.
void removeBackups(FileSystem& files, const std::string& directory, const std::vector<JournalRecord>& records,
                   std::vector<std::string>* steps) {
    for (const JournalRecord& record : records) {
        if (record.step != JournalStep::Replace && record.step != JournalStep::Drop) continue;
        const std::string backup = directory + backupName(record.name);
        if (!exists(files, backup)) continue;
        const bool removed = files.remove(backup);
        if (steps) steps->push_back("forward " + backup + (removed ? ": backup removed" : ": backup stays"));
    }
}

RecoveryResult recoverRelease(FileSystem& files, const std::string& directory, const std::string& updaterFile,
                              const CodePage& cp) {
    const std::string journal = directory + std::string(kJournalName);
    if (!exists(files, journal)) return {};
    const std::optional<std::string> bytes = files.readAll(journal);
    if (!bytes) return {RecoveryOutcome::CouldNot, "", {}};
    const std::vector<JournalRecord> records = readJournal(*bytes);

    const std::string updaterCopy = updaterFile.empty() ? "" : updaterFile + std::string(kUpdaterCopySuffix);
    const auto refused = std::find_if(records.begin(), records.end(),
                                      [&](const JournalRecord& record) { return !isJournalName(record, updaterCopy, cp); });
    if (refused != records.end()) {
        // Not one of the updater's own journals: its files are left alone,
        // and the journal goes so that it cannot stand in the way for ever.
        files.remove(journal);
        return {RecoveryOutcome::Ignored, refused->name, {}};
    }

    const bool committed = std::any_of(records.begin(), records.end(),
                                       [](const JournalRecord& record) { return record.step == JournalStep::Committed; });
    RecoveryResult result;
    if (committed) {
        removeBackups(files, directory, records, &result.steps);
    } else if (!undoSteps(files, directory, records, cp, &result.steps)) {
        result.outcome = RecoveryOutcome::CouldNot;
        return result;
    }
    if (!files.remove(journal)) {
        result.steps.push_back("journal " + journal + " stays");
        result.outcome = RecoveryOutcome::CouldNot;
        return result;
    }
    if (!records.empty()) result.outcome = committed ? RecoveryOutcome::RolledForward : RecoveryOutcome::RolledBack;
    return result;
}

}  // namespace updater
