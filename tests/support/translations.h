#pragma once
// The wizard's texts in each language, from the table the build writes a
// brand's string tables from (res/translations.ini), in UTF-8.
#include <string>

namespace testsupport {

// language: zh-CN, zh-TW, en or ja; row: a string id ("112") or Title,
// Installed, Next, Cancel. "\n" in the table is a line break here. A row or
// language the table lacks throws std::out_of_range.
std::string translated(const std::string& language, const std::string& row);

}  // namespace testsupport
