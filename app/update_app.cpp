#include "app/update_app.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string_view>
#include <vector>

#include "app/system_places.h"
#include "app/update_url.h"
#include "engine/run/command_line.h"
#include "engine/manifest/executable_names.h"
#include "engine/report/failure_report.h"
#include "engine/run/local_settings.h"
#include "engine/report/logged_http.h"
#include "engine/report/quiet_view.h"
#include "engine/release/release_recovery.h"
#include "engine/manifest/side_files.h"
#include "engine/run/update_services.h"
#include "engine/run/version_check.h"
#include "engine/work/leavable_thread.h"
#include "net/http_transfer.h"
#include "ui/update_dialog.h"
#include "win32/cng_sha256.h"
#include "win32/cng_verifier.h"
#include "win32/ansi_text.h"
#include "win32/file_event_log.h"
#include "win32/file_replacement.h"
#include "win32/folder_claim.h"
#include "win32/log_place.h"
#include "win32/ole_date_parser.h"
#include "win32/path_identity.h"
#include "win32/program_version.h"
#include "win32/running_wizard.h"
#include "win32/shell_elevated_launcher.h"
#include "win32/socket_layer.h"
#include "win32/shown_text.h"
#include "win32/string_table_messages.h"
#include "win32/system_error_text.h"
#include "win32/toolhelp_process_system.h"
#include "win32/code_page.h"
#include "win32/file_system.h"
#include "win32/unicode_to_ansi.h"
#include "win32/write_probe.h"

namespace updater::app {
namespace {

void showUnownedBox(const std::string& text, const std::string& caption, UINT style) {
    MessageBoxW(nullptr, win32::wideFromShown(text).c_str(), win32::wideFromShown(caption).c_str(), style);
}

// The brand's caption is code page 936, whatever the system's.
constexpr unsigned kBrandCodePage = 936;

RecoveryResult recoverProgramDirectory(FileSystem& files, Sha256Source& hashes, const SystemPlaces& places,
                                      const CodePage& codePage) {
    return recoverRelease(files, hashes, directoryWithSeparator(places.modulePath, codePage),
                          programFileName(places.modulePath, codePage), codePage);
}

// Each step the recovery took, and why it took none or could not finish.
void logRecovery(EventLog& log, const RecoveryResult& recovery) {
    for (const std::string& step : recovery.steps) log.write("recovery: " + step);
    if (recovery.outcome == RecoveryOutcome::Ignored)
        log.write("recovery: the journal names " + recovery.refusedName + ", no file of the updater's: left alone");
    if (recovery.outcome == RecoveryOutcome::CouldNot)
        log.write("recovery: not finished; the journal stays for the next start");
}

// Reads updataAdd.ini over the defaults. A file that cannot be read leaves
// them, as it always has; the returned line tells the log why.
std::string readSettings(win32::Win32FileSystem& files, const SystemPlaces& places, const CodePage& codePage,
                         const UnicodeToAnsi& unicodeToAnsi, UpdateSettings& settings) {
    const std::string path = localSettingsPath(directoryWithoutSeparator(places.configModulePath, codePage));
    const std::optional<std::string> bytes = files.readAll(path);
    const unsigned long code = files.lastErrorCode();
    readLocalSettings(bytes, settings, codePage, &unicodeToAnsi);
    if (bytes) return {};
    const std::optional<LocalEntry> entry = files.lookUp(path);
    if (!entry) return path + " is missing: the defaults apply";
    return path + (entry->directory ? " is a folder" : " cannot be read") + ", " +
           errorCodeText(code, win32::systemErrorText(code)) + ": the defaults apply";
}

// The log of this start: where it goes depends on strSoft, so it opens once
// the settings are read. Its first lines say what started and with what.
std::unique_ptr<win32::FileEventLog> openLog(const UpdateSettings& settings, const std::string& settingsNote,
                                             std::string_view mode, bool elevated) {
    auto log = win32::openLog(win32::parentDirectory(win32::executablePath()), settings.productName, elevated);
    const std::vector<unsigned long> unended = log->runsEndedWithoutOutcome();
    log->write("Update.exe " + win32::programFileVersion() + " " + std::string(mode) + ": strSoft=" +
               settings.productName + ", strVersion=" + settings.installedVersion + ", URL=" + settings.url);
    for (const unsigned long processId : unended) log->write(missingOutcomeLine(processId));
    if (!settingsNote.empty()) log->write(settingsNote);
    return log;
}

// The language of the wizard's texts: the brand's, or by the user's UI language.
DisplayLanguage shownLanguage(const BrandOptions& brand) {
    return brand.language ? *brand.language : languageForUiLanguage(GetUserDefaultUILanguage());
}

// The table to read: the brand's in that language, or the program's one.
std::optional<DisplayLanguage> tableLanguage(const BrandOptions& brand) {
    if (!brand.ownTexts) return std::nullopt;
    return shownLanguage(brand);
}

void writeOutcome(EventLog& log, std::string_view outcome) { log.write(std::string(kOutcomePrefix) + std::string(outcome)); }

// What the wizard and the quiet check borrow from the system alike.
struct SystemServices {
    explicit SystemServices(const BrandOptions& brand) : messages(tableLanguage(brand)) {}

    const win32::Win32CodePage codePage;
    const win32::StringTableMessages messages;
    const SystemPlaces places = readSystemPlaces();
    win32::Win32FileSystem files{directoryWithSeparator(places.modulePath, codePage)};
    const win32::Win32UnicodeToAnsi unicodeToAnsi;
    win32::OleDateParser dates;
    win32::ToolhelpProcessSystem processes;
    win32::CngSha256Source sha256;
    const std::unique_ptr<UpdateVerifier> verifier = win32::embeddedKeyVerifier();

    std::string programDirectory() const { return directoryWithSeparator(places.modulePath, codePage); }

    UpdateServices forAction(HttpSession& http, std::string applicationName, EventLog& log,
                             InstallRights* installRights) {
        return {.codePage = codePage,
                .messages = messages,
                .http = http,
                .files = files,
                .dates = dates,
                .processes = processes,
                .systemErrorText = win32::systemErrorText,
                .applicationName = std::move(applicationName),
                .programDirectory = programDirectory(),
                .helpFile = helpFilePath(places.modulePath, codePage),
                .verifier = verifier.get(),
                .sha256 = &sha256,
                .unicodeToAnsi = &unicodeToAnsi,
                .programFileName = programFileName(places.modulePath, codePage),
                .installRights = installRights,
                .log = &log};
    }
};

// What every mode starts with: updataAdd.ini read over the brand's defaults,
// and the log of this start, which also hears of paths the file system refuses.
struct LoggedStart {
    UpdateSettings settings;
    std::unique_ptr<win32::FileEventLog> log;
};

LoggedStart startLogged(SystemServices& system, const BrandOptions& brand, std::string_view mode, bool elevated) {
    LoggedStart start{brand.defaults, nullptr};
    const std::string note =
        readSettings(system.files, system.places, system.codePage, system.unicodeToAnsi, start.settings);
    start.log = openLog(start.settings, note, mode, elevated);
    system.files.reportRefusalsTo(start.log.get());
    return start;
}

// Why a mode without a window may not go on the network with these
// settings; empty when it may. The URL is parsed here.
std::string quietNetworkRefusal(const win32::SocketLayer& sockets, UpdateSettings& settings, const BrandOptions& brand) {
    if (!sockets.ready()) return "the socket layer did not start";
    parseUpdateUrl(settings);
    if (!isAcceptedScheme(settings.scheme, brand.allowHttps)) return "URL refused: its scheme is not one this build accepts";
    return {};
}

// The connection of a mode without a window: the logged HTTP session to the
// update server and the services of one action over it. Throws as the
// session and the connect do.
struct QuietConnection {
    QuietConnection(SystemServices& system, const UpdateSettings& settings, EventLog& log)
        : appName(applicationName(system.places.modulePath, system.codePage)),
          http(appName, system.codePage),
          loggedHttp(http, log, clock),
          services(system.forAction(loggedHttp, appName, log, nullptr)) {
        loggedHttp.connect(settings.server, settings.port, settings.scheme == UrlScheme::Https);
    }

    const std::string appName;
    net::HttpTransfer http;
    SteadyClock clock;
    LoggedHttpSession loggedHttp;
    const UpdateServices services;
};

void enableCommonControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
}

// A step fails with the same code for a file in use as for missing rights
// (ERROR_ACCESS_DENIED for a running program); the write probe tells them
// apart.
PendingRelease::Kind pendingKind(const RecoveryResult& recovery) {
    if (recovery.outcome != RecoveryOutcome::CouldNot) return PendingRelease::Kind::None;
    return win32::canCreateFilesIn(win32::parentDirectory(win32::executablePath())) ? PendingRelease::Kind::FilesInUse
                                                                                    : PendingRelease::Kind::NeedsRights;
}

// Builds every service the wizard and the engine use, once. A failure before
// the wizard opens ends the program with one unowned box.
int showWizard(const BrandOptions& brand, const std::optional<std::wstring>& elevatedFor,
               win32::FolderClaim& folderClaim, win32::ShellElevatedLauncher& launcher) {
    SystemServices system(brand);
    const CodePage& codePage = system.codePage;
    const Messages& messages = system.messages;
    const SystemPlaces& places = system.places;
    // Under the claim, so that no other updater is committing here. A commit
    // that cannot be finished or undone leaves the wizard only its recovery
    // to offer: here again once a file in use is closed, or in an elevated
    // copy when the folder cannot be written.
    const RecoveryResult recovery = recoverProgramDirectory(system.files, system.sha256, places, codePage);
    PendingRelease pending{pendingKind(recovery)};
    const std::string appName = applicationName(places.modulePath, codePage);
    // A brand may caption the boxes; the HTTP agent stays the program's name.
    const std::string boxCaption =
        brand.boxCaption.empty() ? appName : win32::shownFromCodePage(brand.boxCaption, kBrandCodePage);

    const win32::SocketLayer sockets;
    if (!sockets.ready()) {
        showUnownedBox(messages.load(MessageId::SocketInitFailed), boxCaption, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    enableCommonControls();

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

    LoggedStart start = startLogged(system, brand, elevatedFor ? "elevated run" : "wizard", elevatedFor.has_value());
    UpdateSettings& settings = start.settings;
    const auto& log = start.log;
    // A brand's display name, where the wizard shows strSoft; it names nothing.
    settings.displayName = messages.load(MessageId::DisplayName);
    logRecovery(*log, recovery);
    if (pending.kind == PendingRelease::Kind::NeedsRights)
        log->write("a whole release's commit is cut short and needs rights to recover");
    if (pending.kind == PendingRelease::Kind::FilesInUse)
        log->write("a whole release's commit is cut short and waits for a file in use");
    pending.retry = [&system, &places, &codePage, &log] {
        const RecoveryResult again = recoverProgramDirectory(system.files, system.sha256, places, codePage);
        logRecovery(*log, again);
        return pendingKind(again);
    };
    parseUpdateUrl(settings);
    if (!isAcceptedScheme(settings.scheme, brand.allowHttps)) {
        log->write("URL refused: its scheme is not one this build accepts");
        writeOutcome(*log, elevatedFor ? "elevated wizard failed 0" : "wizard failed 0");
        showUnownedBox(messages.load(MessageId::UrlNotHttp), boxCaption, MB_OK | MB_ICONERROR);
        return 0;
    }
    SteadyClock clock;
    LoggedHttpSession loggedHttp(*http, *log, clock);

    std::optional<std::string> elevatedVersion;
    if (elevatedFor)
        elevatedVersion = system.unicodeToAnsi.toAnsi(
            std::u16string_view(reinterpret_cast<const char16_t*>(elevatedFor->data()), elevatedFor->size()));
    InstallRights installRights({.programDirectoryWritable =
                                     [] { return win32::canCreateFilesIn(win32::parentDirectory(win32::executablePath())); },
                                 .claim = folderClaim,
                                 .launcher = launcher,
                                 .elevatedFor = std::move(elevatedVersion)});
    const UpdateServices services = system.forAction(loggedHttp, boxCaption, *log, &installRights);
    ui::UpdateDialog dialog(services, std::move(settings), std::move(pending),
                            brand.ownTexts ? shownLanguage(brand) : DisplayLanguage::SimplifiedChinese);
    dialog.runModal();
    // The flow wrote the outcome line as the window went. What a left
    // worker still uses is destroyed on the way out: end first. Process
    // exit reclaims the thread, its handles, the session and the claim.
    if (LeavableThread::anyHeldUntilExit()) ExitProcess(kExitWizardEnded);
    return kExitWizardEnded;
}

// A start that another updater's claim on the folder turns away still
// leaves its line, where that updater's log is.
int refuseHeldFolder(const BrandOptions& brand, std::string_view mode, bool elevated) {
    SystemServices system(brand);
    writeOutcome(*startLogged(system, brand, mode, elevated).log, "refused, folder held");
    return kExitFolderHeld;
}

}  // namespace

int UpdateApp::wizard(const BrandOptions& brand, const std::optional<std::wstring>& elevatedFor) {
    // One updater per program directory, claimed before anything is shown: a
    // second one brings the first to the front and ends without a window.
    win32::FolderClaim folderClaim = win32::programFolderClaim();
    if (!folderClaim.claim()) {
        win32::showRunningWizard();
        return refuseHeldFolder(brand, elevatedFor ? "elevated run" : "wizard", elevatedFor.has_value());
    }
    // A brand that wants rights for the whole wizard asks before it shows
    // anything; a refused prompt ends the program, as it would for a program
    // whose manifest requires administrator rights.
    win32::ShellElevatedLauncher launcher;
    if (brand.requireAdmin && !elevatedFor) {
        handOverToElevatedCopy(folderClaim, launcher, "");
        return kExitWizardEnded;
    }
    return showWizard(brand, elevatedFor, folderClaim, launcher);
}

int UpdateApp::recover(const BrandOptions& brand) {
    win32::FolderClaim folderClaim = win32::programFolderClaim();
    if (!folderClaim.claim()) return refuseHeldFolder(brand, "recover", false);
    SystemServices system(brand);
    const auto log = startLogged(system, brand, "recover", false).log;
    const RecoveryResult recovery =
        recoverProgramDirectory(system.files, system.sha256, system.places, system.codePage);
    logRecovery(*log, recovery);
    // A journal that names anything but the updater's own files is left
    // alone: the installation is not known to be one release.
    switch (recovery.outcome) {
    case RecoveryOutcome::CouldNot:
    case RecoveryOutcome::Ignored: writeOutcome(*log, "recover failed"); return kExitNotRecovered;
    case RecoveryOutcome::RolledBack: writeOutcome(*log, "recover back"); break;
    case RecoveryOutcome::RolledForward: writeOutcome(*log, "recover forward"); break;
    case RecoveryOutcome::NothingToDo: writeOutcome(*log, "recover nothing"); break;
    }
    return kExitRecovered;
}

// No claim on the folder: a check changes nothing there, so it neither waits
// for a running wizard nor keeps one from starting. It asks for no rights.
int UpdateApp::check(const BrandOptions& brand, const std::wstring& answerFile) {
    SystemServices system(brand);
    const CodePage& codePage = system.codePage;
    LoggedStart start = startLogged(system, brand, "check", false);
    UpdateSettings& settings = start.settings;
    const auto& log = start.log;
    auto failed = [&log](const std::string& why) {
        log->write("check failed: " + why);
        writeOutcome(*log, "check failed");
        return kExitCheckFailed;
    };

    // Until a cut commit is finished or undone the installation is no one
    // release, so its version says nothing; that is the wizard's to do.
    // An earlier version's journal lies beside the files.
    for (const std::string& journal :
         {system.programDirectory() + std::string(kWorkFolderName) + "\\" + std::string(kJournalName),
          system.programDirectory() + std::string(kJournalName)})
        if (system.files.lookUp(journal)) return failed("a whole release's commit is pending (" + journal + ")");
    const win32::SocketLayer sockets;
    if (const std::string refusal = quietNetworkRefusal(sockets, settings, brand); !refusal.empty()) return failed(refusal);
    try {
        QuietConnection connection(system, settings, *log);
        QuietView view;
        UpdateContext context{.services = connection.services,
                              .settings = settings,
                              .view = view,
                              .http = connection.loggedHttp.connection()};
        const VersionCheckResult result = runVersionCheck(context);
        if (result.outcome == CheckOutcome::Failed) {
            writeOutcome(*log, "check failed");  // after its cause
            return kExitCheckFailed;
        }
        if (result.outcome == CheckOutcome::AlreadyNewest) {
            writeOutcome(*log, "check current");
            return kExitCheckCurrent;
        }
        if (!answerFile.empty()) {
            // UTF-8 without a byte-order mark, replacing what stood there.
            const std::string answer = win32::ansiToUtf8(result.newVersion) + "\r\n";
            if (const unsigned long code = win32::replaceFileContent(answerFile, answer))
                return failed("cannot write the answer file: " + errorCodeText(code, win32::systemErrorText(code)));
        }
        writeOutcome(*log, "check newer " + result.newVersion);
        return kExitCheckNewer;
    } catch (...) {
        return failed(
            describeFailure(std::current_exception(), system.messages, codePage, win32::systemErrorText).text);
    }
}

// Update.exe /update: what Next and Update do, with no window, no box and no
// person. Recovery runs under the claim, as the wizard's does, so that it
// never meets another updater's commit. The product is never ended: a
// running one ends the run before anything changes. RequireAdmin is not
// asked for; a folder this process cannot write is its exit code.
int UpdateApp::update(const BrandOptions& brand) {
    win32::FolderClaim folderClaim = win32::programFolderClaim();
    if (!folderClaim.claim()) {
        refuseHeldFolder(brand, "update", false);
        return kExitUpdateFolderHeld;
    }
    SystemServices system(brand);
    const CodePage& codePage = system.codePage;
    LoggedStart start = startLogged(system, brand, "update", false);
    UpdateSettings& settings = start.settings;
    const auto& log = start.log;
    const auto end = [&log](const std::string& outcome, int exitCode) {
        writeOutcome(*log, "update " + outcome);
        return exitCode;
    };
    const auto failed = [&](const std::string& why, int files) {
        log->write("update failed: " + why);
        return end("failed " + std::to_string(files), kExitUpdateFailed);
    };
    const auto writable = [] { return win32::canCreateFilesIn(win32::parentDirectory(win32::executablePath())); };

    const RecoveryResult recovery = recoverProgramDirectory(system.files, system.sha256, system.places, codePage);
    logRecovery(*log, recovery);
    if (recovery.outcome == RecoveryOutcome::CouldNot) {
        if (!writable()) return end("needs rights", kExitUpdateNeedsRights);
        return failed("a whole release's commit is cut short and could not be recovered", 0);
    }
    const win32::SocketLayer sockets;
    if (const std::string refusal = quietNetworkRefusal(sockets, settings, brand); !refusal.empty())
        return failed(refusal, 0);
    RunTally tally;
    bool running = false;
    bool productRunning = false;
    try {
        QuietConnection connection(system, settings, *log);
        QuietView view;
        UpdateContext context{.services = connection.services,
                              .settings = settings,
                              .view = view,
                              .http = connection.loggedHttp.connection(),
                              .clock = &connection.clock,
                              .tally = &tally};
        const VersionCheckResult result = runVersionCheck(context);
        if (result.outcome == CheckOutcome::Failed) return end("failed 0", kExitUpdateFailed);  // after its cause
        if (result.outcome == CheckOutcome::AlreadyNewest) return end("current", kExitUpdateCurrent);
        if (!writable()) {
            log->write("the program directory cannot be written by this process");
            return end("needs rights", kExitUpdateNeedsRights);
        }
        // Asked before the downloads and again before a whole release's commit.
        context.consultGuard = [&] {
            productRunning = system.processes.findFirst([&](const std::string& exeName) {
                return isProductExecutable(exeName, settings.productName, codePage);
            }) != -1;
            if (productRunning) log->write(settings.productName + ".exe is running: nothing is changed");
            return !productRunning;
        };
        running = true;
        runUpdate(context, result.manifest, result.newVersion);
    } catch (...) {
        // A run cut short counts the file in hand as failed, as the wizard's does.
        return failed(describeFailure(std::current_exception(), system.messages, codePage, win32::systemErrorText).text,
                      tally.failed + (running ? 1 : 0));
    }
    if (productRunning) return end("product running", kExitUpdateProductRunning);
    if (tally.failed > 0 || !tally.ended) return end("failed " + std::to_string(tally.failed), kExitUpdateFailed);
    return end("updated " + std::to_string(tally.updated), kExitUpdateCurrent);
}

}  // namespace updater::app
