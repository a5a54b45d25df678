#pragma once
// Where a whole release keeps each file while it is committed. Every path is
// the program directory followed by a name relative to it.
#include <string>
#include <string_view>
#include <vector>

#include "engine/platform/file_system.h"
#include "engine/text/code_page.h"
#include "engine/manifest/side_files.h"
#include "engine/release/update_journal.h"

namespace updater {

// The folders a manifest name passes through, outermost first, each as the
// name writes it up to that separator: "a/b\\c.dll" gives "a", "a/b\\". A
// leading "./" is not a folder. Separators are found as the code page reads
// the name, so a trail byte 0x5C is none.
std::vector<std::string> parentFolders(std::string_view name, const CodePage& cp);

// Where an earlier version waited with the download of a file whose folder
// did not exist yet: a flat name in the program directory, "~" written "~~"
// and each separator "~+", ending in kFlatDownloadSuffix.
std::string flatDownloadName(std::string_view name, const CodePage& cp);

// Makes those of the folders (as parentFolders gives them) that are missing,
// below the program directory (which ends with a separator), outermost
// first; the paths of those it made. It stops at the first it cannot make.
std::vector<std::string> makeMissingFolders(FileSystem& files, const std::string& directory,
                                            const std::vector<std::string>& folders);
// Removes the folders, innermost first, each only when it is empty.
void removeFolders(FileSystem& files, const std::vector<std::string>& paths);

// Where a whole release keeps what it puts in place and what it takes away.
// Every path is the program directory (ending with a separator) followed by a
// name relative to it.
class ReleaseLayout {
public:
    // The work folder: <dir>.update\new\<name> and <dir>.update\old\<name>.
    static ReleaseLayout inWorkFolder(std::string directory, const CodePage& cp) {
        return ReleaseLayout(std::move(directory), false, cp);
    }
    // An earlier version's, beside the files: <name>.upg and <name>.old.
    static ReleaseLayout besideTheFiles(std::string directory, const CodePage& cp) {
        return ReleaseLayout(std::move(directory), true, cp);
    }

    const std::string& directory() const { return directory_; }
    bool besideFiles() const { return legacy_; }
    const CodePage& codePage() const { return cp_; }
    std::string workFolder() const { return directory_ + std::string(kWorkFolderName); }
    std::string journal() const;
    // Where the file <name> waits while the commit that replaces or drops it runs.
    std::string backup(const std::string& name) const;
    // Where the new content of <name> waits for the commit's step.
    std::string download(JournalStep step, const std::string& name) const;

private:
    ReleaseLayout(std::string directory, bool legacy, const CodePage& cp)
        : directory_(std::move(directory)), legacy_(legacy), cp_(cp) {}
    std::string directory_;
    bool legacy_;
    const CodePage& cp_;
};

// Makes the work folder (hidden) and the folders that will hold the download
// of <name>; false when one cannot be made.
bool makeDownloadFolders(FileSystem& files, const ReleaseLayout& layout, const std::string& name);
// Makes the folders that will hold the backup of <name>.
bool makeBackupFolders(FileSystem& files, const ReleaseLayout& layout, const std::string& name);
// Removes the empty folders in the work folder, and the work folder when it
// is left empty.
void tidyWorkFolder(FileSystem& files, const ReleaseLayout& layout);

}  // namespace updater
