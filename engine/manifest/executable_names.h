#pragma once
// Names derived from the running executable's full path, walked by whole
// characters so that the trail byte of a double-byte character is never
// taken for a "\" or a ".".
#include <string>
#include <string_view>

#include "engine/text/code_page.h"

namespace updater {

// Position of the last backslash; npos when there is none.
std::size_t findLastBackslash(std::string_view path, const CodePage& cp);

// Program directory of an executable path: with the final "\" kept, and without it.
std::string directoryWithSeparator(std::string_view exePath, const CodePage& cp);
std::string directoryWithoutSeparator(std::string_view exePath, const CodePage& cp);

// The file name with its extension ("Update.exe" for "...\Update.exe").
std::string programFileName(std::string_view exePath, const CodePage& cp);

// The file name without its extension ("Update" for "...\Update.exe"): the
// caption of every message box and the HTTP agent name.
std::string applicationName(std::string_view exePath, const CodePage& cp);

// The help file: the executable's path with its extension replaced by ".HLP".
std::string helpFilePath(std::string_view exePath, const CodePage& cp);

}  // namespace updater
