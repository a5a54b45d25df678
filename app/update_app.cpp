#include "app/update_app.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "win32/cng_sha256.h"
#include "app/cng_verifier.h"
#include "app/win32_unicode_to_ansi.h"
#include "app/ole_date_parser.h"
#include "app/socket_layer.h"
#include "app/string_table_messages.h"
#include "app/system_error_text.h"
#include "app/toolhelp_process_system.h"
#include "app/update_url.h"
#include "app/win32_code_page.h"
#include "app/win32_file_system.h"
#include "engine/code_page.h"
#include "engine/executable_names.h"
#include "engine/failure_report.h"
#include "engine/local_settings.h"
#include "ui/system_paths.h"
#include "ui/update_dialog.h"

namespace updater::app {
namespace {

// The executable's path as read to find updataAdd.ini (at most 254 bytes).
constexpr std::size_t kConfigPathBufferBytes = 255;

void showUnownedBox(const std::string& text, const std::string& caption, UINT style) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

void enableCommonControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
}

}  // namespace

int UpdateApp::run() {
    const win32::Win32CodePage codePage;
    const win32::StringTableMessages messages;
    const std::string appName = applicationName(ui::modulePath(kPathBufferBytes), codePage);

    const win32::SocketLayer sockets;
    if (!sockets.ready()) {
        showUnownedBox(messages.load(MessageId::SocketInitFailed), appName, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    enableCommonControls();

    win32::Win32FileSystem files;
    win32::OleDateParser dates;
    win32::ToolhelpProcessSystem processes;
    const std::unique_ptr<UpdateVerifier> verifier = win32::embeddedKeyVerifier();
    const win32::Win32UnicodeToAnsi unicodeToAnsi;
    win32::CngSha256Source sha256;
    std::unique_ptr<ui::UpdateDialog> wizard;
    try {
        wizard = std::make_unique<ui::UpdateDialog>(
            ui::WizardServices{codePage, messages, files, dates, processes, win32::systemErrorText, appName,
                               verifier.get(), &unicodeToAnsi, &sha256});
    } catch (...) {
        // Without its HTTP session the wizard has nothing to offer.
        const FailureReport report =
            describeFailure(std::current_exception(), messages, codePage, win32::systemErrorText);
        showUnownedBox(report.text, appName, MB_OK | MB_ICONERROR);
        return 0;
    }

    const std::string directory = directoryWithoutSeparator(ui::modulePath(kConfigPathBufferBytes), codePage);
    UpdateSettings& settings = wizard->settings();
    settings = defaults_;
    readLocalSettings(files.readAll(localSettingsPath(directory)), settings, &unicodeToAnsi);
    win32::parseUpdateUrl(settings);
    if (!settings.isPlainHttp) {
        showUnownedBox(messages.load(MessageId::UrlNotHttp), appName, MB_OK | MB_ICONERROR);
        return 0;
    }

    wizard->runModal();
    return 0;
}

}  // namespace updater::app
