// Update.exe: the program takes no arguments and ignores any it is given.
#include <windows.h>

#include "app/update_app.h"
#include "engine/update_settings.h"

// A vendor's build may change the defaults for keys missing from
// updataAdd.ini and the boxes' caption (cmake/UpdaterBrand.cmake); the values
// are code page 936.
#ifdef UPDATER_BRANDED
#include "updater_brand.h"
#endif

namespace {

updater::UpdateSettings defaultSettings() {
    updater::UpdateSettings settings;
#ifdef UPDATER_BRAND_SOFT
    settings.productName = UPDATER_BRAND_SOFT;
#endif
#ifdef UPDATER_BRAND_VERSION
    settings.installedVersion = UPDATER_BRAND_VERSION;
#endif
#ifdef UPDATER_BRAND_URL
    settings.url = UPDATER_BRAND_URL;
#endif
    return settings;
}

// Empty: the boxes show the program's name.
const char* boxCaption() {
#ifdef UPDATER_BRAND_BOX_CAPTION
    return UPDATER_BRAND_BOX_CAPTION;
#else
    return "";
#endif
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        return updater::app::UpdateApp(defaultSettings(), boxCaption()).run();
    } catch (...) {
        // Nothing may end the program with an unhandled exception.
        return 1;
    }
}
