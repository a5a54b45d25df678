#pragma once
// The Update stage: walk the manifest copy and swap in every newer file.
#include <string>

#include "engine/update_context.h"

namespace updater {

enum class FileUpdateResult { Failed = 0, Updated = 1, UpToDate = 2 };

// Runs the whole update and updates the view. NetworkError, FileError and
// DateParserError escape to the caller's failure report.
void runUpdate(UpdateContext& context, const std::string& newVersion);

// One file section of the manifest. SIZE and SHA256 are read by keyed builds only.
struct ManifestEntry {
    std::string file;
    std::string version;
    std::string size;
    std::string sha256;
};

// One manifest entry.
FileUpdateResult updateEntry(UpdateContext& context, const ManifestEntry& entry);
FileUpdateResult updateEntry(UpdateContext& context, const std::string& file, const std::string& version);

// Whether a manifest FILE value stays inside the program directory.
bool isSafeManifestName(const std::string& name);

}  // namespace updater
