#include "app/update_app.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "app/system_places.h"
#include "app/update_url.h"
#include "engine/command_line.h"
#include "engine/executable_names.h"
#include "engine/failure_report.h"
#include "engine/local_settings.h"
#include "engine/release_recovery.h"
#include "engine/update_services.h"
#include "net/http_transfer.h"
#include "ui/update_dialog.h"
#include "win32/cng_sha256.h"
#include "win32/cng_verifier.h"
#include "win32/folder_claim.h"
#include "win32/ole_date_parser.h"
#include "win32/path_identity.h"
#include "win32/running_wizard.h"
#include "win32/shell_elevated_launcher.h"
#include "win32/socket_layer.h"
#include "win32/shown_text.h"
#include "win32/string_table_messages.h"
#include "win32/system_error_text.h"
#include "win32/toolhelp_process_system.h"
#include "win32/win32_code_page.h"
#include "win32/win32_file_system.h"
#include "win32/win32_unicode_to_ansi.h"
#include "win32/write_probe.h"

namespace updater::app {
namespace {

void showUnownedBox(const std::string& text, const std::string& caption, UINT style) {
    MessageBoxW(nullptr, win32::wideFromShown(text).c_str(), win32::wideFromShown(caption).c_str(), style);
}

// The brand's caption is code page 936, whatever the system's.
constexpr unsigned kBrandCodePage = 936;

RecoveryOutcome recoverProgramDirectory(FileSystem& files, const SystemPlaces& places, const CodePage& codePage) {
    return recoverRelease(files, directoryWithSeparator(places.modulePath, codePage),
                          programFileName(places.modulePath, codePage))
        .outcome;
}

void enableCommonControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
}

}  // namespace

// Builds every service the wizard and the engine use, once. A failure before
// the wizard opens ends the program with one unowned box.
int UpdateApp::run() {
    // One updater per program directory, claimed before anything is shown: a
    // second one brings the first to the front and ends without a window.
    win32::FolderClaim folderClaim = win32::programFolderClaim();
    if (!folderClaim.claim()) {
        win32::showRunningWizard();
        return kExitFolderHeld;
    }
    // A brand that wants rights for the whole wizard asks before it shows
    // anything; a refused prompt ends the program, as it would for a program
    // whose manifest requires administrator rights.
    win32::ShellElevatedLauncher launcher;
    if (rights_.requireAdmin && !rights_.elevatedFor) {
        handOverToElevatedCopy(folderClaim, launcher, "");
        return kExitWizardEnded;
    }

    const win32::Win32CodePage codePage;
    const win32::StringTableMessages messages;
    const SystemPlaces places = readSystemPlaces();
    win32::Win32FileSystem files;
    // Under the claim, so that no other updater is committing here. A commit
    // that cannot be finished or undone (no rights to the folder) leaves the
    // wizard with nothing to offer.
    const bool releasePending = recoverProgramDirectory(files, places, codePage) == RecoveryOutcome::CouldNot;
    const std::string appName = applicationName(places.modulePath, codePage);
    // A brand may caption the boxes; the HTTP agent stays the program's name.
    const std::string boxCaption = boxCaption_.empty() ? appName : win32::shownFromCodePage(boxCaption_, kBrandCodePage);

    const win32::SocketLayer sockets;
    if (!sockets.ready()) {
        showUnownedBox(messages.load(MessageId::SocketInitFailed), boxCaption, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    enableCommonControls();

    win32::OleDateParser dates;
    win32::ToolhelpProcessSystem processes;
    const std::unique_ptr<UpdateVerifier> verifier = win32::embeddedKeyVerifier();
    const win32::Win32UnicodeToAnsi unicodeToAnsi;
    win32::CngSha256Source sha256;
    std::unique_ptr<net::HttpTransfer> http;
    try {
        http = std::make_unique<net::HttpTransfer>(appName, codePage);
    } catch (...) {
        // Without its HTTP session the wizard has nothing to offer.
        const FailureReport report =
            describeFailure(std::current_exception(), messages, codePage, win32::systemErrorText);
        showUnownedBox(report.text, boxCaption, MB_OK | MB_ICONERROR);
        return 0;
    }

    UpdateSettings settings = defaults_;
    const std::string configDirectory = directoryWithoutSeparator(places.configModulePath, codePage);
    readLocalSettings(files.readAll(localSettingsPath(configDirectory)), settings, codePage, &unicodeToAnsi);
    parseUpdateUrl(settings);
    if (!settings.isPlainHttp) {
        showUnownedBox(messages.load(MessageId::UrlNotHttp), boxCaption, MB_OK | MB_ICONERROR);
        return 0;
    }

    std::optional<std::string> elevatedFor;
    if (rights_.elevatedFor)
        elevatedFor = unicodeToAnsi.toAnsi(std::u16string_view(
            reinterpret_cast<const char16_t*>(rights_.elevatedFor->data()), rights_.elevatedFor->size()));
    InstallRights installRights({.programDirectoryWritable =
                                     [] { return win32::canCreateFilesIn(win32::parentDirectory(win32::executablePath())); },
                                 .claim = folderClaim,
                                 .launcher = launcher,
                                 .elevatedFor = std::move(elevatedFor)});
    const UpdateServices services{.codePage = codePage,
                                  .messages = messages,
                                  .http = *http,
                                  .files = files,
                                  .dates = dates,
                                  .processes = processes,
                                  .systemErrorText = win32::systemErrorText,
                                  .applicationName = boxCaption,
                                  .programDirectory = directoryWithSeparator(places.modulePath, codePage),
                                  .helpFile = helpFilePath(places.modulePath, codePage),
                                  .verifier = verifier.get(),
                                  .sha256 = &sha256,
                                  .unicodeToAnsi = &unicodeToAnsi,
                                  .programFileName = programFileName(places.modulePath, codePage),
                                  .installRights = &installRights};
    ui::UpdateDialog dialog(services, std::move(settings), releasePending);
    dialog.runModal();
    // What a left worker still uses is destroyed on the way out: end first.
    // Process exit reclaims the thread, its handles, the session and the claim.
    if (dialog.leftWorkBehind()) ExitProcess(kExitWizardEnded);
    return kExitWizardEnded;
}

int UpdateApp::recover() {
    win32::FolderClaim folderClaim = win32::programFolderClaim();
    if (!folderClaim.claim()) return kExitFolderHeld;
    const win32::Win32CodePage codePage;
    win32::Win32FileSystem files;
    // A journal that names anything but the updater's own files is left
    // alone: the installation is not known to be one release.
    switch (recoverProgramDirectory(files, readSystemPlaces(), codePage)) {
    case RecoveryOutcome::CouldNot:
    case RecoveryOutcome::Ignored: return kExitNotRecovered;
    default: return kExitRecovered;
    }
}

}  // namespace updater::app
