#pragma once
// The text of an INI file as the platform's profile lookup sees it: ANSI
// bytes in which every lead byte is followed by a valid trail byte, so that
// a byte below 0x40 is always a character of its own.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/code_page.h"
#include "engine/text/unicode_to_ansi.h"

namespace updater {

struct IniText {
    std::string text;
    // Ascending offsets of each "?" that the conversion of a Unicode file put
    // in place of a character the code page lacks. The platform compares
    // names in Unicode, so a name holding one matches no name asked for.
    std::vector<std::size_t> substitutes;

    // Whether part (a view into text) holds such a "?".
    bool hasSubstitute(std::string_view part) const;
};

// Decodes file bytes: a UTF-8 or UTF-16 byte-order mark selects that encoding,
// converted to the code page by unicodeToAnsi (without one, only ASCII
// survives and every other character reads as "?"); anything else is in the
// code page already, and is normalized as the platform converts it.
IniText decodeIniFile(std::string_view bytes, const CodePage& cp, const UnicodeToAnsi* unicodeToAnsi = nullptr);


}  // namespace updater
