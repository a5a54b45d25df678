#include "engine/transfer/file_download.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "engine/transfer/http_response.h"
#include "engine/manifest/safe_manifest_name.h"

namespace updater {

namespace {

// A request that cannot be sent puts the client's error text in the list.
bool sendOrList(TransferContext& context, HttpRequest& request, bool silent) {
    try {
        request.send();
        return true;
    } catch (const NetworkError& error) {
        if (!silent) context.view.addListLine(error.text());
        return false;
    }
}

// "file <entry>: <fetched> refused: <why>", both as the manifest names them.
void logRefusal(TransferContext& context, const BodyRequest& wanted, const std::string& why) {
    context.log.write("file " + wanted.entryFile + ": " + wanted.file + " refused: " + why);
}

// True when the body is the file: a 200 answer. Any other answer is listed
// and not saved, a 204 or 206 included.
bool acceptStatus(TransferContext& context, HttpRequest& request, const std::string& file, bool silent) {
    const std::string code = request.statusCode();
    if (code == "404") {
        if (silent) return false;
        const std::string notFound = transferMessage(context, MessageId::NotOnServer, file);
        context.view.showStatus(notFound);
        context.view.addListLine(notFound);
        return false;
    }
    if (!isDocumentStatus(code)) {
        if (!silent) context.view.addListLine(statusLine(request));
        return false;
    }
    return true;
}

// Why the body cannot be taken as the file, empty when it can: a content
// coding unless size and SHA-256 prove the raw bytes, Content-Length values
// that disagree, and a chunked body unless the content will be proven whole.
std::string framingRefusal(const BodyFraming& framing, const BodyRequest& wanted) {
    if (framing.contentCoded && !wanted.bytesProven)
        return "Content-Encoding " + framing.contentCoding + ", and no SIZE and SHA256 to prove its bytes";
    if (framing.ambiguousLength) return "Content-Length headers that disagree";
    if (framing.chunked && !wanted.contentProven) return "chunked, and nothing proves where it ends";
    return "";
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

struct Transferred {
    std::uint64_t received = 0;
    bool refused = false;  // by the sink, which was then not fed further
};

// Reads the body up to its announced end, or its end when none is
// announced. A raised stop flag ends the transfer between two chunks.
Transferred transferBody(WizardView& view, HttpRequest& request, BodySink& sink, std::uint64_t contentLength,
                         const StopFlag* stop) {
    char buffer[kReadChunkBytes];
    Transferred done;
    while (const std::size_t wanted = nextReadSize(done.received, contentLength)) {
        if (stop && stop->requested()) throw DownloadStopped{};
        const std::size_t n = request.read(buffer, wanted);
        if (n == 0) break;
        done.received += n;
        if (contentLength > 0) view.setProgress(progressPosition(done.received, contentLength));
        if (!sink.take(buffer, n)) {
            done.refused = true;
            break;
        }
    }
    return done;
}

// The file's own download: unless silent, a file that cannot be made is
// shown and logged with its local path.
class DownloadFileSink : public CheckedFileSink {
public:
    DownloadFileSink(TransferContext& context, const EntryPlan& plan, bool silent)
        : CheckedFileSink(context.files, context.sha256, plan.expected, plan.downloadPath), context_(context),
          localPath_(plan.localPath), silent_(silent) {}

    bool open() override {
        if (CheckedFileSink::open()) return true;
        if (silent_) return false;
        logFileError(context_, windowsPath(localPath_), "cannot create " + windowsPath(path()));
        context_.view.showErrorBox(transferMessage(context_, MessageId::CannotWriteFile, localPath_));
        return false;
    }

private:
    TransferContext& context_;
    const std::string& localPath_;
    bool silent_;
};

}  // namespace

CheckedFileSink::CheckedFileSink(FileSystem& files, Sha256Source* hashes, const ExpectedContent& expected,
                                 std::string path)
    : files_(files), check_(hashes, expected), path_(std::move(path)) {}

bool CheckedFileSink::open() {
    file_ = files_.createFresh(path_, ShareMode::DenyWriters);
    return file_ != nullptr;
}

bool CheckedFileSink::take(const char* data, std::size_t size) {
    if (!check_.add(data, size)) return false;
    file_->write(data, size);
    return true;
}

bool CheckedFileSink::finish() {
    file_->close();
    return check_.matches();
}

void CheckedFileSink::discard() {
    if (!file_) return;
    file_.reset();
    files_.remove(path_);
}

FetchEnd fetchBody(TransferContext& context, const BodyRequest& wanted, BodySink& sink) {
    std::unique_ptr<HttpRequest> request =
        context.http.openGet(requestObjectName(context.urlPath, wanted.file), wanted.cache);
    if (!sendOrList(context, *request, wanted.silent)) return FetchEnd::NotTaken;
    if (!wanted.statusShown || !*wanted.statusShown)
        context.view.showStatus(transferMessage(context, MessageId::Downloading, wanted.entryFile));
    if (wanted.statusShown) *wanted.statusShown = true;
    if (!acceptStatus(context, *request, wanted.entryFile, wanted.silent)) {
        logRefusal(context, wanted, statusLine(*request));
        return FetchEnd::NotTaken;
    }
    const BodyFraming framing = readBodyFraming(*request);
    if (const std::string why = framingRefusal(framing, wanted); !why.empty()) {
        ++context.refusedBodies;
        logRefusal(context, wanted, why);
        return FetchEnd::NotTaken;
    }
    if (!sink.open()) return FetchEnd::NotTaken;
    Transferred done;
    bool finished = false;
    try {
        done = transferBody(context.view, *request, sink, framing.contentLength, context.stop);
        request.reset();
        finished = !done.refused && done.received >= framing.contentLength && sink.finish();
    } catch (...) {
        sink.discard();
        throw;
    }
    if (finished) return FetchEnd::Taken;
    ++context.refusedBodies;
    FetchEnd end = FetchEnd::Mismatch;
    if (!done.refused && done.received < framing.contentLength) {
        logRefusal(context, wanted, std::to_string(done.received) + " bytes arrived, Content-Length " +
                                        std::to_string(framing.contentLength));
        end = FetchEnd::NotTaken;
    } else {
        logRefusal(context, wanted, sink.mismatch());
    }
    sink.discard();
    return end;
}

FetchEnd downloadFile(TransferContext& context, const EntryPlan& plan, const std::string& file, CacheUse cache,
                      bool silent, bool* statusShown) {
    DownloadFileSink sink(context, plan, silent);
    return fetchBody(context,
                     {.file = file, .entryFile = plan.entry.file, .contentProven = plan.expected.promisesAnything(),
                      .bytesProven = plan.expected.promisesEverything(), .cache = cache, .silent = silent,
                      .statusShown = statusShown},
                     sink);
}

}  // namespace updater
