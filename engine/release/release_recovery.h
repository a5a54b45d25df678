#pragma once
// Brings the installation back to exactly one release after a whole
// release's commit was cut short (killed, or the power lost): back to the old
// one when every old content is still there, else forward to the new one
// when every new content is (a journal with its commit record prefers
// forward); a journal of an earlier version, which names no contents, by its
// commit record alone.
#include <string>
#include <vector>

#include "engine/platform/file_system.h"
#include "engine/platform/sha256.h"
#include "engine/release/release_paths.h"
#include "engine/release/update_journal.h"
#include "engine/text/code_page.h"

namespace updater {

enum class RecoveryOutcome {
    NothingToDo,    // no journal
    RolledBack,     // the old release, exactly
    RolledForward,  // the new release, exactly
    // A step failed (no rights, a file in use), or neither release is whole
    // anywhere (a file in the way, a content lost): the journal stays for
    // the next try, and nothing more is changed.
    CouldNot,
    Ignored,        // the journal names a file that is none of the updater's: nothing touched
};

struct RecoveryResult {
    RecoveryOutcome outcome = RecoveryOutcome::NothingToDo;
    std::string refusedName;  // for Ignored: the first name that broke the rules
    // Each step taken, for the log: "back <path>: done", "forward <path>:
    // failed", "in the way <path>: ..." for each path that keeps both
    // directions shut, "check <path>: ..." for one found wrong afterwards.
    std::vector<std::string> steps;
};

// Acts only on the names the journal gives, inside the program directory
// (which ends with a separator), and only when every one of them passes the
// manifest's name rules. The journal is looked for in the work folder, then
// where an earlier version wrote it, beside the files; updaterFile is the running program's file name,
// whose kUpdaterCopySuffix copy a release may replace. Running it again
// after it was itself cut short finishes the same way. The names are text
// of the system's code page, cp.
// RolledBack and RolledForward only once every journaled path was checked
// by content to hold that release (an earlier version's journal: by its steps).
RecoveryResult recoverRelease(FileSystem& files, Sha256Source& hashes, const std::string& directory,
                              const std::string& updaterFile, const CodePage& cp);

// Undoes the steps of the records, last first; true when every step is
// undone (a step that never happened counts as undone). The commit's own
// undo and the recovery share it; steps, when given, gets a line for each. A
// folder is never moved, nor a file moved onto a folder.
bool undoSteps(FileSystem& files, const ReleaseLayout& layout, const std::vector<JournalRecord>& records,
               std::vector<std::string>* steps = nullptr);
// Removes the backups of a committed release; a backup that cannot be
// removed stays as a side file.
void removeBackups(FileSystem& files, const ReleaseLayout& layout, const std::vector<JournalRecord>& records,
                   std::vector<std::string>* steps = nullptr);

}  // namespace updater
