#pragma once
// A file rebuilt from the local file and a patch, into its download file.
#include <string>

#include "engine/transfer/entry_plan.h"
#include "engine/transfer/transfer_context.h"

namespace updater {

// Downloads the offer's patch to the side file <local path>.patch, checks it
// against the offer, and rebuilds the file from the local file into the
// plan's download path, checked against the expected content as it is
// written. The side file is removed whatever happens. Silent: a failed
// answer, a network failure, a bad patch or a mismatch only gives false,
// with no download file left. A FileError of the download file and
// DownloadStopped escape, as they do for the file itself.
bool fetchPatched(TransferContext& context, const EntryPlan& plan, const PatchOffer& offer, bool& statusShown);

}  // namespace updater
