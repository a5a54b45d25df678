// Why a kill or a power cut at any instant leaves exactly one release:
//
// - Before the first record, every download is flushed to disk, so a file
//   moved into place later never shows bytes that were only in the cache.
// - The records of every step are appended and flushed to disk
//   (write-through, then a flush) before the first step starts.
// - Each step is one rename with write-through, which returns only once the
//   rename is on disk. NTFS logs metadata changes in order, and a flushed
//   change carries every earlier one (a folder made, a backup removed).
// - The commit record follows the last step, and backups and the journal
//   are removed only after it.
//
// So whatever the disk holds after a cut, the journal on it lists every step
// that reached the disk, and maybe steps that did not. Each undo is told
// from the files themselves (a backup present, a file where its download
// waited), so a step that never happened undoes to nothing, and recovery
// from a journal without the commit record gives the old release, from one
// with it the new one; recovery cut short is recovered the same way. An
// append cut short leaves whole records before a torn one, which is not
// read (update_journal.cpp), and no step had begun. A kill alone loses
// nothing the system has accepted, so it is the easier case of the same
// argument.
#include "engine/release/release_commit.h"

#include <set>

#include "engine/release/release_paths.h"
#include "engine/release/release_recovery.h"
#include "engine/manifest/safe_manifest_name.h"
#include "engine/release/update_journal.h"

namespace updater {

namespace {

bool isFolder(FileSystem& files, const std::string& path) {
    const std::optional<LocalEntry> entry = files.lookUp(path);
    return entry && entry->directory;
}

bool allFoldersExist(FileSystem& files, const std::string& directory, const std::string& name, const CodePage& cp) {
    for (const std::string& folder : parentFolders(name, cp))
        if (!isFolder(files, directory + folder)) return false;
    return true;
}

class ReleaseCommit {
public:
    ReleaseCommit(FileSystem& files, std::string directory, const CodePage& cp)
        : files_(files), directory_(std::move(directory)), journal_(directory_ + std::string(kJournalName)), cp_(cp) {}

    std::optional<CommitFailure> run(const CommitPlan& plan) {
        if (files_.lookUp(journal_)) return CommitFailure{CommitFailure::Step::Journal, ""};
        if (std::optional<CommitFailure> failure = prepare(plan)) return failure;
        // Every intent at once, on disk before the first step: each undo is
        // told from the files, so a step announced and never taken undoes
        // to nothing, and one flush serves the whole commit.
        if (!record(steps_)) return undo({CommitFailure::Step::Journal, ""});
        for (const JournalRecord& step : steps_)
            if (!carryOut(step)) return undo(failureOf(step));
        if (!record({{JournalStep::Committed, ""}})) return undo({CommitFailure::Step::Journal, ""});
        removeBackups(files_, directory_, done_);
        files_.remove(journal_);
        return std::nullopt;
    }

private:
    // Orders the steps: folders outermost first, then the files, then the
    // drops. Stale backups go and every download reaches the disk first.
    std::optional<CommitFailure> prepare(const CommitPlan& plan) {
        std::set<std::string> folderKeys;
        for (const std::string& target : plan.targets) {
            for (const std::string& folder : parentFolders(target, cp_)) {
                if (isFolder(files_, directory_ + folder) || !folderKeys.insert(manifestNameKey(folder, cp_)).second)
                    continue;
                steps_.push_back({JournalStep::NewFolder, folder});
            }
        }
        for (const std::string& target : plan.targets) {
            const std::string download = downloadPathFor(files_, directory_, target, cp_);
            const JournalStep step = !allFoldersExist(files_, directory_, target, cp_) ? JournalStep::AddInNewFolder
                                     : files_.lookUp(directory_ + target)         ? JournalStep::Replace
                                                                                  : JournalStep::Add;
            if (isFolder(files_, directory_ + target) || !files_.flushToDisk(download) ||
                (step == JournalStep::Replace && !removeStaleBackup(target)))
                return CommitFailure{CommitFailure::Step::Replace, target};
            steps_.push_back({step, target});
        }
        for (const std::string& drop : plan.drops) {
            if (!removeStaleBackup(drop)) return CommitFailure{CommitFailure::Step::Drop, drop};
            steps_.push_back({JournalStep::Drop, drop});
        }
        return std::nullopt;
    }

    // A backup left from before would be taken for this commit's own.
    bool removeStaleBackup(const std::string& name) {
        const std::string backup = directory_ + backupName(name);
        return !files_.lookUp(backup) || files_.remove(backup);
    }

    bool record(const std::vector<JournalRecord>& steps) {
        std::string text;
        for (const JournalRecord& step : steps) text += journalRecordText(step);
        if (!files_.appendDurably(journal_, text)) return false;
        done_.insert(done_.end(), steps.begin(), steps.end());
        return true;
    }

    bool carryOut(const JournalRecord& step) {
        const std::string path = directory_ + step.name;
        switch (step.step) {
        case JournalStep::NewFolder: return files_.makeDirectory(path);
        case JournalStep::Replace:
            return files_.replace(path, directory_ + backupName(step.name)) &&
                   files_.replace(directory_ + downloadName(step.name), path);
        case JournalStep::Add: return files_.replace(directory_ + downloadName(step.name), path);
        case JournalStep::AddInNewFolder: return files_.replace(directory_ + flatDownloadName(step.name, cp_), path);
        case JournalStep::Drop: return files_.replace(path, directory_ + backupName(step.name));
        case JournalStep::Committed: return true;
        }
        return false;
    }

    static CommitFailure failureOf(const JournalRecord& step) {
        switch (step.step) {
        case JournalStep::NewFolder: return {CommitFailure::Step::Folder, step.name};
        case JournalStep::Drop: return {CommitFailure::Step::Drop, step.name};
        default: return {CommitFailure::Step::Replace, step.name};
        }
    }

    // The journal goes only with every step undone; otherwise it stays for
    // the next start to finish the undo.
    CommitFailure undo(CommitFailure failure) {
        failure.undone = undoSteps(files_, directory_, done_, cp_) && (!files_.lookUp(journal_) || files_.remove(journal_));
        return failure;
    }

    FileSystem& files_;
    const std::string directory_;
    const std::string journal_;
    std::vector<JournalRecord> steps_;
    std::vector<JournalRecord> done_;
    const CodePage& cp_;
};

}  // namespace

std::string downloadPathFor(FileSystem& files, const std::string& directory, const std::string& target,
                            const CodePage& cp) {
    if (allFoldersExist(files, directory, target, cp)) return directory + downloadName(target);
    return directory + flatDownloadName(target, cp);
}

std::optional<CommitFailure> commitRelease(FileSystem& files, const std::string& directory, const CommitPlan& plan,
                                           const CodePage& cp) {
    return ReleaseCommit(files, directory, cp).run(plan);
}

}  // namespace updater
