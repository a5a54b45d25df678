#include "engine/code_page.h"

namespace updater {

namespace {

// Double-byte lower-case ranges of GBK and the distance to their upper case.
struct FoldRange {
    unsigned first;
    unsigned last;
    unsigned upperFirst;
};

constexpr FoldRange kGbkFoldRanges[] = {
    {0xA2A1, 0xA2AA, 0xA2F1},  // small Roman numerals
    {0xA3E1, 0xA3FA, 0xA3C1},  // full-width Latin letters
    {0xA6C1, 0xA6D8, 0xA6A1},  // Greek
    {0xA7D1, 0xA7F1, 0xA7A1},  // Cyrillic
};

std::string upperDoubleByte(std::string_view character) {
    const unsigned code = static_cast<unsigned char>(character[0]) << 8 | static_cast<unsigned char>(character[1]);
    for (const FoldRange& range : kGbkFoldRanges) {
        if (code >= range.first && code <= range.last) {
            const unsigned upper = code - range.first + range.upperFirst;
            return {static_cast<char>(upper >> 8), static_cast<char>(upper & 0xFF)};
        }
    }
    return std::string(character);
}

}  // namespace

bool Cp936::isLeadByte(unsigned char byte) const {
    return byte >= 0x81 && byte <= 0xFE;
}

std::string Cp936::upperChar(std::string_view character) const {
    if (character.size() == 2 && isLeadByte(static_cast<unsigned char>(character[0])))
        return upperDoubleByte(character);
    std::string upper(character);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

bool isWellFormedCp936(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) continue;
        if (lead == 0x80 || lead == 0xFF || i + 1 == text.size()) return false;
        const auto trail = static_cast<unsigned char>(text[++i]);
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return false;
    }
    return true;
}

std::size_t charLength(std::string_view text, std::size_t pos, const CodePage& cp) {
    const bool doubleByte = pos + 1 < text.size() && cp.isLeadByte(static_cast<unsigned char>(text[pos]));
    return doubleByte ? 2 : 1;
}

std::size_t findLastBackslash(std::string_view path, const CodePage& cp) {
    std::size_t last = std::string_view::npos;
    for (std::size_t pos = 0; pos < path.size(); pos += charLength(path, pos, cp))
        if (path[pos] == '\\' && charLength(path, pos, cp) == 1) last = pos;
    return last;
}

std::string directoryWithSeparator(std::string_view exePath, const CodePage& cp) {
    const std::size_t backslash = findLastBackslash(exePath, cp);
    if (backslash == std::string_view::npos) return std::string(exePath);
    return std::string(exePath.substr(0, backslash + 1));
}

std::string directoryWithoutSeparator(std::string_view exePath, const CodePage& cp) {
    const std::size_t backslash = findLastBackslash(exePath, cp);
    if (backslash == std::string_view::npos) return std::string(exePath);
    return std::string(exePath.substr(0, backslash));
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
