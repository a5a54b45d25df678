#pragma once
// The Update stage: walk the manifest the check fetched and swap in every newer file.
#include <optional>
#include <string>

#include "engine/manifest/update_manifest.h"
#include "engine/run/update_services.h"

namespace updater {

// Kept: a user's edit, newer than the entry, stays.
enum class FileUpdateResult { Failed = 0, Updated = 1, UpToDate = 2, Kept = 3 };

// Runs the whole update from the manifest the check fetched and verified,
// and updates the view. NetworkError, FileError and DateParserError escape
// to the caller's failure report.
void runUpdate(UpdateContext& context, const std::string& manifestBytes, const std::string& newVersion);

// One manifest entry.
FileUpdateResult updateEntry(UpdateContext& context, const ManifestEntry& entry);
FileUpdateResult updateEntry(UpdateContext& context, const std::string& file, const std::string& version);

}  // namespace updater
