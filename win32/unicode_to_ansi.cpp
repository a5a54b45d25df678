#include "win32/unicode_to_ansi.h"

#include <windows.h>

#include <climits>

namespace updater::win32 {

std::string Win32UnicodeToAnsi::toAnsi(std::u16string_view text) const {
    if (text.empty() || text.size() > INT_MAX / 4) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int units = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string ansi(static_cast<std::size_t>(needed), '\0');
    const int written = WideCharToMultiByte(CP_ACP, 0, wide, units, ansi.data(), needed, nullptr, nullptr);
    ansi.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return ansi;
}

}  // namespace updater::win32
