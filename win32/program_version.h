#pragma once
// The running program's FileVersion, from its own version record.
#include <string>

namespace updater::win32 {

// "2.0.0.2"; "unknown" when the record cannot be read.
std::string programFileVersion();

}  // namespace updater::win32
