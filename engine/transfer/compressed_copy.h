#pragma once
// A file's compressed copy, inflated into its download file as it arrives.
#include <string>

#include "engine/work/stop_flag.h"
#include "engine/manifest/update_manifest.h"
#include "engine/run/update_services.h"

namespace updater {

// Fetches copy and inflates it into downloadPath; true when the stored bytes
// match ZSIZE/ZSHA256 and what they inflate to matches expected. Silent: a
// failed answer, a network failure or bad data only gives false, with no
// download file left. A FileError of the download file and DownloadStopped
// escape, as they do for the file itself.
bool fetchCompressedCopy(UpdateContext& context, const std::string& entryFile, const CompressedCopy& copy,
                         const ExpectedContent& expected, const std::string& downloadPath, const StopFlag* stop,
                         bool& statusShown);

}  // namespace updater
