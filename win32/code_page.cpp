#include "win32/code_page.h"

#include <windows.h>

namespace updater::win32 {

namespace {

// A character the system maps to a C1 control or a private character is a
// byte the code page leaves undefined.
bool isDefinedCharacter(wchar_t wide) {
    return !(wide >= 0x80 && wide <= 0x9F) && !(wide >= 0xE000 && wide <= 0xF8FF);
}

}  // namespace

Win32CodePage::Win32CodePage() : known_(knownCodePage(GetACP())) {
    if (!known_) measured_.emplace();
}

// A trail byte is one that the system converts after some lead byte
// without complaint: a row may leave some pairs undefined (932's first row
// does), as it may in any row of a table page.
MeasuredCodePage::MeasuredCodePage() {
    for (int byte = 0; byte < 256; ++byte) {
        leadBytes_[byte] = IsDBCSLeadByte(static_cast<BYTE>(byte)) != FALSE;
        const char single = static_cast<char>(byte);
        wchar_t wide = 0;
        highSingleBytes_[byte] = byte >= 0x80 && !leadBytes_[byte] &&
                                 MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &single, 1, &wide, 1) == 1 &&
                                 isDefinedCharacter(wide);
    }
    for (int lead = 0x80; lead < 256; ++lead) {
        if (!leadBytes_[lead]) continue;
        for (int byte = 1; byte < 256; ++byte) {
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(byte)};
            wchar_t wide[2];
            if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pair, 2, wide, 2) == 1) trailBytes_[byte] = true;
        }
    }
}

// Names fold as the file system compares them: the character in UTF-16,
// upper-cased without regard to a language, and back to the code page when
// it has the upper-case character. The user's language (Turkish i) plays
// no part, as it plays none in the file system.
std::string MeasuredCodePage::upperChar(std::string_view character) const {
    const std::string unchanged(character);
    wchar_t wide[2];
    wchar_t upper[2];
    if (character.empty() || character.size() > 2 ||
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, character.data(), static_cast<int>(character.size()), wide,
                            2) != 1 ||
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide, 1, upper, 2) != 1 || upper[0] == wide[0])
        return unchanged;
    char bytes[2];
    BOOL defaulted = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, upper, 1, bytes, 2, nullptr, &defaulted);
    return length > 0 && !defaulted ? std::string(bytes, static_cast<std::size_t>(length)) : unchanged;
}

}  // namespace updater::win32
