#include "engine/text/code_page.h"

namespace updater {

namespace {

// Double-byte lower-case ranges of GBK and the distance to their upper case.
constexpr FoldRange kGbkFoldRanges[] = {
    {0xA2A1, 0xA2AA, 0xA2F1},  // small Roman numerals
    {0xA3E1, 0xA3FA, 0xA3C1},  // full-width Latin letters
    {0xA6C1, 0xA6D8, 0xA6A1},  // Greek
    {0xA7D1, 0xA7F1, 0xA7A1},  // Cyrillic
};

// Big5 as Windows has it: full-width Latin and Greek letters (Windows'
// table lacks the Cyrillic rows of the Big5 extensions).
constexpr ByteRange kCp950Leads[] = {{0x81, 0xFE}};
constexpr ByteRange kCp950Trails[] = {{0x40, 0x7E}, {0xA1, 0xFE}};
constexpr FoldRange kCp950Folds[] = {
    {0xA2E9, 0xA2FE, 0xA2CF}, {0xA340, 0xA343, 0xA2E5},  // full-width a..v, w..z
    {0xA35C, 0xA373, 0xA344},                            // Greek
};

// Shift JIS: full-width Latin, Greek, Cyrillic (around the gap at trail
// 0x7F) and the small Roman numerals of the two extension blocks.
constexpr ByteRange kCp932Leads[] = {{0x81, 0x9F}, {0xE0, 0xFC}};
constexpr ByteRange kCp932Trails[] = {{0x40, 0x7E}, {0x80, 0xFC}};
constexpr ByteRange kCp932Singles[] = {{0xA1, 0xDF}};  // half-width katakana
constexpr FoldRange kCp932Folds[] = {
    {0x8281, 0x829A, 0x8260}, {0x83BF, 0x83D6, 0x839F}, {0x8470, 0x847E, 0x8440},
    {0x8480, 0x8491, 0x844F}, {0xEEEF, 0xEEF8, 0x8754}, {0xFA40, 0xFA49, 0x8754},
};

// Windows-1252: no lead bytes; every byte a character but the five it
// leaves undefined; the Latin-1 letters and š, œ, ž, ÿ fold.
constexpr ByteRange kCp1252Singles[] = {{0x80, 0x80}, {0x82, 0x8C}, {0x8E, 0x8E}, {0x91, 0x9C}, {0x9E, 0xFF}};
constexpr FoldRange kCp1252Folds[] = {
    {0x9A, 0x9A, 0x8A}, {0x9C, 0x9C, 0x8C}, {0x9E, 0x9E, 0x8E},
    {0xE0, 0xF6, 0xC0}, {0xF8, 0xFE, 0xD8}, {0xFF, 0xFF, 0x9F},
};

bool inRanges(std::span<const ByteRange> ranges, unsigned char byte) {
    for (const ByteRange& range : ranges)
        if (byte >= range.first && byte <= range.last) return true;
    return false;
}

// The character's code, one byte or lead << 8 | trail, upper-cased by the
// table; ASCII letters fold in every code page.
std::string upperByTable(std::string_view character, std::span<const FoldRange> folds) {
    unsigned code = 0;
    for (char c : character) code = code << 8 | static_cast<unsigned char>(c);
    if (code >= 'a' && code <= 'z') return std::string(1, static_cast<char>(code - 'a' + 'A'));
    for (const FoldRange& range : folds) {
        if (code < range.first || code > range.last) continue;
        const unsigned upper = code - range.first + range.upperFirst;
        if (character.size() == 1) return std::string(1, static_cast<char>(upper));
        return {static_cast<char>(upper >> 8), static_cast<char>(upper & 0xFF)};
    }
    return std::string(character);
}

unsigned char byteAt(std::string_view text, std::size_t pos) { return static_cast<unsigned char>(text[pos]); }

}  // namespace

bool Cp936::isLeadByte(unsigned char byte) const {
    return byte >= 0x81 && byte <= 0xFE;
}

bool Cp936::isTrailByte(unsigned char byte) const {
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

std::string Cp936::upperChar(std::string_view character) const {
    if (character.size() == 2 && isLeadByte(static_cast<unsigned char>(character[0])))
        return upperByTable(character, kGbkFoldRanges);
    std::string upper(character);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

const CodePage& cp936() {
    static const Cp936 codePage;
    return codePage;
}

bool TableCodePage::isLeadByte(unsigned char byte) const { return inRanges(leads_, byte); }

bool TableCodePage::isTrailByte(unsigned char byte) const { return inRanges(trails_, byte); }

bool TableCodePage::isHighSingleByte(unsigned char byte) const {
    return byte >= 0x80 && !isLeadByte(byte) && inRanges(singles_, byte);
}

std::string TableCodePage::upperChar(std::string_view character) const {
    // A byte that is no character's whole (a lone lead byte) stays as it is.
    if (character.size() == 1 && isLeadByte(static_cast<unsigned char>(character[0]))) return std::string(character);
    return upperByTable(character, folds_);
}

const CodePage* knownCodePage(unsigned number) {
    static const TableCodePage cp950(kCp950Leads, kCp950Trails, {}, kCp950Folds);
    static const TableCodePage cp932(kCp932Leads, kCp932Trails, kCp932Singles, kCp932Folds);
    static const TableCodePage cp1252({}, {}, kCp1252Singles, kCp1252Folds);
    switch (number) {
    case 936: return &cp936();
    case 950: return &cp950;
    case 932: return &cp932;
    case 1252: return &cp1252;
    default: return nullptr;
    }
}

std::size_t charLength(std::string_view text, std::size_t pos, const CodePage& cp) {
    const bool doubleByte = pos + 1 < text.size() && cp.isLeadByte(byteAt(text, pos));
    return doubleByte ? 2 : 1;
}

bool isWellFormed(std::string_view text, const CodePage& cp) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = byteAt(text, i);
        if (byte < 0x80 || cp.isHighSingleByte(byte)) continue;
        if (!cp.isLeadByte(byte) || i + 1 == text.size() || !cp.isTrailByte(byteAt(text, ++i))) return false;
    }
    return true;
}

std::string cutToBytes(std::string_view text, std::size_t maxBytes, const CodePage& cp) {
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = end + charLength(text, end, cp);
        if (next > maxBytes) break;
        end = next;
    }
    return std::string(text.substr(0, end));
}

std::string normalizeText(std::string_view bytes, const CodePage& cp) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char byte = byteAt(bytes, i);
        if (!cp.isLeadByte(byte)) {
            text += static_cast<char>(byte);
            continue;
        }
        const unsigned char trail = i + 1 < bytes.size() ? byteAt(bytes, i + 1) : 0;
        if (trail == 0) {
            text += '?';  // a lone lead byte; a NUL after it stays
        } else if (cp.isTrailByte(trail)) {
            text += static_cast<char>(byte);
            text += static_cast<char>(trail);
            ++i;
        } else {
            text += '?';  // the pair is one unknown character, even "\n" as its second byte
            ++i;
        }
    }
    return text;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b, const CodePage& cp) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const std::size_t lengthA = charLength(a, i, cp);
        const std::size_t lengthB = charLength(b, j, cp);
        if (cp.upperChar(a.substr(i, lengthA)) != cp.upperChar(b.substr(j, lengthB))) return false;
        i += lengthA;
        j += lengthB;
    }
    return i == a.size() && j == b.size();
}

}  // namespace updater
