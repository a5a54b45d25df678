#pragma once
// Product version numbers: decimal text read as atof reads it, "." always the point.
#include <string_view>

namespace updater {

double readVersionNumber(std::string_view text);
bool isNewerVersion(std::string_view candidate, std::string_view installed);

}  // namespace updater
