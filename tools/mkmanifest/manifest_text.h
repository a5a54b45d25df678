#pragma once
// The update.ini text of a plan: the product section with VERSION, then
// FILE0, FILE1, ... without gaps. SIZE and SHA256 are for the next
// publication, and for updaters built with a public key, which check each
// download against them; others read only FILE and VERSION.
#include <string>

#include "tools/mkmanifest/publish_plan.h"

namespace mkmanifest {

std::string manifestText(const PublishPlan& plan);

}  // namespace mkmanifest
