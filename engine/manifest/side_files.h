#pragma once
// The files the updater itself makes beside the installation. A manifest
// entry must never name one: it would be overwritten or deleted as a side
// file, and the file it stands beside could never update.
#include <string_view>

namespace updater {

// The download of <name> goes to <name> + kDownloadSuffix.
inline constexpr std::string_view kDownloadSuffix = ".upg";
// Where something already stands at a path that must be created fresh, the
// new file is made at <path> + kFreshFileSuffix and moved over it.
inline constexpr std::string_view kFreshFileSuffix = ".new";
// The running updater's new copy waits at <program file> + kUpdaterCopySuffix.
inline constexpr std::string_view kUpdaterCopySuffix = ".bck";
// A whole release keeps everything of its own in this hidden folder of the
// program directory: its downloads under kNewFolderName, the files its commit
// replaces or drops under kOldFolderName, each at the entry's own path, and
// its journal and the write probe. No entry may lie in it.
inline constexpr std::string_view kWorkFolderName = ".update";
inline constexpr std::string_view kNewFolderName = "new";
inline constexpr std::string_view kOldFolderName = "old";
// Earlier versions kept a commit's backups beside the files as
// <name> + kBackupSuffix, and the download of a file in a folder still
// missing under a flat name ending in kFlatDownloadSuffix; a journal they
// left is still recovered.
inline constexpr std::string_view kBackupSuffix = ".old";
inline constexpr std::string_view kFlatDownloadSuffix = ".upg.upg";
// A patch for <name> is downloaded to <name> + kPatchSuffix before it is
// applied, and removed whatever happens.
inline constexpr std::string_view kPatchSuffix = ".patch";
// The record of a whole release's commit, in kWorkFolderName (in the program
// directory itself when an earlier version wrote it).
inline constexpr std::string_view kJournalName = "update.journal";

// Every suffix above as it ends a name beside a product file.
inline constexpr std::string_view kSideFileSuffixes[] = {".upg", ".upg.new", ".bck", ".old", ".patch",
                                                         ".patch.new"};

// The file whose creation tells whether the program directory can be written
// (in kWorkFolderName, deleted when its handle closes, also when the process
// is killed).
inline constexpr std::string_view kWriteProbeName = "update.probe";

// The updater's log beside it, and the file that takes the log's newest half
// when the log is full.
inline constexpr std::string_view kLogName = "Update.log";
inline constexpr std::string_view kLogTrimName = "Update.log.new";

// Whether any part of the name ends in one of kSideFileSuffixes or is
// kJournalName, kWriteProbeName, kLogName or kLogTrimName, ignoring ASCII
// case as Windows does: a folder so named would stand where the updater's
// own file goes.
bool isSideFileName(std::string_view name);

// Whether the first part of the name is kWorkFolderName, in any letter case.
bool isInWorkFolder(std::string_view name);

}  // namespace updater
