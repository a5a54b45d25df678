#include "engine/release/release_recovery.h"

#include <algorithm>

#include <map>

#include "engine/manifest/content_check.h"
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


// A journal that names every step's contents (version 2): the direction is
// told by what the files hold, never by which steps seem done, so a lost
// backup or a half-finished undo cannot lead to a mix of two releases.
class ContentRecovery {
public:
    ContentRecovery(FileSystem& files, Sha256Source& hashes, const ReleaseLayout& layout,
                    const std::vector<JournalRecord>& records, std::vector<std::string>& lines)
        : files_(files), hashes_(hashes), layout_(layout), records_(records), lines_(lines) {}

    // Back when every old content is somewhere, forward when every new one
    // is; a committed journal prefers forward. Neither: nothing is touched
    // and each path in the way is logged.
    RecoveryOutcome run(bool committed) {
        std::vector<std::string> backBlocks;
        std::vector<std::string> forwardBlocks;
        for (const JournalRecord& record : records_) {
            collectBlocks(record, true, backBlocks);
            collectBlocks(record, false, forwardBlocks);
        }
        // The files change from here on: nothing read so far still holds.
        digests_.clear();
        const bool back = backBlocks.empty() && !(committed && forwardBlocks.empty());
        if (!back && !forwardBlocks.empty()) {
            for (const std::string& line : backBlocks) lines_.push_back("in the way " + line + " (back)");
            for (const std::string& line : forwardBlocks) lines_.push_back("in the way " + line + " (forward)");
            return RecoveryOutcome::CouldNot;
        }
        if (back) {
            if (!undoSteps(files_, layout_, records_, &lines_)) return RecoveryOutcome::CouldNot;
            digests_.clear();
            if (!verified(true)) return RecoveryOutcome::CouldNot;
            return RecoveryOutcome::RolledBack;
        }
        bool done = true;
        for (const JournalRecord& record : records_) {
            if (record.step == JournalStep::Committed) continue;
            const bool stepDone = forward(record);
            lines_.push_back("forward " + layout_.directory() + record.name + (stepDone ? ": done" : ": failed"));
            done = stepDone && done;
        }
        if (!done) return RecoveryOutcome::CouldNot;
        removeBackups(files_, layout_, records_, &lines_);
        digests_.clear();
        return verified(false) ? RecoveryOutcome::RolledForward : RecoveryOutcome::CouldNot;
    }

private:
    // Sizes first; each file is read once while nothing moves.
    bool holds(const std::string& path, const std::optional<FileContent>& content) {
        if (!content) return false;
        const std::optional<LocalEntry> entry = files_.lookUp(path);
        return entry && !entry->directory && entry->size == content->size && digestOf(path) == content->sha256;
    }
    std::optional<Sha256Digest> digestOf(const std::string& path) {
        if (const auto found = digests_.find(path); found != digests_.end()) return found->second;
        return digests_[path] = fileSha256(files_, hashes_, path);
    }

    // Why what stands at the record's path is in the way, when it is neither
    // of the step's contents nor nothing: a user's file, a folder, a file
    // that cannot be read (in use); empty when nothing is.
    std::string foreignAt(const JournalRecord& record) {
        const std::string path = layout_.directory() + record.name;
        const std::optional<LocalEntry> there = files_.lookUp(path);
        if (!there) return {};
        // A file and a folder may change places within the release.
        if (there->directory) {
            const bool ours = std::any_of(records_.begin(), records_.end(), [&](const JournalRecord& folder) {
                return (folder.step == JournalStep::NewFolder || folder.step == JournalStep::RemoveFolder) &&
                       folder.name == record.name;
            });
            return ours ? std::string() : "a folder stands there";
        }
        if (holds(path, record.oldContent) || holds(path, record.newContent)) return {};
        if (!digestOf(path)) return "it cannot be read (in use?)";
        return "holds what the release did not put there";
    }

    void collectBlocks(const JournalRecord& record, bool back, std::vector<std::string>& blocks) {
        const std::string path = layout_.directory() + record.name;
        const bool needsOld = back && (record.step == JournalStep::Replace || record.step == JournalStep::Drop);
        const bool needsNew = !back && (record.step == JournalStep::Replace || record.step == JournalStep::Add);
        if (record.step != JournalStep::Replace && record.step != JournalStep::Add && record.step != JournalStep::Drop)
            return;
        if (needsOld && !holds(path, record.oldContent) && !holds(layout_.backup(record.name), record.oldContent)) {
            blocks.push_back(path + ": its old content is neither there nor at " + layout_.backup(record.name));
            return;
        }
        const std::string download = layout_.download(record.step, record.name);
        if (needsNew && !holds(path, record.newContent) && !holds(download, record.newContent)) {
            blocks.push_back(path + ": its new content is neither there nor at " + download);
            return;
        }
        if (const std::string why = foreignAt(record); !why.empty()) blocks.push_back(path + ": " + why);
    }

    bool forward(const JournalRecord& record) {
        const std::string path = layout_.directory() + record.name;
        const std::string backup = layout_.backup(record.name);
        const std::optional<LocalEntry> there = files_.lookUp(path);
        switch (record.step) {
        case JournalStep::NewFolder: return (there && there->directory) || files_.makeDirectory(path);
        // A file there is the release's own, put where the folder was.
        case JournalStep::RemoveFolder: return !there || !there->directory || files_.removeDirectory(path);
        // A folder there is the release's own, made where the file was.
        case JournalStep::Drop: return !there || there->directory || setAside(path, backup, record.name);
        case JournalStep::Replace:
        case JournalStep::Add:
            if (holds(path, record.newContent)) return true;
            if (there && (there->directory || !setAside(path, backup, record.name))) return false;
            return files_.replace(layout_.download(record.step, record.name), path);
        default: return true;
        }
    }

    // The old file leaves its place for its backup, which goes once the
    // release is whole; a backup already there holds the same content.
    bool setAside(const std::string& path, const std::string& backup, const std::string& name) {
        if (isFile(files_, backup)) return files_.remove(path);
        return makeBackupFolders(files_, layout_, name) && files_.replace(path, backup);
    }

    // Every journaled path checked by content: the old release or the new.
    bool verified(bool back) {
        bool whole = true;
        for (const JournalRecord& record : records_) {
            const std::string path = layout_.directory() + record.name;
            const std::optional<LocalEntry> there = files_.lookUp(path);
            bool right = true;
            switch (record.step) {
            case JournalStep::Replace: right = holds(path, back ? record.oldContent : record.newContent); break;
            case JournalStep::Add: right = back ? !(there && !there->directory) : holds(path, record.newContent); break;
            case JournalStep::Drop: right = back ? holds(path, record.oldContent) : !(there && !there->directory); break;
            default: break;
            }
            if (!right) lines_.push_back("check " + path + ": holds neither release's content");
            whole = right && whole;
        }
        return whole;
    }

    FileSystem& files_;
    Sha256Source& hashes_;
    const ReleaseLayout& layout_;
    const std::vector<JournalRecord>& records_;
    std::vector<std::string>& lines_;
    std::map<std::string, std::optional<Sha256Digest>> digests_;
};

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

RecoveryResult recoverRelease(FileSystem& files, Sha256Source& hashes, const std::string& directory,
                              const std::string& updaterFile, const CodePage& cp) {
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
    const int version = journalVersion(*bytes);
    if (version != 1 && version != 2)
        return {RecoveryOutcome::CouldNot, "", {"journal " + journal + " is of a later version: left alone"}};

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
    if (version == 2) {
        result.outcome = ContentRecovery(files, hashes, layout, records, result.steps).run(committed);
        if (result.outcome == RecoveryOutcome::CouldNot) return result;
    } else if (committed) {
        // An earlier version's journal names no contents: its commit record decides.
        removeBackups(files, layout, records, &result.steps);
        result.outcome = RecoveryOutcome::RolledForward;
    } else if (!undoSteps(files, layout, records, &result.steps)) {
        result.outcome = RecoveryOutcome::CouldNot;
        return result;
    } else {
        result.outcome = RecoveryOutcome::RolledBack;
    }
    if (!files.remove(journal)) {
        result.steps.push_back("journal " + journal + " stays");
        result.outcome = RecoveryOutcome::CouldNot;
        return result;
    }
    if (layout.besideFiles()) removeDownloads(files, layout, records);
    tidyWorkFolder(files, layout);
    if (records.empty()) result.outcome = RecoveryOutcome::NothingToDo;
    return result;
}

}  // namespace updater
