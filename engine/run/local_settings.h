#pragma once
// updataAdd.ini beside the executable: section Server, keys strSoft,
// strVersion and URL. Read only, never written.
#include <optional>
#include <string>
#include <string_view>

#include "engine/text/code_page.h"
#include "engine/text/unicode_to_ansi.h"
#include "engine/run/update_settings.h"

namespace updater {

// Path of the file: program directory without separator + "/updataAdd.ini".
std::string localSettingsPath(std::string_view programDirectoryWithoutSeparator);

// Fills product name, installed version and URL from the file's bytes. A
// missing file (nothing) or a missing key keeps the value settings holds (the
// default); a key present with an empty value gives empty text. Each value
// keeps at most 99 bytes.
// The text is in the code page cp; unicodeToAnsi reads a file saved as UTF-8
// or UTF-16 (see IniFile::parse).
void readLocalSettings(const std::optional<std::string>& fileBytes, UpdateSettings& settings, const CodePage& cp,
                       const UnicodeToAnsi* unicodeToAnsi = nullptr);

}  // namespace updater
