#pragma once
// What the wizard, the check and the run borrow from the platform: the
// services and places the application builds once at start-up, and for each
// action the settings, the view and the connection it works with.
#include <functional>
#include <string>

#include "engine/work/clock.h"
#include "engine/text/code_page.h"
#include "engine/work/commit_gate.h"
#include "engine/platform/date_parser.h"
#include "engine/report/event_log.h"
#include "engine/report/failure_report.h"
#include "engine/platform/file_system.h"
#include "engine/platform/http.h"
#include "engine/run/install_rights.h"
#include "engine/report/messages.h"
#include "engine/run/process_guard.h"
#include "engine/platform/sha256.h"
#include "engine/work/stop_flag.h"
#include "engine/text/unicode_to_ansi.h"
#include "engine/run/update_settings.h"
#include "engine/platform/update_verifier.h"
#include "engine/report/wizard_view.h"

namespace updater {

struct UpdateServices {
    const CodePage& codePage;
    const Messages& messages;
    HttpSession& http;
    FileSystem& files;
    DateParser& dates;
    ProcessSystem& processes;
    SystemErrorText systemErrorText;
    std::string applicationName;    // box captions: the program's name, or the brand's caption
    std::string programDirectory;   // ends with a separator
    std::string helpFile;
    // Set only in a build that carries the vendor's public key: then the
    // manifest must be signed and every download must match its hash.
    UpdateVerifier* verifier = nullptr;
    // Hashes downloads whose file section carries SHA256, in every build.
    // Without it no such download matches.
    Sha256Source* sha256 = nullptr;
    // Reads a Unicode update.ini; without it only its ASCII text is understood.
    const UnicodeToAnsi* unicodeToAnsi = nullptr;
    // The running program's file name ("Update.exe"): an entry that names it,
    // in any letter case, is the updater itself.
    std::string programFileName;
    // Decides whether Update runs here or in an elevated copy; without it
    // the run always goes on with this process's rights.
    InstallRights* installRights = nullptr;
    // Lines for support; without it nothing is logged.
    EventLog* log = nullptr;
};

inline EventLog& eventLog(const UpdateServices& services) {
    static NullEventLog none;
    return services.log ? *services.log : none;
}

// Logs "file <name>: <what>, error <code> (<text>)" with a code read where
// the call failed.
inline void logFileError(const UpdateServices& services, const std::string& file, const std::string& what,
                         unsigned long code) {
    eventLog(services).write("file " + file + ": " + what + ", " +
                             errorCodeText(code, services.systemErrorText ? services.systemErrorText(code) : ""));
}

// As above, with the file system's code for the call that just failed.
inline void logFileError(const UpdateServices& services, const std::string& file, const std::string& what) {
    logFileError(services, file, what, services.files.lastErrorCode());
}

// What a run came to, for the log's outcome line; counted as it goes, so a
// run cut short by a failure still tells what it did.
struct RunTally {
    int updated = 0;     // files put in place
    int failed = 0;      // files that could not be
    bool ended = false;  // the run reached its end, not stopped or declined at the guard
};

struct UpdateContext {
    const UpdateServices& services;
    const UpdateSettings& settings;
    WizardView& view;
    HttpConnection& http;
    // The running-product guard's hook: false stops the run before it starts.
    std::function<bool()> consultGuard = [] { return true; };
    // The check's time; the steady clock when none is given.
    Clock* clock = nullptr;
    // Raised by the window's thread when the wizard closes during the check
    // or during a whole release's downloads.
    const StopFlag* stop = nullptr;
    // Where Cancel and a whole release's commit meet; without it Cancel never
    // reaches the run.
    CommitGate* commitGate = nullptr;
    // Where a run counts its files; none counted without it.
    RunTally* tally = nullptr;
};

}  // namespace updater
