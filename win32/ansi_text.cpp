#include "win32/ansi_text.h"

#include <windows.h>

#include <climits>

namespace updater::win32 {

static_assert(CP_ACP == 0, "ansiToWide passes CP_ACP as 0");

std::wstring codePageToWide(std::string_view text, unsigned codePage) {
    if (text.empty() || text.size() > INT_MAX / 2) return {};
    const int size = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (units <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), units);
    return wide;
}

std::string wideToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    std::string utf8(
        static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr)),
        '\0');
    if (!utf8.empty())
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), static_cast<int>(utf8.size()), nullptr,
                            nullptr);
    return utf8;
}

}  // namespace updater::win32
