#pragma once
// One start of the program: the request from the command line, the brand's
// options built once, and the mode that runs with both. A new switch is one
// row of the command-line table, one mode here and one line of the README's
// table.
#include <optional>
#include <string>

#include "engine/run/command_line.h"
#include "engine/run/display_language.h"
#include "engine/run/update_settings.h"

namespace updater {

// What a vendor's build fixes for every mode (cmake/UpdaterBrand.cmake).
struct BrandOptions {
    // The values for keys that updataAdd.ini lacks.
    UpdateSettings defaults;
    // The boxes' caption in code page 936; empty: the program's name.
    std::string boxCaption;
    // Rights for the whole wizard, asked at start; the other modes ask none.
    bool requireAdmin = false;
    // https:// update URLs, with the system's certificate checks.
    bool allowHttps = false;
    // The wizard's language; none: the user's UI language decides.
    std::optional<DisplayLanguage> language = DisplayLanguage::SimplifiedChinese;
    // The build carries string tables of the brand's own, one per language
    // it shows, in place of the program's one table.
    bool ownTexts = false;
};

// The modes, each over the same system services; each gets the brand whole.
class StartModes {
public:
    virtual ~StartModes() = default;
    // elevatedFor: set in the elevated copy, with the version it was started for.
    virtual int wizard(const BrandOptions& brand, const std::optional<std::wstring>& elevatedFor) = 0;
    virtual int recover(const BrandOptions& brand) = 0;
    virtual int check(const BrandOptions& brand, const std::wstring& answerFile) = 0;
    virtual int update(const BrandOptions& brand) = 0;
};

// Runs the mode the request names; returns the process exit code.
int startProgram(const StartRequest& request, const BrandOptions& brand, StartModes& modes);

}  // namespace updater
