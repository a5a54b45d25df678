#pragma once
// Texts that go to a window or a box. The engine keeps them as byte strings
// in the ANSI code page; the string table and the system's messages are
// Unicode, and under a code page that lacks some of their characters (a
// Simplified Chinese text on English, Traditional Chinese or Japanese
// Windows) those characters travel as escapes that only this pair reads.
// Under code page 936 the string table needs none, so its bytes are exactly
// the ANSI ones.
#include <string>
#include <string_view>

namespace updater::win32 {

// The text in the ANSI code page; a UTF-16 unit the code page cannot hold
// exactly becomes kShownEscape and four hex digits.
std::string shownFromWide(std::wstring_view text);

// Text in another code page (the brand's values are 936) as shown text.
std::string shownFromCodePage(std::string_view text, unsigned codePage);

// The text to give a wide API: ANSI bytes converted by the code page, escapes
// decoded; an escape cut short (a text cut to its byte limit) is dropped.
std::wstring wideFromShown(std::string_view text);

// SUB, the control character for a substituted one: no name, setting or
// message of this program holds it (names refuse bytes 1 to 31).
constexpr char kShownEscape = '\x1A';

}  // namespace updater::win32
