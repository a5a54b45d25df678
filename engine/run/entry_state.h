#pragma once
// What both kinds of run ask of one manifest entry before fetching it.
#include <optional>
#include <string>
#include <vector>

#include "engine/manifest/update_manifest.h"
#include "engine/run/update_services.h"

namespace updater {

// The manifest's file sections in order, up to the first without a FILE.
std::vector<ManifestEntry> listEntries(const UpdateManifest& manifest);

// Whether the local file is at least as new as the entry's VERSION.
bool isLocalFileCurrent(UpdateContext& context, const std::optional<LocalEntry>& local, const std::string& version);

// The running program's own file, in whatever letter case the entry names it.
bool isUpdaterItself(const UpdateContext& context, const std::string& file);

// A message of the string table with its "%s" filled.
std::string runMessage(const UpdateContext& context, MessageId id, std::string_view arg);

}  // namespace updater
