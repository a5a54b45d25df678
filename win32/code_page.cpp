#include "win32/code_page.h"

#include <windows.h>

namespace updater::win32 {

// A trail byte is one that the system converts after the first lead byte
// without complaint; code pages whose trail bytes depend on the lead byte
// are not among the ANSI code pages.
Win32CodePage::Win32CodePage() {
    int firstLead = -1;
    for (int byte = 0; byte < 256; ++byte) {
        leadBytes_[byte] = IsDBCSLeadByte(static_cast<BYTE>(byte)) != FALSE;
        if (leadBytes_[byte] && firstLead < 0) firstLead = byte;
    }
    if (firstLead < 0) return;
    for (int byte = 1; byte < 256; ++byte) {
        const char pair[2] = {static_cast<char>(firstLead), static_cast<char>(byte)};
        wchar_t wide[2];
        trailBytes_[byte] = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pair, 2, wide, 2) == 1;
    }
}

std::string Win32CodePage::upperChar(std::string_view character) const {
    std::string upper(character);
    if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
}

}  // namespace updater::win32
