#include "net/wininet_request.h"

#include <algorithm>

#include "net/network_failure.h"
#include "net/wininet_connection.h"

namespace updater::net {

namespace {

std::uint64_t nowMs() { return GetTickCount64(); }

}  // namespace

WinInetRequest::WinInetRequest(win32::RequestHandle handle, std::shared_ptr<BoundedSend> sender, std::string cacheUrl,
                               const CodePage& cp)
    : handle_(std::move(handle)), sender_(std::move(sender)), cacheUrl_(std::move(cacheUrl)), cp_(cp) {}

// With INTERNET_FLAG_NEED_FILE the answer is kept in WinInet's cache; once
// the request is closed nothing needs it, and the disk would hold every
// update twice. A request left to its sending thread keeps its entry until
// that thread closes it, and the next request of the name removes it first.
WinInetRequest::~WinInetRequest() {
    if (!handle_) return;
    handle_.reset();
    DeleteUrlCacheEntryA(cacheUrl_.c_str());
}

WinInetRequest::WinInetRequest(NetworkError openFailure, const CodePage& cp)
    : openFailure_(std::move(openFailure)), cp_(cp) {}

void WinInetRequest::throwOpenFailure() const {
    if (openFailure_) throw *openFailure_;
    throwFailure(ERROR_INVALID_HANDLE);
}

void WinInetRequest::throwFailure(DWORD code) const { throw networkError(code, cp_); }

// Headers that trickle are given up like a body that crawls: the send may
// take one crawl window. The time-out reads as the platform's own.
void WinInetRequest::send() {
    if (!handle_) throwOpenFailure();
    if (sender_) {
        const BoundedSend::Outcome outcome = sender_->send(handle_, sendLimitMs());
        if (outcome.overran) throwFailure(ERROR_INTERNET_TIMEOUT);
        if (!outcome.sent) throwFailure(outcome.errorCode);
    } else if (!HttpSendRequestA(handle_.get(), nullptr, 0, nullptr, 0)) {
        DWORD code = GetLastError();
        throwFailure(code);
    }
    crawl_.emplace(nowMs());
}

DWORD WinInetRequest::sendLimitMs() const {
    const std::uint64_t now = nowMs();
    std::uint64_t limit = CrawlRule::kWindowMs;
    if (deadlineMs_ != UINT64_MAX) limit = std::min(limit, deadlineMs_ > now ? deadlineMs_ - now : 0);
    return static_cast<DWORD>(limit);
}

void WinInetRequest::giveUpAfter(std::uint32_t milliseconds) { deadlineMs_ = nowMs() + milliseconds; }

void WinInetRequest::limitReceiveWait() {
    if (deadlineMs_ == UINT64_MAX) return;
    const std::uint64_t now = nowMs();
    // At least 1 ms: 0 would mean no time-out at all.
    const DWORD left = static_cast<DWORD>(std::clamp<std::uint64_t>(deadlineMs_ > now ? deadlineMs_ - now : 0, 1,
                                                                    kReceiveTimeoutMs));
    if (left >= kReceiveTimeoutMs && receiveTimeoutMs_ == 0) return;
    receiveTimeoutMs_ = left;
    InternetSetOptionA(handle_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeoutMs_, sizeof receiveTimeoutMs_);
}

std::string WinInetRequest::statusCode() { return queryText(HTTP_QUERY_STATUS_CODE).value_or(""); }

std::string WinInetRequest::statusText() { return queryText(HTTP_QUERY_STATUS_TEXT).value_or(""); }

// Every header, not just the first: lengths that contradict each other must be seen.
std::vector<std::string> WinInetRequest::contentLengths() {
    std::vector<std::string> values;
    DWORD index = 0;
    while (std::optional<std::string> value = queryText(HTTP_QUERY_CONTENT_LENGTH, &index)) {
        values.push_back(std::move(*value));
        if (index == 0) break;  // a client that does not count headers
    }
    return values;
}

std::string WinInetRequest::transferEncoding() {
    return queryText(HTTP_QUERY_TRANSFER_ENCODING).value_or("");
}

std::string WinInetRequest::contentEncoding() {
    return queryText(HTTP_QUERY_CONTENT_ENCODING).value_or("");
}

// First ask how many bytes the value needs, then read it into a buffer that
// size. Nothing when the header is absent or the query fails.
std::optional<std::string> WinInetRequest::queryText(DWORD infoLevel, DWORD* index) const {
    if (!handle_) return std::nullopt;
    DWORD length = 0;
    DWORD probeIndex = index ? *index : 0;
    if (HttpQueryInfoA(handle_.get(), infoLevel, nullptr, &length, &probeIndex)) {
        if (index) *index = probeIndex;
        return std::string();
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length == 0) return std::nullopt;
    std::string value(length, '\0');
    if (!HttpQueryInfoA(handle_.get(), infoLevel, value.data(), &length, index)) return std::nullopt;
    value.resize(std::min<std::size_t>(length, value.size()));
    return value;
}

// Takes what has arrived rather than waiting for a full buffer: a read that
// waits for 2048 bytes of a trickle would never time out, and could not see
// that the answer crawls.
std::size_t WinInetRequest::read(char* buffer, std::size_t size) {
    if (!handle_) throwOpenFailure();
    limitReceiveWait();
    DWORD available = 0;
    if (!InternetQueryDataAvailable(handle_.get(), &available, 0, 0)) {
        DWORD code = GetLastError();
        throwFailure(code);
    }
    DWORD got = 0;
    if (available > 0 && size > 0) {
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>({size, available, MAXDWORD}));
        if (!InternetReadFile(handle_.get(), buffer, wanted, &got)) {
            DWORD code = GetLastError();
            throwFailure(code);
        }
    }
    if (got == 0) return 0;
    const std::uint64_t now = nowMs();
    if (!crawl_) crawl_.emplace(now);
    crawl_->received(now, got);
    if (crawl_->isCrawling(now) || now > deadlineMs_) throwFailure(ERROR_INTERNET_TIMEOUT);
    return got;
}

}  // namespace updater::net
