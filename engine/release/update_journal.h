#pragma once
// The records of update.journal, which lets a later start finish or undo a
// whole release's commit that was cut short. The format is described at the
// top of update_journal.cpp, the one place that reads it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/platform/sha256.h"

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

// A file's content as the journal names it.
struct FileContent {
    std::uint64_t size = 0;
    Sha256Digest sha256{};
    bool operator==(const FileContent&) const = default;
};

struct JournalRecord {
    JournalStep step;
    std::string name;
    // The content <name> holds before the step (Replace, Drop) and after it
    // (Replace, Add); a journal of an earlier version names none.
    std::optional<FileContent> oldContent{};
    std::optional<FileContent> newContent{};
    bool operator==(const JournalRecord&) const = default;
};

// The format this version writes: records with their contents.
inline constexpr int kJournalVersion = 2;

// The journal's first line, line end included.
std::string journalHeaderText();
// One record as it is appended, line end included, in the format of the
// version: kJournalVersion with its contents; 1 without, as the previous
// release of this program did.
std::string journalRecordText(const JournalRecord& record, int version);

// The format's version: 1 for a journal without the header line (an earlier
// version's, which names no contents).
int journalVersion(std::string_view bytes);

// The records up to the first that is not whole and intact: a record torn
// by a cut at the end of the file, or anything after it, is not read.
std::vector<JournalRecord> readJournal(std::string_view bytes);

}  // namespace updater
