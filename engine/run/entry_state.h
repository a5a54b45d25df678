#pragma once
// What both kinds of run ask of one manifest entry before fetching it.
#include <optional>
#include <string>
#include <vector>

#include "engine/manifest/update_manifest.h"
#include "engine/run/update_services.h"
#include "engine/transfer/entry_plan.h"
#include "engine/transfer/transfer_context.h"

namespace updater {

enum class RunKind { FileByFile, WholeRelease };

// The manifest's file sections in order, up to the first without a FILE.
std::vector<ManifestEntry> listEntries(const UpdateManifest& manifest);

// The one decision for an entry, in order: its name, what stands at its
// path, whether it is current (by content, else by time), and the content a
// fetch must prove. A whole release needs SIZE and SHA256 of every entry, a
// keyed build of every entry it fetches. A whole release's download waits
// under a flat name while its folder is missing; a file-by-file run's waits
// beside the file, in the folders the run makes first. Reads the file system
// only; the plan keeps a reference to entry.
EntryPlan planEntry(UpdateContext& context, const ManifestEntry& entry, RunKind kind);

// What the run's downloads borrow of it; stop is the flag they look at.
TransferContext transferContext(UpdateContext& context, const StopFlag* stop);

// Whether the local file is at least as new as the entry's VERSION.
bool isLocalFileCurrent(UpdateContext& context, const std::optional<LocalEntry>& local, const std::string& version);

// The running program's own file, in whatever letter case the entry names it.
bool isUpdaterItself(const UpdateContext& context, const std::string& file);

// A message of the string table with its "%s" filled.
std::string runMessage(const UpdateContext& context, MessageId id, std::string_view arg);

}  // namespace updater
