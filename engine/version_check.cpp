#include "engine/version_check.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "engine/http_response.h"
#include "engine/trusted_manifest.h"
#include "engine/update_manifest.h"
#include "engine/version_number.h"

namespace updater {

namespace {

// No real manifest comes near this; a larger body is not one.
constexpr std::uint64_t kManifestLimitBytes = 16u << 20;
// The check blocks the window, so it may take this long at most.
constexpr std::uint32_t kCheckLimitMs = 120000;

void showMessage(UpdateContext& context, MessageId id) {
    context.view.showStatus(context.services.messages.load(id));
}

bool trySend(HttpRequest& request) {
    try {
        request.send();
        return true;
    } catch (const NetworkError&) {
        return false;
    }
}

struct CopiedBody {
    std::uint64_t bytes = 0;
    bool oversized = false;
};

CopiedBody copyBody(HttpRequest& request, OutputFile& file) {
    char buffer[kReadChunkBytes];
    CopiedBody copied;
    while (const std::size_t n = request.read(buffer, sizeof buffer)) {
        if (copied.bytes + n > kManifestLimitBytes) {
            copied.oversized = true;
            break;
        }
        file.write(buffer, n);
        copied.bytes += n;
    }
    return copied;
}

// A copy cut short by a failure is removed before the failure goes on.
CopiedBody writeCopy(UpdateContext& context, HttpRequest& request, const std::string& copyPath) {
    std::unique_ptr<OutputFile> file = context.services.files.createOrThrow(copyPath, ShareMode::Exclusive);
    try {
        const CopiedBody copied = copyBody(request, *file);
        file->close();
        return copied;
    } catch (...) {
        file.reset();
        context.services.files.remove(copyPath);
        throw;
    }
}

// Only a 200 answer whose end is known is a manifest: no content coding,
// one Content-Length, and no chunked coding, whose cut the client cannot
// tell from its end.
bool isWholeManifestAnswer(HttpRequest& request, BodyFraming& framing) {
    if (!isDocumentStatus(request.statusCode())) return false;
    framing = readBodyFraming(request);
    return !framing.contentCoded && !framing.ambiguousLength && !framing.chunked;
}

// Writes the manifest copy; false when no whole manifest arrived. Any other
// answer creates no copy, so an earlier one stays as it was.
bool fetchManifestCopy(UpdateContext& context, const std::string& copyPath) {
    std::unique_ptr<HttpRequest> request = context.http.openGet(context.settings.urlPath + "update.ini");
    request->giveUpAfter(kCheckLimitMs);
    BodyFraming framing;
    if (!trySend(*request) || !isWholeManifestAnswer(*request, framing)) return false;

    showMessage(context, MessageId::ReadingVersion);
    const CopiedBody copied = writeCopy(context, *request, copyPath);
    request.reset();

    if (copied.oversized || copied.bytes < framing.contentLength) {
        context.services.files.remove(copyPath);
        return false;
    }
    return true;
}

std::string readNewVersion(const std::string& manifestBytes, const UpdateContext& context) {
    const UpdateManifest manifest =
        UpdateManifest::parse(manifestBytes, context.services.codePage, context.services.unicodeToAnsi);
    return manifest.productVersion(context.settings.productName).value_or("1.0");
}

}  // namespace

VersionCheckResult runVersionCheck(UpdateContext& context) {
    showMessage(context, MessageId::Connecting);
    const std::string copyPath = manifestCopyPath(context.services.tempDirectory);
    if (!fetchManifestCopy(context, copyPath)) {
        showMessage(context, MessageId::ConnectFailed);
        return {CheckOutcome::Failed, {}};
    }

    const std::optional<std::string> manifestBytes =
        trustedManifestBytes(context.services.verifier, context.services.files.readAll(copyPath));
    if (!manifestBytes) {
        // Nothing of a manifest that fails its signature is kept or offered.
        context.services.files.remove(copyPath);
        showMessage(context, MessageId::SignatureInvalid);
        return {CheckOutcome::Failed, {}};
    }
    std::string newVersion = readNewVersion(*manifestBytes, context);
    if (isNewerVersion(newVersion, context.settings.installedVersion)) {
        const std::string found = context.services.messages.load(MessageId::NewVersionFound);
        context.view.showStatus(fillPercentS(found, {context.settings.productName, newVersion}));
        return {CheckOutcome::NewerFound, std::move(newVersion)};
    }
    showMessage(context, MessageId::AlreadyNewest);
    return {CheckOutcome::AlreadyNewest, std::move(newVersion)};
}

}  // namespace updater
