#pragma once
// A file rebuilt from the local file and a patch, into its download file.
#include <string>

#include "engine/work/stop_flag.h"
#include "engine/manifest/update_manifest.h"
#include "engine/run/update_services.h"

namespace updater {

// Downloads the offer's patch to the side file <localPath>.patch, checks it
// against the offer, and rebuilds the file from localPath into
// downloadPath, checked against expected as it is written. The side file is
// removed whatever happens. Silent: a failed answer, a network failure, a
// bad patch or a mismatch only gives false, with no download file left. A
// FileError of the download file and DownloadStopped escape, as they do for
// the file itself.
bool fetchPatched(UpdateContext& context, const std::string& entryFile, const PatchOffer& offer,
                  const ExpectedContent& expected, const std::string& localPath, const std::string& downloadPath,
                  const StopFlag* stop, bool& statusShown);

}  // namespace updater
