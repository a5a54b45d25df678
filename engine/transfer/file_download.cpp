#include "engine/transfer/file_download.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "engine/transfer/http_response.h"
#include "engine/transfer/resumable_fetch.h"
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

// What the answer's body is: nothing of use, the whole file (200), or the
// rest that was asked for (a 206 for exactly that range).
enum class BodyKind { None, Whole, Rest };

// How the server answered a request for the rest; a 416 is not shown, as
// the file is then fetched whole.
RangeAnswer judgeRange(HttpRequest& request, const std::string& code, const BodyRequest& wanted) {
    if (code == "206")
        return isRestOfFile(request.contentRange(), wanted.from, wanted.expectedSize) ? RangeAnswer::Appended
                                                                                      : RangeAnswer::Wrong;
    if (code == "416") return RangeAnswer::Refused;
    return code == "200" ? RangeAnswer::Restarted : RangeAnswer::None;
}

// A 200 answer is the file. Any other answer is listed and not saved, a 204
// or a 206 that was not asked for included.
BodyKind acceptStatus(TransferContext& context, HttpRequest& request, const BodyRequest& wanted) {
    const std::string code = request.statusCode();
    const std::string& file = wanted.entryFile;
    const bool silent = wanted.silent;
    if (wanted.from > 0) {
        const RangeAnswer answer = judgeRange(request, code, wanted);
        if (wanted.rangeAnswer) *wanted.rangeAnswer = answer;
        if (answer == RangeAnswer::Appended) return BodyKind::Rest;
        if (answer == RangeAnswer::Refused) return BodyKind::None;
    }
    if (code == "404") {
        if (silent) return BodyKind::None;
        const std::string notFound = transferMessage(context, MessageId::NotOnServer, file);
        context.view.showStatus(notFound);
        context.view.addListLine(notFound);
        return BodyKind::None;
    }
    if (!isDocumentStatus(code)) {
        if (!silent) context.view.addListLine(statusLine(request));
        return BodyKind::None;
    }
    return BodyKind::Whole;
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
// held: the bytes a resumed file already had, for the bar.
Transferred transferBody(WizardView& view, HttpRequest& request, BodySink& sink, std::uint64_t contentLength,
                         std::uint64_t held, const StopFlag* stop) {
    char buffer[kReadChunkBytes];
    Transferred done;
    while (const std::size_t wanted = nextReadSize(done.received, contentLength)) {
        if (stop && stop->requested()) throw DownloadStopped{};
        const std::size_t n = request.read(buffer, wanted);
        if (n == 0) break;
        done.received += n;
        if (contentLength > 0) view.setProgress(progressPosition(held + done.received, held + contentLength));
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
    DownloadFileSink(TransferContext& context, const EntryPlan& plan, const std::string& path, bool silent)
        : CheckedFileSink(context.files, context.sha256, plan.expected, path), context_(context),
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

bool CheckedFileSink::openFrom(std::uint64_t held) {
    if (held == 0) return open();
    std::uint64_t read = 0;
    bool within = true;
    const bool readWhole = files_.readChunks(path_, [&](const char* data, std::size_t size) {
        read += size;
        within = within && check_.add(data, size);
    });
    if (readWhole && within && read == held) file_ = files_.openForAppend(path_);
    if (!file_) {
        refused_ = true;
        return false;
    }
    return true;
}

bool CheckedFileSink::take(const char* data, std::size_t size) {
    if (!check_.add(data, size)) {
        refused_ = true;
        return false;
    }
    try {
        file_->write(data, size);
    } catch (const FileError&) {
        // A full disk is not left full by what it could not take.
        refused_ = true;
        throw;
    }
    return true;
}

bool CheckedFileSink::finish() {
    try {
        file_->close();
    } catch (const FileError&) {
        refused_ = true;
        throw;
    }
    refused_ = refused_ || !check_.matches();
    return !refused_;
}

void CheckedFileSink::discard() {
    if (!file_) return;
    file_.reset();
    if (keepWhenCut_ && !refused_) return;
    files_.remove(path_);
}

bool isRestOfFile(std::string_view contentRange, std::uint64_t from, std::uint64_t size) {
    if (from >= size) return false;
    return contentRange == "bytes " + std::to_string(from) + "-" + std::to_string(size - 1) + "/" + std::to_string(size);
}

FetchEnd fetchBody(TransferContext& context, const BodyRequest& wanted, BodySink& sink) {
    std::unique_ptr<HttpRequest> request =
        context.http.openGet(requestObjectName(context.urlPath, wanted.file), wanted.cache);
    if (wanted.from > 0) request->askFrom(wanted.from);
    if (!sendOrList(context, *request, wanted.silent)) return FetchEnd::NotTaken;
    if (!wanted.statusShown || !*wanted.statusShown)
        context.view.showStatus(transferMessage(context, MessageId::Downloading, wanted.entryFile));
    if (wanted.statusShown) *wanted.statusShown = true;
    const BodyKind kind = acceptStatus(context, *request, wanted);
    if (kind == BodyKind::None) {
        logRefusal(context, wanted, statusLine(*request));
        return FetchEnd::NotTaken;
    }
    const BodyFraming framing = readBodyFraming(*request);
    if (const std::string why = framingRefusal(framing, wanted); !why.empty()) {
        ++context.refusedBodies;
        logRefusal(context, wanted, why);
        return FetchEnd::NotTaken;
    }
    const std::uint64_t held = kind == BodyKind::Rest ? wanted.from : 0;
    if (!(held > 0 ? sink.openFrom(held) : sink.open())) return FetchEnd::NotTaken;
    Transferred done;
    bool finished = false;
    try {
        done = transferBody(context.view, *request, sink, framing.contentLength, held, context.stop);
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
    return fetchResumable(context,
                          {.file = file, .entryFile = plan.entry.file, .contentProven = plan.expected.promisesAnything(),
                           .bytesProven = plan.expected.promisesEverything(), .cache = cache, .silent = silent,
                           .statusShown = statusShown},
                          plan.expected, plan.downloadPath, [&](const std::string& path) {
                              return std::make_unique<DownloadFileSink>(context, plan, path, silent);
                          });
}

}  // namespace updater
