#include "win32/ole_date_parser.h"

#include <windows.h>
#include <oleauto.h>

#include <vector>

namespace updater::win32 {
namespace {

constexpr LCID kUserDefaultLocale = 0x400;

std::wstring toWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

}  // namespace

DateValue OleDateParser::parse(const std::string& text) {
    std::wstring wide = toWide(text);
    DATE date = 0;
    const HRESULT result = VarDateFromStr(wide.data(), kUserDefaultLocale, 0, &date);
    if (result == S_OK) return {date, true};
    if (result == DISP_E_TYPEMISMATCH) return {0, false};
    if (result == DISP_E_OVERFLOW) return {-1, false};
    throw DateParserError(static_cast<unsigned long>(result));
}

}  // namespace updater::win32
