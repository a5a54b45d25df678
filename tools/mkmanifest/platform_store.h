#pragma once
// The release store of the platform the tool was built for.
#include <memory>

#include "tools/mkmanifest/release_store.h"

namespace mkmanifest {

std::unique_ptr<ReleaseStore> makePlatformStore();

}  // namespace mkmanifest
