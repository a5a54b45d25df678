#pragma once
// The records of update.journal, which lets a later start finish or undo a
// whole release's commit that was cut short. The format is described at the
// top of update_journal.cpp, the one place that reads it.
#include <string>
#include <string_view>
#include <vector>

namespace updater {

// What a record announces. The names are relative to the program directory,
// as the manifest writes them; every other path of a step follows from the
// step and the name.
// Where the backup and the download of <name> wait is the layout's
// (release_paths.h): in the work folder, or beside the files for a journal
// an earlier version left.
enum class JournalStep : char {
    NewFolder = 'D',       // the folder <name> is created
    Replace = 'R',         // <name> moves to its backup, then its download to <name>
    Add = 'N',             // the download of <name> moves to <name>, which did not exist
    AddInNewFolder = 'M',  // earlier versions: the flat download of <name> moves to <name>
    Drop = 'X',            // <name> moves to its backup
    RemoveFolder = 'E',    // the folder <name>, empty once the drops in it moved out, is removed
    Committed = 'C',       // every step is done; the release is the new one
};

struct JournalRecord {
    JournalStep step;
    std::string name;
    bool operator==(const JournalRecord& other) const { return step == other.step && name == other.name; }
};

// One record as it is appended, line end included.
std::string journalRecordText(const JournalRecord& record);

// The records up to the first that is not whole and intact: a record torn
// by a cut at the end of the file, or anything after it, is not read.
std::vector<JournalRecord> readJournal(std::string_view bytes);

}  // namespace updater
