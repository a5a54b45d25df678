// Update.exe: the switches and exit codes are in engine/run/command_line.h and
// the README's command-line table.
#include <windows.h>

#include <utility>

#include "app/update_app.h"
#include "engine/run/command_line.h"
#include "engine/run/update_settings.h"
#include "win32/program_arguments.h"

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

// The brand's RequireAdmin=1: rights for the whole wizard, asked at start.
constexpr bool kRequireAdmin =
#ifdef UPDATER_BRAND_REQUIRE_ADMIN
    UPDATER_BRAND_REQUIRE_ADMIN;
#else
    false;
#endif

// The brand's AllowHttps=1: https:// update URLs, with the system's
// certificate checks (net/wininet_connection.h).
constexpr bool kAllowHttps =
#ifdef UPDATER_BRAND_ALLOW_HTTPS
    UPDATER_BRAND_ALLOW_HTTPS;
#else
    false;
#endif

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
        const updater::CommandLine command = updater::parseCommandLine(updater::win32::programArguments());
        updater::app::RightsAtStart rights;
        rights.requireAdmin = kRequireAdmin;
        switch (command.action) {
            case updater::CommandSwitch::None: break;  // the wizard, the arguments ignored
            case updater::CommandSwitch::ElevatedRun: rights.elevatedFor = command.argument; break;
            case updater::CommandSwitch::Recover:
                return updater::app::UpdateApp(defaultSettings(), boxCaption(), {}, kAllowHttps).recover();
            case updater::CommandSwitch::Check:
                try {
                    return updater::app::UpdateApp(defaultSettings(), boxCaption(), {}, kAllowHttps).check(command.argument);
                } catch (...) {
                    // 1 would claim a newer version.
                    return updater::kExitCheckFailed;
                }
        }
        return updater::app::UpdateApp(defaultSettings(), boxCaption(), std::move(rights), kAllowHttps).run();
    } catch (...) {
        // Nothing may end the program with an unhandled exception.
        return updater::kExitUnexpected;
    }
}
