#include "engine/profile_text.h"

namespace updater {

namespace {

bool isLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

bool isTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

// The platform converts Unicode files to code page 936 on reading. Without a
// conversion table here, ASCII passes through and every other UTF-16 unit
// becomes "?" (what the platform gives for characters outside the code page).
void appendUnit(std::string& text, char32_t unit) {
    text += unit < 0x80 ? static_cast<char>(unit) : '?';
}

void appendCodePoint(std::string& text, char32_t codePoint) {
    appendUnit(text, codePoint);
    if (codePoint > 0xFFFF) appendUnit(text, codePoint);  // a surrogate pair: two units
}

// UTF-8 with the "maximal subpart" rule: each ill-formed piece is one U+FFFD.
std::string decodeUtf8(std::string_view bytes) {
    std::string text;
    std::size_t i = 0;
    while (i < bytes.size()) {
        unsigned char first = static_cast<unsigned char>(bytes[i]);
        if (first < 0x80) {
            text += static_cast<char>(first);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t codePoint = 0;
        unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
        if (first >= 0xC2 && first <= 0xDF) {
            length = 2;
            codePoint = first & 0x1F;
        } else if (first >= 0xE0 && first <= 0xEF) {
            length = 3;
            codePoint = first & 0x0F;
            if (first == 0xE0) low = 0xA0;
            if (first == 0xED) high = 0x9F;
        } else if (first >= 0xF0 && first <= 0xF4) {
            length = 4;
            codePoint = first & 0x07;
            if (first == 0xF0) low = 0x90;
            if (first == 0xF4) high = 0x8F;
        }
        std::size_t used = 1;
        bool complete = length != 0;
        while (complete && used < length) {
            unsigned char next = i + used < bytes.size() ? static_cast<unsigned char>(bytes[i + used]) : 0;
            unsigned char lower = used == 1 ? low : 0x80, upper = used == 1 ? high : 0xBF;
            if (i + used >= bytes.size() || next < lower || next > upper) {
                complete = false;
                break;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
            ++used;
        }
        appendCodePoint(text, complete ? codePoint : 0xFFFD);
        i += used;
    }
    return text;
}

std::string decodeUtf16(std::string_view bytes, bool bigEndian) {
    std::string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        unsigned char a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        appendUnit(text, bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    return text;
}

}  // namespace

std::string normalizeAnsi(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(bytes[i]);
        if (!isLeadByte(byte)) {
            text += static_cast<char>(byte);
            continue;
        }
        unsigned char trail = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        if (trail == 0) {
            text += '?';  // a lone lead byte; a NUL after it stays
        } else if (isTrailByte(trail)) {
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

std::string decodeProfileFile(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return decodeUtf8(bytes.substr(3));
    if (bytes.substr(0, 2) == "\xFF\xFE") return decodeUtf16(bytes.substr(2), false);
    if (bytes.substr(0, 2) == "\xFE\xFF") return decodeUtf16(bytes.substr(2), true);
    return normalizeAnsi(bytes);
}

}  // namespace updater
