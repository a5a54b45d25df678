#pragma once
// The languages the wizard can show, and the one for a user's UI language.
#include <cstdint>

namespace updater {

enum class DisplayLanguage { SimplifiedChinese, TraditionalChinese, English, Japanese };

// The language for a Windows UI language id (LANGID): Simplified Chinese
// for China and Singapore, Traditional Chinese for Taiwan, Hong Kong and
// Macao, Japanese for Japanese, English for any other.
DisplayLanguage languageForUiLanguage(std::uint16_t uiLanguage);

}  // namespace updater
