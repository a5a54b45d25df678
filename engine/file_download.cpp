#include "engine/file_download.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "engine/http_response.h"
#include "engine/safe_manifest_name.h"

namespace updater {

namespace {

std::string message(const UpdateContext& context, MessageId id, std::string_view arg) {
    return fillPercentS(context.services.messages.load(id), {arg});
}

// A request that cannot be sent puts the client's error text in the list.
bool sendOrList(UpdateContext& context, HttpRequest& request) {
    try {
        request.send();
        return true;
    } catch (const NetworkError& error) {
        context.view.addListLine(error.text());
        return false;
    }
}

// True when the body is the file: a 200 answer. Any other answer is listed
// and not saved, a 204 or 206 included.
bool acceptStatus(UpdateContext& context, HttpRequest& request, const std::string& file) {
    const std::string code = request.statusCode();
    if (code == "404") {
        const std::string notFound = message(context, MessageId::NotOnServer, file);
        context.view.showStatus(notFound);
        context.view.addListLine(notFound);
        return false;
    }
    if (!isDocumentStatus(code)) {
        context.view.addListLine(statusLine(request));
        return false;
    }
    return true;
}

// Whether the body is the file and its end can be known: no content coding,
// one Content-Length, and a chunked body only where SIZE or SHA256 will prove
// it whole.
bool isTrustedFraming(const BodyFraming& framing, const ExpectedContent& expected) {
    if (framing.contentCoded || framing.ambiguousLength) return false;
    return !framing.chunked || expected.promisesAnything();
}

int progressPosition(std::uint64_t received, std::uint64_t total) {
    if (received >= total) return 100;
    if (received <= std::numeric_limits<std::uint64_t>::max() / 100)
        return static_cast<int>(received * 100 / total);
    return static_cast<int>(received / (total / 100));
}

// How much the next read may take: the body ends where Content-Length says,
// so a server that keeps sending past it cannot fill the disk.
std::size_t nextReadSize(std::uint64_t received, std::uint64_t contentLength) {
    if (contentLength == 0) return kReadChunkBytes;
    if (received >= contentLength) return 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunkBytes, contentLength - received));
}

// check sees every chunk; a body longer than it expects is cut short, as it
// is refused anyway. A raised stop flag ends the transfer between two chunks.
std::uint64_t transferBody(WizardView& view, HttpRequest& request, OutputFile& file, std::uint64_t contentLength,
                           ContentCheck& check, const StopFlag* stop) {
    char buffer[kReadChunkBytes];
    std::uint64_t received = 0;
    while (const std::size_t wanted = nextReadSize(received, contentLength)) {
        if (stop && stop->requested()) throw DownloadStopped{};
        const std::size_t n = request.read(buffer, wanted);
        if (n == 0) break;
        received += n;
        if (contentLength > 0) view.setProgress(progressPosition(received, contentLength));
        if (!check.add(buffer, n)) break;
        file.write(buffer, n);
    }
    return received;
}

// Which promise a refused body broke, for the log.
void logMismatch(UpdateContext& context, const std::string& localPath, std::uint64_t received,
                 std::uint64_t contentLength, const ExpectedContent& expected) {
    std::string why = std::to_string(received) + " bytes arrived";
    if (received < contentLength)
        why += ", Content-Length " + std::to_string(contentLength);
    else if (expected.size && *expected.size != received)
        why += ", SIZE " + std::to_string(*expected.size);
    else
        why += ", SHA-256 does not match";
    eventLog(context.services).write("file " + localPath + ": download refused: " + why);
}

// Downloads the body into a download file of its own: whatever stood at its
// path (a stale file, a link, a read-only file) is replaced, never written
// through. False when the file cannot be created, or the body is shorter than
// announced or not what its section promises. Then, and when a failure
// escapes, no download file is left.
bool download(UpdateContext& context, std::unique_ptr<HttpRequest> request, std::uint64_t contentLength,
              const std::string& localPath, const std::string& downloadPath, ContentCheck& check,
              const StopFlag* stop) {
    std::unique_ptr<OutputFile> file = context.services.files.createFresh(downloadPath, ShareMode::DenyWriters);
    if (!file) {
        logFileError(context.services, localPath, "cannot create " + downloadPath);
        context.view.showErrorBox(message(context, MessageId::CannotWriteFile, localPath));
        return false;
    }
    bool whole = false;
    try {
        const std::uint64_t received = transferBody(context.view, *request, *file, contentLength, check, stop);
        file->close();
        request.reset();
        whole = received >= contentLength && check.matches();
        if (!whole) logMismatch(context, localPath, received, contentLength, check.expected());
    } catch (...) {
        file.reset();
        context.services.files.remove(downloadPath);
        throw;
    }
    if (!whole) context.services.files.remove(downloadPath);
    return whole;
}

}  // namespace

bool downloadFile(UpdateContext& context, const std::string& file, const ExpectedContent& expected,
                  const std::string& localPath, const std::string& downloadPath, const StopFlag* stop) {
    std::unique_ptr<HttpRequest> request = context.http.openGet(requestObjectName(context.settings.urlPath, file));
    if (!sendOrList(context, *request)) return false;
    context.view.showStatus(message(context, MessageId::Downloading, file));
    if (!acceptStatus(context, *request, file)) return false;
    const BodyFraming framing = readBodyFraming(*request);
    if (!isTrustedFraming(framing, expected)) {
        eventLog(context.services).write("file " + file + ": refused: its answer's end cannot be known");
        return false;
    }
    ContentCheck check(context.services.sha256, expected);
    return download(context, std::move(request), framing.contentLength, localPath, downloadPath, check, stop);
}

}  // namespace updater
