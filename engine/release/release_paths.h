#pragma once
// Where a whole release keeps each file while it is committed. Every path is
// the program directory followed by a name relative to it.
#include <string>
#include <string_view>
#include <vector>

#include "engine/platform/file_system.h"
#include "engine/text/code_page.h"
#include "engine/manifest/side_files.h"

namespace updater {

// The folders a manifest name passes through, outermost first, each as the
// name writes it up to that separator: "a/b\\c.dll" gives "a", "a/b\\". A
// leading "./" is not a folder. Separators are found as the code page reads
// the name, so a trail byte 0x5C is none.
std::vector<std::string> parentFolders(std::string_view name, const CodePage& cp);

// The download of a file whose folder does not exist yet: a flat name in the
// program directory, "~" written "~~" and each separator "~+", so that two
// names never share one, ending in kFlatDownloadSuffix.
std::string flatDownloadName(std::string_view name, const CodePage& cp);

// Makes those of the folders (as parentFolders gives them) that are missing,
// below the program directory (which ends with a separator), outermost
// first; the paths of those it made. It stops at the first it cannot make.
std::vector<std::string> makeMissingFolders(FileSystem& files, const std::string& directory,
                                            const std::vector<std::string>& folders);
// Removes the folders, innermost first, each only when it is empty.
void removeFolders(FileSystem& files, const std::vector<std::string>& paths);

// Where <name> waits while the commit that replaces or drops it runs.
inline std::string backupName(const std::string& name) { return name + std::string(kBackupSuffix); }
// Where the download of <name> waits when its folder exists.
inline std::string downloadName(const std::string& name) { return name + std::string(kDownloadSuffix); }
}  // namespace updater
