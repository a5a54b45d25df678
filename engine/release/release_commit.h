#pragma once
// The commit of a whole release: once every download is complete and
// checked, every file is put in place, or none is.
#include <optional>
#include <string>
#include <vector>

#include "engine/platform/file_system.h"
#include "engine/text/code_page.h"

namespace updater {

// Names relative to the program directory. targets: the files the downloads
// replace or add (the updater's new copy under its kUpdaterCopySuffix name);
// drops: the files the release removes.
struct CommitPlan {
    std::vector<std::string> targets;
    std::vector<std::string> drops;
};

struct CommitFailure {
    enum class Step { Journal, Folder, Replace, Drop } step;
    std::string name;  // the file or folder whose step failed; empty for the journal
    // False when a step could not be undone either: the journal stays, and
    // the next start of the updater finishes the undo.
    bool undone = true;
};

// Where the download of a target waits: beside it when its folder exists,
// else under its flat name in the program directory. cp is the system's
// code page, in which the names are text.
std::string downloadPathFor(FileSystem& files, const std::string& directory, const std::string& target,
                            const CodePage& cp);

// Puts the release in place, or on failure undoes every step it took.
std::optional<CommitFailure> commitRelease(FileSystem& files, const std::string& directory, const CommitPlan& plan,
                                           const CodePage& cp);

}  // namespace updater
