#pragma once
// How both kinds of run bring an entry's new content into its download
// file: rebuilt from a patch when the local file is a patch's base, else
// inflated from the compressed copy, else the file itself. The first two
// fail silently into the next, so the user sees what a plain download shows.
#include <optional>
#include <string>

#include "engine/manifest/content_check.h"
#include "engine/platform/sha256.h"
#include "engine/work/stop_flag.h"
#include "engine/manifest/update_manifest.h"
#include "engine/run/update_services.h"

namespace updater {

// localDigest: the local file's SHA-256 when deciding by content already
// hashed it; otherwise it is hashed here, and only when a patch is offered.
// As downloadFile otherwise: true when the checked content is at
// downloadPath; NetworkError and FileError of the file itself escape.
bool fetchNewContent(UpdateContext& context, const ManifestEntry& entry, const ExpectedContent& expected,
                     std::optional<Sha256Digest> localDigest, const std::string& localPath,
                     const std::string& downloadPath, const StopFlag* stop = nullptr);

}  // namespace updater
