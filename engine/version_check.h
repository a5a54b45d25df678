#pragma once
// The Next stage: fetch update.ini, keep a copy, compare product versions.
#include <string>

#include "engine/update_services.h"

namespace updater {

enum class CheckOutcome { NewerFound, AlreadyNewest, Failed };

// Runs the check and updates the view. newVersion receives the product
// VERSION of the manifest when one was read. NetworkError, FileError escape
// to the caller's failure report.
CheckOutcome runVersionCheck(UpdateContext& context, std::string& newVersion);

}  // namespace updater
