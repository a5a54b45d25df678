#pragma once
// The update.ini text of a plan: the product section with VERSION (and
// WHOLE=1 for a whole release), then FILE0, FILE1, ... without gaps, then
// DROP0, DROP1, ... without gaps. SIZE and SHA256 are for the next
// publication, and for every updater: each installs a download only when it
// matches the ones its section carries, and one built with a public key
// requires both. PREVn_SIZE and PREVn_SHA256 (n from 0, the most recent
// first) are the contents published for the file before; PATCHn_BASE, _FILE,
// _SIZE, _SHA256 (n from 0) its patches, and ZFILE, ZSIZE, ZSHA256 its zlib
// copy, all optional for clients; a DROP section's
// AGE counts the publications since one had its file.
#include <string>

#include "tools/mkmanifest/publish_plan.h"

namespace mkmanifest {

std::string manifestText(const PublishPlan& plan);

}  // namespace mkmanifest
