#pragma once
// The Update stage: walk the manifest copy and swap in every newer file.
#include <optional>
#include <string>

#include "engine/safe_manifest_name.h"
#include "engine/update_context.h"

namespace updater {

enum class FileUpdateResult { Failed = 0, Updated = 1, UpToDate = 2 };

// Runs the whole update and updates the view. NetworkError, FileError and
// DateParserError escape to the caller's failure report.
void runUpdate(UpdateContext& context, const std::string& newVersion);

// One file section of the manifest; SIZE and SHA256 are nothing when missing.
struct ManifestEntry {
    std::string file;
    std::string version;
    std::optional<std::string> size;
    std::optional<std::string> sha256;
};

// One manifest entry.
FileUpdateResult updateEntry(UpdateContext& context, const ManifestEntry& entry);
FileUpdateResult updateEntry(UpdateContext& context, const std::string& file, const std::string& version);

}  // namespace updater
