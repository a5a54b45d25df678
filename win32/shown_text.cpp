#include "win32/shown_text.h"

#include <windows.h>

#include "win32/ansi_text.h"

namespace updater::win32 {
namespace {

constexpr std::size_t kEscapeDigits = 4;
constexpr char kHexDigits[] = "0123456789ABCDEF";

// The bytes of one unit in the ANSI code page, or "" when it does not come
// back unchanged (no best fit: 载 must not turn into 載).
std::string exactAnsi(wchar_t unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF) return {};  // half a pair has no ANSI form
    char bytes[8];
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &unit, 1, bytes, sizeof bytes, nullptr, nullptr);
    if (length <= 0) return {};
    wchar_t back[2];
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, length, back, 2) != 1 || back[0] != unit) return {};
    return std::string(bytes, static_cast<std::size_t>(length));
}

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

}  // namespace

std::string shownFromWide(std::wstring_view text) {
    std::string shown;
    shown.reserve(text.size() * 2);
    for (const wchar_t unit : text) {
        const std::string ansi = unit < 0x80 ? std::string(1, static_cast<char>(unit)) : exactAnsi(unit);
        if (!ansi.empty()) {
            shown += ansi;
            continue;
        }
        shown += kShownEscape;
        for (int shift = 12; shift >= 0; shift -= 4) shown += kHexDigits[(unit >> shift) & 0xF];
    }
    return shown;
}

std::string shownFromCodePage(std::string_view text, unsigned codePage) {
    return shownFromWide(codePageToWide(text, codePage));
}

std::wstring wideFromShown(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    std::size_t runStart = 0;
    for (std::size_t pos = text.find(kShownEscape); pos != std::string_view::npos;
         pos = text.find(kShownEscape, runStart)) {
        wide += ansiToWide(text.substr(runStart, pos - runStart));
        int unit = 0;
        std::size_t digits = 0;
        for (; digits < kEscapeDigits && pos + 1 + digits < text.size(); ++digits) {
            const int value = hexValue(text[pos + 1 + digits]);
            if (value < 0) break;
            unit = unit * 16 + value;
        }
        if (digits == kEscapeDigits) wide += static_cast<wchar_t>(unit);
        runStart = pos + 1 + digits;
    }
    wide += ansiToWide(text.substr(runStart));
    return wide;
}

}  // namespace updater::win32
