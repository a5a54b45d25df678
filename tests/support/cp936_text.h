#pragma once
// The tests' UTF-8 in the program's ANSI code page 936.
#include <string>
#include <string_view>

namespace testsupport {

// Throws std::runtime_error for text that has no CP936 form.
std::string toCp936(std::string_view utf8);

}  // namespace testsupport
