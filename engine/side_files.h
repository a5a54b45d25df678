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

// Every suffix above as it ends a name beside a product file.
inline constexpr std::string_view kSideFileSuffixes[] = {".upg", ".upg.new"};

// The file whose creation tells whether the program directory can be written
// (deleted when its handle closes, also when the process is killed).
inline constexpr std::string_view kWriteProbeName = "update.probe";

// Whether the name ends in one of kSideFileSuffixes, or its last part is
// kWriteProbeName, ignoring ASCII case as Windows does.
bool isSideFileName(std::string_view name);

}  // namespace updater
