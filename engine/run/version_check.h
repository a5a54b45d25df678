#pragma once
// The Next stage: fetch update.ini into memory and compare product versions.
#include <cstdint>
#include <string>

#include "engine/run/update_services.h"

namespace updater {

enum class CheckOutcome { NewerFound, AlreadyNewest, Failed };

struct VersionCheckResult {
    CheckOutcome outcome = CheckOutcome::Failed;
    // The product VERSION of the manifest; only when one was read (not Failed).
    std::string newVersion;
    // When NewerFound: the manifest the check fetched and verified, which the
    // run works from. It never goes through a file another program could
    // replace in between.
    std::string manifest;
};

// The whole check, however the server answers, ends within this time.
constexpr std::uint32_t kCheckLimitMs = 120000;

// Runs the check and shows its progress in the status line; the button is
// left to the caller, who moves it on from the result. The check gives up,
// with the status of a failed check, once its time is spent or the context's
// stop flag is raised. A read that fails otherwise (NetworkError) escapes to
// the caller's failure report.
VersionCheckResult runVersionCheck(UpdateContext& context);

}  // namespace updater
