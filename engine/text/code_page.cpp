#include "engine/text/code_page.h"

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
        return upperDoubleByte(character);
    std::string upper(character);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

const CodePage& cp936() {
    static const Cp936 codePage;
    return codePage;
}

std::size_t charLength(std::string_view text, std::size_t pos, const CodePage& cp) {
    const bool doubleByte = pos + 1 < text.size() && cp.isLeadByte(byteAt(text, pos));
    return doubleByte ? 2 : 1;
}

bool isWellFormed(std::string_view text, const CodePage& cp) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = byteAt(text, i);
        if (byte < 0x80) continue;
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
