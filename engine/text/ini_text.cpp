#include "engine/text/ini_text.h"

#include <algorithm>

namespace updater {

namespace {

void appendCodePoint(std::u16string& text, char32_t codePoint) {
    if (codePoint <= 0xFFFF) {
        text += static_cast<char16_t>(codePoint);
        return;
    }
    codePoint -= 0x10000;
    text += static_cast<char16_t>(0xD800 + (codePoint >> 10));
    text += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
}

// UTF-8 as the platform decodes it: continuation bytes are taken one at a
// time and each check is made as soon as it can be, so an ill-formed sequence
// becomes one U+FFFD for the bytes taken so far. A sequence longer than what
// is left of the file takes the rest of the file.
std::u16string decodeUtf8(std::string_view bytes) {
    std::u16string text;
    std::size_t i = 0;
    while (i < bytes.size()) {
        unsigned char first = static_cast<unsigned char>(bytes[i++]);
        if (first < 0x80) {
            text += static_cast<char16_t>(first);
            continue;
        }
        int following = (first >= 0xC2 && first <= 0xDF) ? 1 : (first >= 0xE0 && first <= 0xEF) ? 2
                      : (first >= 0xF0 && first <= 0xF4) ? 3 : 0;
        if (i + following > bytes.size()) {
            text += u'\uFFFD';
            break;
        }
        static const unsigned char kFirstMask[] = {0x7F, 0x1F, 0x0F, 0x07};
        char32_t value = first & kFirstMask[following];
        auto takeContinuation = [&]() {
            unsigned char bits = static_cast<unsigned char>(bytes[i]) ^ 0x80;
            if (bits >= 0x40) return false;
            value = (value << 6) | bits;
            return true;
        };
        bool valid = false;
        switch (following) {
        case 3:
            if (!takeContinuation()) break;
            ++i;
            if (value < 0x10) break;  // overlong
            [[fallthrough]];
        case 2:
            if (!takeContinuation()) break;
            if (value >= (0x110000 >> 6)) break;  // beyond Unicode: this byte stays
            ++i;
            if (value < 0x20) break;                                    // overlong
            if (value >= (0xD800 >> 6) && value <= (0xDFFF >> 6)) break;  // a surrogate
            [[fallthrough]];
        case 1:
            if (!takeContinuation()) break;
            ++i;
            valid = value >= 0x80;
            break;
        default:
            break;
        }
        appendCodePoint(text, valid ? value : 0xFFFD);
    }
    return text;
}

std::u16string decodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        unsigned char a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        text += static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    return text;
}

// Without the system's table only ASCII is known; every other unit becomes
// "?", which is what the platform gives for characters outside the code page.
std::string asciiOnly(std::u16string_view units) {
    std::string ansi;
    ansi.reserve(units.size());
    for (char16_t unit : units) ansi += unit < 0x80 ? static_cast<char>(unit) : '?';
    return ansi;
}

// The conversion gives one character per unit, so the "?"s that stand for
// other characters can be found by walking both side by side.
IniText toAnsi(std::u16string_view units, const CodePage& cp, const UnicodeToAnsi* unicodeToAnsi) {
    IniText profile{unicodeToAnsi ? unicodeToAnsi->toAnsi(units) : asciiOnly(units), {}};
    const std::string& text = profile.text;
    std::size_t pos = 0;
    for (char16_t unit : units) {
        if (pos >= text.size()) break;
        if (text[pos] == '?' && unit != u'?') profile.substitutes.push_back(pos);
        pos += charLength(text, pos, cp);
    }
    return profile;
}

}  // namespace

bool IniText::hasSubstitute(std::string_view part) const {
    const std::size_t begin = static_cast<std::size_t>(part.data() - text.data());
    auto found = std::lower_bound(substitutes.begin(), substitutes.end(), begin);
    return found != substitutes.end() && *found < begin + part.size();
}

IniText decodeIniFile(std::string_view bytes, const CodePage& cp, const UnicodeToAnsi* unicodeToAnsi) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return toAnsi(decodeUtf8(bytes.substr(3)), cp, unicodeToAnsi);
    if (bytes.substr(0, 2) == "\xFF\xFE") return toAnsi(decodeUtf16(bytes.substr(2), false), cp, unicodeToAnsi);
    if (bytes.substr(0, 2) == "\xFE\xFF") return toAnsi(decodeUtf16(bytes.substr(2), true), cp, unicodeToAnsi);
    return {normalizeText(bytes, cp), {}};
}

}  // namespace updater
