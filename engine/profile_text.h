#pragma once
// The text of a profile (INI) file as the platform's profile lookup sees it:
// code page 936 bytes in which every lead byte is followed by a valid trail
// byte, so that a byte below 0x40 is always a character of its own.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/unicode_to_ansi.h"

namespace updater {

struct ProfileText {
    std::string text;
    // Ascending offsets of each "?" that the conversion of a Unicode file put
    // in place of a character the code page lacks. The platform compares
    // names in Unicode, so a name holding one matches no name asked for.
    std::vector<std::size_t> substitutes;

    // Whether part (a view into text) holds such a "?".
    bool hasSubstitute(std::string_view part) const;
};

// Decodes file bytes: a UTF-8 or UTF-16 byte-order mark selects that encoding,
// converted to code page 936 by unicodeToAnsi (without one, only ASCII
// survives and every other character reads as "?"); anything else is code
// page 936 already.
ProfileText decodeProfileFile(std::string_view bytes, const UnicodeToAnsi* unicodeToAnsi = nullptr);

// Code page 936 text as the platform converts it: a lead byte with an invalid
// trail byte (or none) becomes "?", the pair's second byte swallowed unless it
// is NUL or missing. Used for the file and for the caller's names and default.
std::string normalizeAnsi(std::string_view bytes);

// Length of the character at text[pos] in normalized text: 2 for a lead byte, else 1.
inline std::size_t profileCharLength(std::string_view text, std::size_t pos) {
    unsigned char byte = static_cast<unsigned char>(text[pos]);
    return (byte >= 0x81 && byte <= 0xFE && pos + 1 < text.size()) ? 2 : 1;
}

}  // namespace updater
