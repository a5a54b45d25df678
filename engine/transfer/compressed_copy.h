#pragma once
// A file's compressed copy, inflated into its download file as it arrives.
#include <string>

#include "engine/transfer/entry_plan.h"
#include "engine/transfer/transfer_context.h"

namespace updater {

// Fetches the entry's compressed copy and inflates it into the plan's
// download path; true when the stored bytes match ZSIZE/ZSHA256 and what they
// inflate to matches the expected content. Silent: a failed answer, a network
// failure or bad data only gives false, with no download file left. A
// FileError of the download file and DownloadStopped escape, as they do for
// the file itself. The entry must offer a copy.
bool fetchCompressedCopy(TransferContext& context, const EntryPlan& plan, bool& statusShown);

}  // namespace updater
