#pragma once
// The update.ini text of a plan, written by the updater's own manifest
// writer: the product section (a whole release unless published file by
// file), the files in the plan's order, then the drops. A file's size and
// SHA-256 are for the next publication, and for every updater: each installs
// a download only when it matches the ones its section carries, and one built
// with a public key requires both. The earlier contents, patches and copy
// are optional for clients; a drop's age counts the publications since one
// had its file.
#include <string>

#include "tools/mkmanifest/publish_plan.h"

namespace mkmanifest {

std::string manifestText(const PublishPlan& plan);

}  // namespace mkmanifest
