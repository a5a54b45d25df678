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

// Whether the body is the file and its end can be known: no content coding,
// one Content-Length, and a chunked body only where the content will be
// proven whole.
bool isTrustedFraming(const BodyFraming& framing, bool contentProven) {
    if (framing.contentCoded || framing.ambiguousLength) return false;
    return !framing.chunked || contentProven;
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

// Whether the body ran to its end with every chunk taken; a body the sink
// refuses is not read further. A raised stop flag ends the transfer between
// two chunks.
bool transferBody(WizardView& view, HttpRequest& request, BodySink& sink, std::uint64_t contentLength,
                  const StopFlag* stop) {
    char buffer[kReadChunkBytes];
    std::uint64_t received = 0;
    while (const std::size_t wanted = nextReadSize(received, contentLength)) {
        if (stop && stop->requested()) throw DownloadStopped{};
        const std::size_t n = request.read(buffer, wanted);
        if (n == 0) break;
        received += n;
        if (contentLength > 0) view.setProgress(progressPosition(received, contentLength));
        if (!sink.take(buffer, n)) return false;
    }
    return received >= contentLength;
}

// The file's own download: a file that cannot be made is shown, and a
// refused body is explained in the log.
class DownloadFileSink : public CheckedFileSink {
public:
    DownloadFileSink(TransferContext& context, const EntryPlan& plan)
        : CheckedFileSink(context.files, context.sha256, plan.expected, plan.downloadPath), context_(context),
          localPath_(plan.localPath) {}

    bool open() override {
        if (CheckedFileSink::open()) return true;
        logFileError(context_, localPath_, "cannot create " + path());
        context_.view.showErrorBox(transferMessage(context_, MessageId::CannotWriteFile, localPath_));
        return false;
    }
    // Which promise the refused body broke.
    void explainRefusal(std::uint64_t contentLength) override {
        std::string why = std::to_string(received()) + " bytes arrived";
        if (received() < contentLength)
            why += ", Content-Length " + std::to_string(contentLength);
        else if (expected().size && *expected().size != received())
            why += ", SIZE " + std::to_string(*expected().size);
        else
            why += ", SHA-256 does not match";
        context_.log.write("file " + localPath_ + ": download refused: " + why);
    }

private:
    TransferContext& context_;
    const std::string& localPath_;
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
    received_ += size;
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

bool fetchBody(TransferContext& context, const BodyRequest& wanted, BodySink& sink) {
    std::unique_ptr<HttpRequest> request = context.http.openGet(requestObjectName(context.urlPath, wanted.file));
    if (!sendOrList(context, *request, wanted.silent)) return false;
    if (!wanted.statusShown || !*wanted.statusShown)
        context.view.showStatus(transferMessage(context, MessageId::Downloading, wanted.entryFile));
    if (wanted.statusShown) *wanted.statusShown = true;
    if (!acceptStatus(context, *request, wanted.entryFile, wanted.silent)) return false;
    const BodyFraming framing = readBodyFraming(*request);
    if (!isTrustedFraming(framing, wanted.contentProven)) {
        if (!wanted.silent)
            context.log.write("file " + wanted.file + ": refused: its answer's end cannot be known");
        return false;
    }
    if (!sink.open()) return false;
    bool whole = false;
    try {
        whole = transferBody(context.view, *request, sink, framing.contentLength, context.stop);
        request.reset();
        whole = whole && sink.finish();
    } catch (...) {
        sink.discard();
        throw;
    }
    if (!whole) {
        sink.explainRefusal(framing.contentLength);
        sink.discard();
    }
    return whole;
}

bool downloadFile(TransferContext& context, const EntryPlan& plan, bool* statusShown) {
    DownloadFileSink sink(context, plan);
    return fetchBody(context, {.file = plan.entry.file, .entryFile = plan.entry.file,
                               .contentProven = plan.expected.promisesAnything(), .statusShown = statusShown},
                     sink);
}

}  // namespace updater
