#include "engine/update_run.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "engine/content_check.h"
#include "engine/http_response.h"
#include "engine/local_content.h"
#include "engine/safe_manifest_name.h"
#include "engine/side_files.h"

namespace updater {

namespace {

// The local time is whole seconds and the manifest's comes from another
// conversion; half a second keeps equal times equal despite rounding.
constexpr double kHalfSecondInDays = 0.5 / 86400;

class WaitCursor {
public:
    explicit WaitCursor(WizardView& view) : view_(view) { view_.showWaitCursor(true); }
    ~WaitCursor() { view_.showWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    WizardView& view_;
};

std::string message(const UpdateContext& context, MessageId id, std::string_view arg) {
    return fillPercentS(context.services.messages.load(id), {arg});
}

bool isLocalFileCurrent(UpdateContext& context, const std::optional<LocalEntry>& local, const std::string& version) {
    if (!local) return false;
    // Rejected text (0) and overflow (-1) are compared like any other date.
    return context.services.dates.parse(version).value <= local->lastWriteDate + kHalfSecondInDays;
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
// is refused anyway.
std::uint64_t transferBody(WizardView& view, HttpRequest& request, OutputFile& file, std::uint64_t contentLength,
                           ContentCheck& check) {
    char buffer[kReadChunkBytes];
    std::uint64_t received = 0;
    while (const std::size_t wanted = nextReadSize(received, contentLength)) {
        const std::size_t n = request.read(buffer, wanted);
        if (n == 0) break;
        received += n;
        if (contentLength > 0) view.setProgress(progressPosition(received, contentLength));
        if (!check.add(buffer, n)) break;
        file.write(buffer, n);
    }
    return received;
}

// Downloads the body into a download file of its own: whatever stood at its
// path (a stale file, a link, a read-only file) is replaced, never written
// through. False when the file cannot be created, or the body is shorter than
// announced or not what its section promises. Then, and when a failure
// escapes, no download file is left.
bool download(UpdateContext& context, std::unique_ptr<HttpRequest> request, std::uint64_t contentLength,
              const std::string& localPath, const std::string& downloadPath, ContentCheck& check) {
    std::unique_ptr<OutputFile> file = context.services.files.createFresh(downloadPath, ShareMode::DenyWriters);
    if (!file) {
        context.view.showErrorBox(message(context, MessageId::CannotWriteFile, localPath));
        return false;
    }
    bool whole = false;
    try {
        const std::uint64_t received = transferBody(context.view, *request, *file, contentLength, check);
        file->close();
        request.reset();
        whole = received >= contentLength && check.matches();
    } catch (...) {
        file.reset();
        context.services.files.remove(downloadPath);
        throw;
    }
    if (!whole) context.services.files.remove(downloadPath);
    return whole;
}

// The running program's own file, in whatever letter case the entry names it.
bool isUpdaterItself(const UpdateContext& context, const std::string& file) {
    return !context.services.programFileName.empty() &&
           manifestNameKey(file) == manifestNameKey(context.services.programFileName);
}

// Where the running updater's new copy waits.
std::string updaterCopyPath(const UpdateContext& context) {
    return context.services.programDirectory + context.services.programFileName + ".bck";
}

// The new file takes the old one's place in one move, so a failure leaves
// the old file whole.
bool swapIn(const UpdateContext& context, const std::string& file, const std::string& downloadPath,
            const std::string& localPath) {
    FileSystem& files = context.services.files;
    // The running updater cannot replace itself: its new copy waits beside it.
    if (isUpdaterItself(context, file)) return files.replace(downloadPath, updaterCopyPath(context));
    return files.replace(downloadPath, localPath);
}

void reportResult(UpdateContext& context, const std::string& file, FileUpdateResult result) {
    if (result == FileUpdateResult::Failed) context.view.addListLine(message(context, MessageId::FileFailed, file));
    if (result == FileUpdateResult::Updated) context.view.addListLine(message(context, MessageId::FileUpdated, file));
}

// Entries that name one file between them are all refused: which of them
// would win is an accident of their order.
void updateListedFiles(UpdateContext& context, const UpdateManifest& manifest) {
    std::vector<ManifestEntry> entries;
    std::vector<std::string> names;
    while (std::optional<ManifestEntry> entry = manifest.entry(entries.size())) {
        names.push_back(entry->file);
        entries.push_back(std::move(*entry));
    }
    const std::vector<bool> sharing = namesSharingAFile(names);
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const FileUpdateResult result =
            sharing[index] ? FileUpdateResult::Failed : updateEntry(context, entries[index]);
        reportResult(context, entries[index].file, result);
    }
}

void finishRun(UpdateContext& context, const std::string& newVersion) {
    context.view.deleteFirstListLine();
    context.view.addListLine(context.settings.productName + " " + newVersion);
    // Through the view, so that the stage changes in order with the list and
    // the status line that the run shows.
    context.view.showStage(ButtonStage::Finish);
    context.view.enableButton(true);
    context.view.showStatus(context.services.messages.load(MessageId::UpdateFinished));
}

}  // namespace

void runUpdate(UpdateContext& context, const std::string& manifestBytes, const std::string& newVersion) {
    context.view.enableButton(false);
    if (!context.consultGuard()) {
        context.view.enableButton(true);
        return;
    }
    const WaitCursor waitCursor(context.view);
    const UpdateManifest manifest =
        UpdateManifest::parse(manifestBytes, context.services.codePage, context.services.unicodeToAnsi);
    updateListedFiles(context, manifest);
    finishRun(context, newVersion);
}

FileUpdateResult updateEntry(UpdateContext& context, const std::string& file, const std::string& version) {
    ManifestEntry entry;
    entry.file = file;
    entry.version = version;
    return updateEntry(context, entry);
}

FileUpdateResult updateEntry(UpdateContext& context, const ManifestEntry& entry) {
    const std::string& file = entry.file;
    if (!isSafeManifestName(file)) return FileUpdateResult::Failed;
    const std::string localPath = context.services.programDirectory + file;
    const std::optional<LocalEntry> local = context.services.files.lookUp(localPath);
    // A directory cannot become a file; nothing is asked for.
    if (local && local->directory) return FileUpdateResult::Failed;
    const std::string bckPath = isUpdaterItself(context, file) ? updaterCopyPath(context) : std::string();
    if (isEntryCurrent(context.services.files, context.services.sha256, local, localPath, entry, bckPath,
                       [&] { return isLocalFileCurrent(context, local, entry.version); }))
        return FileUpdateResult::UpToDate;

    // SIZE and SHA256 bind in every build; a keyed build needs both.
    const std::optional<ExpectedContent> expected = readExpectedContent(entry.size, entry.sha256);
    if (!expected || (context.services.verifier && !expected->promisesEverything())) return FileUpdateResult::Failed;

    std::unique_ptr<HttpRequest> request = context.http.openGet(requestObjectName(context.settings.urlPath, file));
    if (!sendOrList(context, *request)) return FileUpdateResult::Failed;
    context.view.showStatus(message(context, MessageId::Downloading, file));
    if (!acceptStatus(context, *request, file)) return FileUpdateResult::Failed;
    const BodyFraming framing = readBodyFraming(*request);
    if (!isTrustedFraming(framing, *expected)) return FileUpdateResult::Failed;

    const std::string downloadPath = localPath + std::string(kDownloadSuffix);
    ContentCheck check(context.services.sha256, *expected);
    if (!download(context, std::move(request), framing.contentLength, localPath, downloadPath, check))
        return FileUpdateResult::Failed;
    if (!swapIn(context, file, downloadPath, localPath)) return FileUpdateResult::Failed;
    context.view.showStatus(message(context, MessageId::FileUpdated, file));
    return FileUpdateResult::Updated;
}

}  // namespace updater
