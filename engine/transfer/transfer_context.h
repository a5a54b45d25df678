#pragma once
// What a download borrows from the run that asks for it: the connection and
// the files, the hashes, and where progress, failures and log lines go.
#include <string>
#include <string_view>

#include "engine/platform/file_system.h"
#include "engine/platform/http.h"
#include "engine/platform/sha256.h"
#include "engine/text/code_page.h"
#include "engine/report/event_log.h"
#include "engine/report/failure_report.h"
#include "engine/report/messages.h"
#include "engine/report/wizard_view.h"
#include "engine/work/stop_flag.h"

namespace updater {

struct TransferContext {
    HttpConnection& http;
    const std::string& urlPath;  // the server's folder of the manifest's files
    FileSystem& files;
    const CodePage& codePage;  // the system's: the rules for the names it fetches
    // Hashes what a file section promises by SHA256; without it no such
    // content matches.
    Sha256Source* sha256;
    const Messages& messages;
    WizardView& view;
    EventLog& log;
    const SystemErrorText& systemErrorText;
    // Looked at between two chunks; nullptr: the download is never stopped.
    const StopFlag* stop = nullptr;
    // Answers that arrived and were refused (framing or content), so that a
    // failed entry is not said to be "not fetched".
    std::size_t refusedBodies = 0;
    // A whole release's folder of cut downloads (engine/transfer/resumable_fetch.h);
    // empty: a cut download is removed, as in a run file by file.
    std::string partFolder;
};

// A local path as Windows writes it, for the log: the manifest's "/" between
// folders made "\\".
inline std::string windowsPath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// A message of the string table with its "%s" filled.
inline std::string transferMessage(const TransferContext& context, MessageId id, std::string_view arg) {
    return fillPercentS(context.messages.load(id), {arg});
}

// Logs "file <name>: <what>, error <code> (<text>)" with the file system's
// code for the call that just failed.
inline void logFileError(const TransferContext& context, const std::string& file, const std::string& what) {
    const unsigned long code = context.files.lastErrorCode();
    context.log.write("file " + file + ": " + what + ", " +
                      errorCodeText(code, context.systemErrorText ? context.systemErrorText(code) : ""));
}

}  // namespace updater
