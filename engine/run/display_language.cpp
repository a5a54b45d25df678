#include "engine/run/display_language.h"

namespace updater {

DisplayLanguage languageForUiLanguage(std::uint16_t uiLanguage) {
    constexpr std::uint16_t kJapanesePrimary = 0x11;  // the low ten bits name the language
    switch (uiLanguage) {
    case 0x0804:  // China
    case 0x1004:  // Singapore
        return DisplayLanguage::SimplifiedChinese;
    case 0x0404:  // Taiwan
    case 0x0C04:  // Hong Kong
    case 0x1404:  // Macao
        return DisplayLanguage::TraditionalChinese;
    default:
        return (uiLanguage & 0x3FF) == kJapanesePrimary ? DisplayLanguage::Japanese : DisplayLanguage::English;
    }
}

}  // namespace updater
