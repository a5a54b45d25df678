#pragma once
// Directories and paths the system reports, as ANSI byte strings.
#include <cstddef>
#include <string>

namespace updater::ui {

// The running executable's full path, read into a buffer of bufferBytes, so
// at most bufferBytes - 1 bytes are kept.
std::string modulePath(std::size_t bufferBytes);

// The user's temporary directory, ending with a separator (260-byte buffer).
std::string temporaryDirectory();

}  // namespace updater::ui
