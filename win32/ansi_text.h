#pragma once
// Conversions of the program's ANSI code page texts (settings, messages,
// paths) for what must be UTF-16 or UTF-8: the log, the /check answer, and
// paths under the user's profile.
#include <string>
#include <string_view>

namespace updater::win32 {

// Text in the given code page as UTF-16; "" when it cannot be converted.
std::wstring codePageToWide(std::string_view text, unsigned codePage);
inline std::wstring ansiToWide(std::string_view text) { return codePageToWide(text, 0 /* CP_ACP */); }
std::string wideToUtf8(std::wstring_view text);
inline std::string ansiToUtf8(std::string_view text) { return wideToUtf8(ansiToWide(text)); }

}  // namespace updater::win32
