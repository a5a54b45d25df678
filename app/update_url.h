#pragma once
// Splits the configured update URL into service type, server, path and port.
#include "engine/run/update_settings.h"

namespace updater::app {

// Canonicalises settings.url in browser mode and cracks it. A URL that cannot
// be parsed leaves the scheme unusable; the caller refuses it, and https
// unless the brand allows it.
void parseUpdateUrl(UpdateSettings& settings);

}  // namespace updater::app
