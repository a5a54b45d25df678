#include "engine/run/version_check.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "engine/text/byte_limits.h"
#include "engine/text/ini_file.h"
#include "engine/work/clock.h"
#include "engine/transfer/http_response.h"
#include "engine/manifest/trusted_manifest.h"
#include "engine/manifest/update_manifest.h"
#include "engine/text/version_number.h"

namespace updater {

namespace {

void showMessage(UpdateContext& context, MessageId id) {
    context.view.showStatus(context.services.messages.load(id));
}

bool stopRequested(const UpdateContext& context) { return context.stop && context.stop->requested(); }

// Why the answer is no manifest, for the log; always false.
bool refuse(UpdateContext& context, const std::string& why) {
    eventLog(context.services).write("check: no manifest taken: " + why);
    return false;
}

// What is left of the check's time. Every wait is given only that, so the
// whole check ends in time however the server paces its answer.
class CheckBudget {
public:
    explicit CheckBudget(Clock& clock) : clock_(clock), endMs_(clock.nowMs() + kCheckLimitMs) {}
    std::uint32_t remainingMs() const {
        const std::uint64_t now = clock_.nowMs();
        return now >= endMs_ ? 0 : static_cast<std::uint32_t>(endMs_ - now);
    }

private:
    Clock& clock_;
    std::uint64_t endMs_;
};

bool trySend(HttpRequest& request) {
    try {
        request.send();
        return true;
    } catch (const NetworkError&) {
        return false;
    }
}

// Only a 200 answer whose end is known is a manifest: no content coding,
// one Content-Length, and no chunked coding, whose cut the client cannot
// tell from its end.
bool isWholeManifestAnswer(UpdateContext& context, HttpRequest& request, BodyFraming& framing) {
    const std::string status = request.statusCode();
    if (!isDocumentStatus(status)) return refuse(context, "status " + status + " " + request.statusText());
    framing = readBodyFraming(request);
    if (framing.contentCoded) return refuse(context, "content coding " + request.contentEncoding());
    if (framing.ambiguousLength) return refuse(context, "more than one Content-Length");
    if (framing.chunked) return refuse(context, "chunked, its end unknown");
    return true;
}

// The body, up to the cap; nothing when it is over the cap, the budget ran
// out or the wizard is closing. A read that fails for another reason
// escapes to the failure report.
std::optional<std::string> readBody(UpdateContext& context, HttpRequest& request, const CheckBudget& budget) {
    std::string body;
    char buffer[kReadChunkBytes];
    for (;;) {
        if (stopRequested(context) || budget.remainingMs() == 0) {
            refuse(context, stopRequested(context) ? "stopped" : "time spent");
            return std::nullopt;
        }
        request.giveUpAfter(budget.remainingMs());
        std::size_t n = 0;
        try {
            n = request.read(buffer, sizeof buffer);
        } catch (const NetworkError&) {
            if (budget.remainingMs() > 0 && !stopRequested(context)) throw;
            refuse(context, stopRequested(context) ? "stopped" : "time spent");
            return std::nullopt;
        }
        if (n == 0) return body;
        if (body.size() + n > kManifestLimitBytes) {
            refuse(context, "over " + std::to_string(kManifestLimitBytes) + " bytes");
            return std::nullopt;
        }
        body.append(buffer, n);
    }
}

// The manifest as the server sent it; nothing when no whole manifest arrived.
std::optional<std::string> fetchManifest(UpdateContext& context) {
    SteadyClock steadyClock;
    const CheckBudget budget(context.clock ? *context.clock : steadyClock);
    std::unique_ptr<HttpRequest> request = context.http.openGet(context.settings.urlPath + "update.ini", CacheUse::NoCache);
    request->giveUpAfter(budget.remainingMs());
    BodyFraming framing;
    if (!trySend(*request) || !isWholeManifestAnswer(context, *request, framing)) return std::nullopt;

    showMessage(context, MessageId::ReadingVersion);
    std::optional<std::string> body = readBody(context, *request, budget);
    if (body && body->size() < framing.contentLength) {
        refuse(context, std::to_string(body->size()) + " of " + std::to_string(framing.contentLength) + " bytes");
        return std::nullopt;
    }
    return body;
}

// Why an answer is not a manifest at all, such as the login page of a
// hotel's network: it has no section line, or it starts with markup.
// Nothing when it may be one.
std::optional<std::string> notAManifest(const std::string& bytes, const UpdateContext& context) {
    std::string_view text = bytes;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const std::size_t first = text.find_first_not_of(" \t\r\n\v\f\x1A");
    if (first != std::string_view::npos && text[first] == '<') return "not a manifest (an HTML page)";
    if (!IniFile::parse(bytes, context.services.codePage, context.services.unicodeToAnsi).hasSectionLine())
        return "not a manifest";
    return std::nullopt;
}

std::string readNewVersion(const std::string& manifestBytes, const UpdateContext& context) {
    const UpdateManifest manifest =
        UpdateManifest::parse(manifestBytes, context.services.codePage, context.services.unicodeToAnsi);
    return manifest.productVersion(context.settings.productName).value_or("1.0");
}

}  // namespace

VersionCheckResult runVersionCheck(UpdateContext& context) {
    showMessage(context, MessageId::Connecting);
    std::optional<std::string> answer = fetchManifest(context);
    if (answer) {
        // Read as a manifest, such a page would offer nothing or fail its
        // signature: neither is true of the update.
        if (const std::optional<std::string> why = notAManifest(*answer, context)) {
            refuse(context, *why);
            answer.reset();
        }
    }
    if (!answer) {
        eventLog(context.services).write("check failed: no manifest");
        showMessage(context, MessageId::ConnectFailed);
        return {};
    }
    std::optional<std::string> manifest = trustedManifestBytes(context.services.verifier, answer);
    if (!manifest) {
        // Nothing of a manifest that fails its signature is kept or offered.
        eventLog(context.services).write("check: the manifest's signature is missing or does not verify");
        showMessage(context, MessageId::SignatureInvalid);
        return {};
    }
    std::string newVersion = readNewVersion(*manifest, context);
    eventLog(context.services)
        .write("check: published " + newVersion + ", installed " + context.settings.installedVersion);
    if (isNewerVersion(newVersion, context.settings.installedVersion)) {
        const std::string found = context.services.messages.load(MessageId::NewVersionFound);
        context.view.showStatus(fillPercentS(found, {context.settings.shownName(), newVersion}));
        return {CheckOutcome::NewerFound, std::move(newVersion), std::move(*manifest)};
    }
    showMessage(context, MessageId::AlreadyNewest);
    return {CheckOutcome::AlreadyNewest, std::move(newVersion), {}};
}

}  // namespace updater
