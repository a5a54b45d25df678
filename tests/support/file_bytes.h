#pragma once
// Whole files as byte strings, for the tests' own bookkeeping.
#include <string>

namespace testsupport {

// The file's bytes; empty when it cannot be read.
std::string readFileBytes(const std::string& path);

// Creates the parent directories; throws std::runtime_error when it cannot write.
void writeFileBytes(const std::string& path, const std::string& bytes);

}  // namespace testsupport
