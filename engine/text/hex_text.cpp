#include "engine/text/hex_text.h"

namespace updater {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool decodeHex(std::string_view text, std::uint8_t* out, std::size_t size) {
    if (text.size() != 2 * size) return false;
    for (std::size_t i = 0; i < size; ++i) {
        const int high = hexValue(text[2 * i]);
        const int low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}

std::optional<std::string> decodeHex(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::string bytes(text.size() / 2, '\0');
    if (!decodeHex(text, reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size())) return std::nullopt;
    return bytes;
}

std::string encodeHex(const std::uint8_t* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

}  // namespace updater
