#pragma once
// The Next stage: fetch update.ini, keep a copy, compare product versions.
#include <string>

#include "engine/update_services.h"

namespace updater {

enum class CheckOutcome { NewerFound, AlreadyNewest, Failed };

struct VersionCheckResult {
    CheckOutcome outcome = CheckOutcome::Failed;
    // The product VERSION of the manifest; only when one was read (not Failed).
    std::string newVersion;
};

// Runs the check and shows its progress in the status line; the button is
// left to the caller, who moves it on from the result. NetworkError and
// FileError escape to the caller's failure report.
VersionCheckResult runVersionCheck(UpdateContext& context);

}  // namespace updater
