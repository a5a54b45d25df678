#include "win32/ole_date_parser.h"

#include <windows.h>
#include <oleauto.h>

#include <vector>

#include "win32/ansi_text.h"

namespace updater::win32 {
namespace {

constexpr LCID kUserDefaultLocale = 0x400;

}  // namespace

DateValue OleDateParser::parse(const std::string& text) {
    std::wstring wide = ansiToWide(text);
    DATE date = 0;
    const HRESULT result = VarDateFromStr(wide.data(), kUserDefaultLocale, 0, &date);
    if (result == S_OK) return {date, true};
    if (result == DISP_E_TYPEMISMATCH) return {0, false};
    if (result == DISP_E_OVERFLOW) return {-1, false};
    throw DateParserError(static_cast<unsigned long>(result));
}

}  // namespace updater::win32
