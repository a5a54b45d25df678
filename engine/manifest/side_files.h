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
// While a whole release is committed, the file it replaces or drops waits at
// <name> + kBackupSuffix.
inline constexpr std::string_view kBackupSuffix = ".old";
// A whole release's download for a folder that does not exist yet waits in
// the program directory under a flat name ending so; no <entry>.upg can end
// like it, since an entry ending in .upg is refused.
inline constexpr std::string_view kFlatDownloadSuffix = ".upg.upg";
// A patch for <name> is downloaded to <name> + kPatchSuffix before it is
// applied, and removed whatever happens.
inline constexpr std::string_view kPatchSuffix = ".patch";
// The record of a whole release's commit, in the program directory.
inline constexpr std::string_view kJournalName = "update.journal";

// Every suffix above as it ends a name beside a product file.
inline constexpr std::string_view kSideFileSuffixes[] = {".upg", ".upg.new", ".bck", ".old", ".patch",
                                                         ".patch.new"};

// The file whose creation tells whether the program directory can be written
// (deleted when its handle closes, also when the process is killed).
inline constexpr std::string_view kWriteProbeName = "update.probe";

// The updater's log beside it, and the file that takes the log's newest half
// when the log is full.
inline constexpr std::string_view kLogName = "Update.log";
inline constexpr std::string_view kLogTrimName = "Update.log.new";

// Whether the name ends in one of kSideFileSuffixes, or its last part is
// kJournalName, kWriteProbeName, kLogName or kLogTrimName, ignoring ASCII
// case as Windows does.
bool isSideFileName(std::string_view name);

}  // namespace updater
