#pragma once
// The port of the update URL as it is written: the platform's URL parser
// keeps only its low 16 bits, so "http://host:65616/" would reach port 80.
#include <string_view>

namespace updater {

// Whether the URL names no port, an empty one (the scheme's default), or
// one of 0 to 65535 in decimal digits.
bool hasUsablePort(std::string_view url);

}  // namespace updater
