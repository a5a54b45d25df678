// Why a kill or a power cut at any instant leaves exactly one release:
//
// - Before the first record, every download is flushed to disk, so a file
//   moved into place later never shows bytes that were only in the cache.
// - The records of every step are appended and flushed to disk
//   (write-through, then a flush) before the first step starts.
// - Each step is one rename with write-through, which returns only once the
//   rename is on disk. NTFS logs metadata changes in order, and a flushed
//   change carries every earlier one (a folder made or removed).
// - The commit record follows the last step, and backups and the journal
//   are removed only after it.
//
// - The journal is created in one step that fails if one exists, so no
//   other updater's commit is ever taken over.
//
// So whatever the disk holds after a cut, the journal on it lists every step
// that reached the disk, and maybe steps that did not, each with the size
// and SHA-256 of its old and new content. Recovery goes by those contents,
// never by which steps seem done: back when every old content is still
// somewhere, else forward when every new one is, else nowhere
// (release_recovery.cpp); a step that never happened changes neither. An
// append cut short leaves whole records before a torn one, which is not
// read (update_journal.cpp), and no step had begun. Once the commit record
// was written, whatever its flush returned, the run only goes forward: an
// undo then could leave half of each release. A kill alone loses nothing
// the system has accepted, so it is the easier case of the same argument.
#include "engine/release/release_commit.h"

#include <set>

#include "engine/manifest/content_check.h"
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

class ReleaseCommit {
public:
    ReleaseCommit(FileSystem& files, Sha256Source& hashes, const std::string& directory, const CodePage& cp)
        : files_(files), hashes_(hashes), layout_(ReleaseLayout::inWorkFolder(directory, cp)), directory_(directory),
          journal_(layout_.journal()), cp_(cp) {}

    std::optional<CommitFailure> run(const CommitPlan& plan) {
        std::optional<CommitFailure> failure = runSteps(plan);
        tidyWorkFolder(files_, layout_);
        return failure;
    }

private:
    std::optional<CommitFailure> runSteps(const CommitPlan& plan) {
        if (files_.lookUp(journal_)) return CommitFailure{CommitFailure::Step::Journal, ""};
        if (std::optional<CommitFailure> failure = prepare(plan)) return failure;
        // Every intent at once, on disk before the first step: each undo is
        // told from the files, so a step announced and never taken undoes
        // to nothing, and one flush serves the whole commit.
        if (!record(steps_)) {
            // No step has begun; a journal there is this run's only if it
            // holds no more than this run began to write.
            CommitFailure failure = withCode({CommitFailure::Step::Journal, ""});
            const std::optional<std::string> there = files_.readAll(journal_);
            const std::string mine = journalHeaderText() + recordsText(steps_);
            if (there && mine.compare(0, there->size(), *there) == 0) files_.remove(journal_);
            return failure;
        }
        for (const JournalRecord& step : steps_)
            if (!carryOut(step)) return undo(withCode(failureOf(step)));
        // The record may be on disk even when the call failed: from here on
        // the only way is forward, and the new files are all in place.
        record({{JournalStep::Committed, ""}});
        removeBackups(files_, layout_, done_);
        files_.remove(journal_);
        return std::nullopt;
    }

    // Orders the steps: removals before creations, so that a file and a
    // folder may change places. The drops first, then the folders they
    // leave empty where a file comes, innermost first, then the new folders
    // outermost first, then the files. Everything that would stop a step
    // is found here, before the journal, and every download reaches the
    // disk first.
    std::optional<CommitFailure> prepare(const CommitPlan& plan) {
        for (const std::string& drop : plan.drops) {
            dropKeys_.insert(manifestNameKey(drop, cp_));
            const std::optional<FileContent> old = contentOf(directory_ + drop);
            if (!old || !makeBackupFolders(files_, layout_, drop) || !clearBackup(drop))
                return withCode({CommitFailure::Step::Drop, drop});
            steps_.push_back({JournalStep::Drop, drop, old});
        }
        for (const std::string& target : plan.targets) {
            if (!isFolder(files_, directory_ + target)) continue;
            if (!emptiedByTheDrops(target))
                return blocked(target, "a folder stands there that holds files the release does not remove");
        }
        std::set<std::string> folderKeys;
        for (const std::string& target : plan.targets) {
            for (const std::string& folder : parentFolders(target, cp_)) {
                const std::optional<LocalEntry> there = files_.lookUp(directory_ + folder);
                if (there && there->directory) continue;
                if (there && !dropKeys_.count(manifestNameKey(folder, cp_)))
                    return blocked(target, "the file " + folder + " stands where its folder goes");
                if (folderKeys.insert(manifestNameKey(folder, cp_)).second)
                    steps_.push_back({JournalStep::NewFolder, folder});
            }
        }
        for (const std::string& target : plan.targets) {
            const bool replaces = files_.lookUp(directory_ + target) && !isFolder(files_, directory_ + target);
            const std::string download = layout_.download(JournalStep::Add, target);
            std::optional<FileContent> old;
            std::optional<FileContent> added;
            if (!files_.flushToDisk(download) || !(added = contentOf(download)) ||
                (replaces && (!(old = contentOf(directory_ + target)) || !makeBackupFolders(files_, layout_, target) ||
                              !clearBackup(target))))
                return withCode({CommitFailure::Step::Replace, target});
            steps_.push_back({replaces ? JournalStep::Replace : JournalStep::Add, target, old, added});
        }
        std::vector<std::string> names = plan.targets;
        names.insert(names.end(), plan.drops.begin(), plan.drops.end());
        for (const std::string& name : names)
            if (!onTheWorkFolderVolume(name))
                return blocked(name, "its folder lies on another volume than " + layout_.workFolder());
        return std::nullopt;
    }

    CommitFailure withCode(CommitFailure failure) const {
        failure.code = files_.lastErrorCode();
        return failure;
    }

    // The size and SHA-256 of a file; nothing when it cannot be read whole.
    std::optional<FileContent> contentOf(const std::string& path) {
        const std::optional<LocalEntry> entry = files_.lookUp(path);
        if (!entry || entry->directory) return std::nullopt;
        const std::optional<Sha256Digest> digest = fileSha256(files_, hashes_, path);
        if (!digest) return std::nullopt;
        return FileContent{entry->size, *digest};
    }

    static CommitFailure blocked(const std::string& name, std::string why) {
        return {CommitFailure::Step::Blocked, name, std::move(why)};
    }

    // Whether the folder holds nothing but files the release drops and
    // folders that do the same; the folders to remove go to the steps,
    // innermost first.
    bool emptiedByTheDrops(const std::string& folder) {
        const std::optional<std::vector<std::pair<std::string, bool>>> listing = files_.listFolder(directory_ + folder);
        if (!listing) return false;
        for (const auto& [name, isDirectory] : *listing) {
            const std::string inside = folder + "/" + name;
            if (isDirectory ? !emptiedByTheDrops(inside) : !dropKeys_.count(manifestNameKey(inside, cp_)))
                return false;
        }
        steps_.push_back({JournalStep::RemoveFolder, folder});
        return true;
    }

    // A rename cannot cross volumes: the deepest folder of the name that
    // exists (a junction or a mount point may lead elsewhere) must lie on
    // the work folder's.
    bool onTheWorkFolderVolume(const std::string& name) {
        const std::vector<std::string> folders = parentFolders(name, cp_);
        for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
            if (!isFolder(files_, directory_ + *folder)) continue;
            const std::optional<std::uint64_t> there = files_.volumeOf(directory_ + *folder);
            const std::optional<std::uint64_t> work = files_.volumeOf(layout_.workFolder());
            return !there || !work || *there == *work;
        }
        return true;
    }

    // A backup left in the work folder by an earlier run would be taken for
    // this commit's own.
    bool clearBackup(const std::string& name) {
        const std::string backup = layout_.backup(name);
        const std::optional<LocalEntry> stale = files_.lookUp(backup);
        return !stale || (!stale->directory && files_.remove(backup));
    }

    static std::string recordsText(const std::vector<JournalRecord>& steps) {
        std::string text;
        for (const JournalRecord& step : steps) text += journalRecordText(step, kJournalVersion);
        return text;
    }

    bool record(const std::vector<JournalRecord>& steps) {
        const std::string text = recordsText(steps);
        // The first write creates the journal, failing if one exists.
        const bool written = done_.empty() ? files_.createDurably(journal_, journalHeaderText() + text)
                                           : files_.appendDurably(journal_, text);
        if (!written) return false;
        done_.insert(done_.end(), steps.begin(), steps.end());
        return true;
    }

    bool carryOut(const JournalRecord& step) {
        const std::string path = directory_ + step.name;
        switch (step.step) {
        case JournalStep::NewFolder: return files_.makeDirectory(path);
        case JournalStep::RemoveFolder: return files_.removeDirectory(path);
        case JournalStep::Replace:
            return files_.replace(path, layout_.backup(step.name)) &&
                   files_.replace(layout_.download(step.step, step.name), path);
        case JournalStep::Add:
        case JournalStep::AddInNewFolder: return files_.replace(layout_.download(step.step, step.name), path);
        case JournalStep::Drop: return files_.replace(path, layout_.backup(step.name));
        case JournalStep::Committed: return true;
        }
        return false;
    }

    static CommitFailure failureOf(const JournalRecord& step) {
        switch (step.step) {
        case JournalStep::NewFolder:
        case JournalStep::RemoveFolder: return {CommitFailure::Step::Folder, step.name};
        case JournalStep::Drop: return {CommitFailure::Step::Drop, step.name};
        default: return {CommitFailure::Step::Replace, step.name};
        }
    }

    // The journal goes only with every step undone; otherwise it stays for
    // the next start to finish the undo.
    CommitFailure undo(CommitFailure failure) {
        failure.undone = undoSteps(files_, layout_, done_) && (!files_.lookUp(journal_) || files_.remove(journal_));
        return failure;
    }

    FileSystem& files_;
    Sha256Source& hashes_;
    const ReleaseLayout layout_;
    const std::string& directory_;
    const std::string journal_;
    std::set<std::string> dropKeys_;
    std::vector<JournalRecord> steps_;
    std::vector<JournalRecord> done_;
    const CodePage& cp_;
};

}  // namespace

std::string downloadPathFor(const std::string& directory, const std::string& target, const CodePage& cp) {
    return ReleaseLayout::inWorkFolder(directory, cp).download(JournalStep::Add, target);
}

std::optional<CommitFailure> commitRelease(FileSystem& files, Sha256Source& hashes, const std::string& directory,
                                           const CommitPlan& plan, const CodePage& cp) {
    return ReleaseCommit(files, hashes, directory, cp).run(plan);
}

}  // namespace updater
