#pragma once
// The commit of a whole release: once every download is complete and
// checked, every file is put in place, or none is.
#include <optional>
#include <string>
#include <vector>

#include "engine/platform/file_system.h"
#include "engine/platform/sha256.h"
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
    // Blocked: the release cannot be put in place as the installation
    // stands (a folder holding other files, another volume); found before
    // the journal, so nothing was touched.
    enum class Step { Journal, Folder, Replace, Drop, Blocked } step;
    std::string name;  // the file or folder whose step failed; empty for the journal
    std::string why{};  // for Blocked, in English words for the log
    // The system's code of the call that failed, read at once, before any undo.
    unsigned long code = 0;
    // False when a step could not be undone either: the journal stays, and
    // the next start of the updater finishes the undo.
    bool undone = true;
};

// Where the download of a target waits for the commit: in the work folder,
// at the target's own path. cp is the system's code page, in which the names
// are text.
std::string downloadPathFor(const std::string& directory, const std::string& target, const CodePage& cp);

// Puts the release in place, or on failure undoes every step it took. It
// moves and removes only the plan's own files, what it put in the work
// folder, and folders the release's files leave empty. Once its commit
// record may be on disk it only goes forward. hashes gives the journal the
// contents of each step.
std::optional<CommitFailure> commitRelease(FileSystem& files, Sha256Source& hashes, const std::string& directory,
                                           const CommitPlan& plan, const CodePage& cp);

}  // namespace updater
