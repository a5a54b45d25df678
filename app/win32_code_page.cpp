#include "app/win32_code_page.h"

#include <windows.h>

namespace updater::win32 {

bool Win32CodePage::isLeadByte(unsigned char byte) const {
    return IsDBCSLeadByte(byte) != FALSE;
}

std::string Win32CodePage::upperChar(std::string_view character) const {
    std::string upper(character);
    if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
}

}  // namespace updater::win32
