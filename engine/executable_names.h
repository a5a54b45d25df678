#pragma once
// Names derived from the running executable's full path.
#include <string>
#include <string_view>

#include "engine/code_page.h"

namespace updater {

// The file name without its extension ("Update" for "...\Update.exe"): the
// caption of every message box and the HTTP agent name.
std::string applicationName(std::string_view exePath, const CodePage& cp);

// The help file: the executable's path with its extension replaced by ".HLP".
std::string helpFilePath(std::string_view exePath, const CodePage& cp);

}  // namespace updater
