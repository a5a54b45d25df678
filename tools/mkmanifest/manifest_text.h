#pragma once
// The update.ini text of a plan: the product section with VERSION, then
// FILE0, FILE1, ... without gaps. SIZE and SHA256 are for the next
// publication, and for every updater: each installs a download only when it
// matches the ones its section carries, and one built with a public key
// requires both.
#include <string>

#include "tools/mkmanifest/publish_plan.h"

namespace mkmanifest {

std::string manifestText(const PublishPlan& plan);

}  // namespace mkmanifest
