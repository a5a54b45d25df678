#pragma once
// Conversions between the tests' UTF-8 and the program's ANSI code page 936.
#include <string>
#include <string_view>

namespace testsupport {

// Throws std::runtime_error for text that has no CP936 form.
std::string toCp936(std::string_view utf8);
std::string fromCp936(std::string_view cp936);

}  // namespace testsupport
