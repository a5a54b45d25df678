// Update.exe: the switches and exit codes are in engine/run/command_line.h and
// the README's command-line table.
#include <windows.h>

#include "app/update_app.h"
#include "engine/run/command_line.h"
#include "engine/run/program_start.h"
#include "win32/program_arguments.h"

// A vendor's build may change the defaults for keys missing from
// updataAdd.ini and the boxes' caption (cmake/UpdaterBrand.cmake); the values
// are code page 936.
#ifdef UPDATER_BRANDED
#include "updater_brand.h"
#endif

namespace {

// Built once; every mode gets it whole.
updater::BrandOptions brandOptions() {
    updater::BrandOptions brand;
#ifdef UPDATER_BRAND_SOFT
    brand.defaults.productName = UPDATER_BRAND_SOFT;
#endif
#ifdef UPDATER_BRAND_VERSION
    brand.defaults.installedVersion = UPDATER_BRAND_VERSION;
#endif
#ifdef UPDATER_BRAND_URL
    brand.defaults.url = UPDATER_BRAND_URL;
#endif
#ifdef UPDATER_BRAND_BOX_CAPTION
    brand.boxCaption = UPDATER_BRAND_BOX_CAPTION;
#endif
#ifdef UPDATER_BRAND_REQUIRE_ADMIN
    brand.requireAdmin = UPDATER_BRAND_REQUIRE_ADMIN;
#endif
    // https:// update URLs, with the system's certificate checks
    // (net/wininet_connection.h).
#ifdef UPDATER_BRAND_ALLOW_HTTPS
    brand.allowHttps = UPDATER_BRAND_ALLOW_HTTPS;
#endif
    // The wizard's language, from string tables the build wrote for the brand.
#ifdef UPDATER_BRAND_TEXTS
    brand.ownTexts = true;
#endif
#ifdef UPDATER_BRAND_LANGUAGE
    brand.language = updater::DisplayLanguage::UPDATER_BRAND_LANGUAGE;
#endif
#ifdef UPDATER_BRAND_LANGUAGE_AUTO
    brand.language = std::nullopt;
#endif
    return brand;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        updater::app::UpdateApp app;
        return updater::startProgram(updater::parseCommandLine(updater::win32::programArguments()), brandOptions(),
                                     app);
    } catch (...) {
        // Nothing may end the program with an unhandled exception.
        return updater::kExitUnexpected;
    }
}
