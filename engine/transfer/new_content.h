#pragma once
// How both kinds of run bring an entry's new content into its download
// file: rebuilt from a patch when the local file is a patch's base, else
// inflated from the compressed copy, else its object (the same bytes under
// a name that never changes), else the file itself, asked once more past
// any cache when what came did not match. The first three fail silently
// into the next, so the user sees what a plain download shows.
#include "engine/transfer/entry_plan.h"
#include "engine/transfer/transfer_context.h"

namespace updater {

// The local file is hashed here only when the plan holds no digest of it
// and a patch is offered. As downloadFile otherwise: true when the checked
// content is at the plan's download path; NetworkError and FileError of the
// file itself escape.
bool fetchNewContent(TransferContext& context, const EntryPlan& plan);

}  // namespace updater
