#pragma once
// Where the test prefix keeps the user's temporary directory (GetTempPathA),
// as a Linux path: the program's manifest copy lives there.
#include <string>

namespace testsupport {

// Throws std::runtime_error when the prefix has no such directory.
std::string wineTempDir();

// The program's temporary manifest copy, "update.ini" in that directory.
std::string manifestCopyPath();

}  // namespace testsupport
