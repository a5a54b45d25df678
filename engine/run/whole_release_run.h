#pragma once
// The run of a whole release: every file is downloaded and checked first,
// then all are put in place in one commit, or none is.
#include <vector>

#include "engine/manifest/update_manifest.h"
#include "engine/run/update_services.h"

namespace updater {

enum class WholeOutcome {
    Committed,  // the new release is in place; its files are listed
    Failed,     // nothing changed; the status says so and Update is offered again
    Stopped,    // the stop flag ended the downloads; nothing changed, nothing shown
};

// A release runs whole when it asks to (WHOLE=1) and every entry carries
// SIZE and SHA256; any other runs file by file.
bool runsWhole(const UpdateManifest& manifest, std::string_view product, const std::vector<ManifestEntry>& entries);

// The manifest's DROP sections, in order.
std::vector<DroppedFile> listDroppedFiles(const UpdateManifest& manifest);

// Follows the running-product guard, which the caller consulted first.
WholeOutcome runWholeRelease(UpdateContext& context, const std::vector<ManifestEntry>& entries,
                             const std::vector<DroppedFile>& drops);

}  // namespace updater
