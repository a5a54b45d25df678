#pragma once
// Brings the installation back to exactly one release after a whole
// release's commit was cut short (killed, or the power lost): forward to the
// new one when the journal says the commit was done, else back to the old one.
#include <string>
#include <vector>

#include "engine/platform/file_system.h"
#include "engine/release/release_paths.h"
#include "engine/release/update_journal.h"
#include "engine/text/code_page.h"

namespace updater {

enum class RecoveryOutcome {
    NothingToDo,    // no journal
    RolledBack,     // the old release, exactly
    RolledForward,  // the new release, exactly
    CouldNot,       // a step failed (no rights, a file in use): the journal stays for the next try
    Ignored,        // the journal names a file that is none of the updater's: nothing touched
};

struct RecoveryResult {
    RecoveryOutcome outcome = RecoveryOutcome::NothingToDo;
    std::string refusedName;  // for Ignored: the first name that broke the rules
    // Each step taken, for the log: "back <path>: done" or "forward <path>: failed".
    std::vector<std::string> steps;
};

// Acts only on the names the journal gives, inside the program directory
// (which ends with a separator), and only when every one of them passes the
// manifest's name rules. The journal is looked for in the work folder, then
// where an earlier version wrote it, beside the files; updaterFile is the running program's file name,
// whose kUpdaterCopySuffix copy a release may replace. Running it again
// after it was itself cut short finishes the same way. The names are text
// of the system's code page, cp.
RecoveryResult recoverRelease(FileSystem& files, const std::string& directory, const std::string& updaterFile,
                              const CodePage& cp);

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
