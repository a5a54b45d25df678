#pragma once
// The human-readable account of a plan, for --dry-run and after publishing.
#include <string>

#include "tools/mkmanifest/publish_plan.h"

namespace mkmanifest {

// One line per file ("new", "changed", "unchanged", "removed"), then a count.
// Unchanged files are listed only when asked for.
std::string planReport(const PublishPlan& plan, bool listUnchanged);

}  // namespace mkmanifest
