#include "net/wininet_request.h"

#include <algorithm>
#include <functional>

#include "net/network_failure.h"

namespace updater::net {

namespace {

std::uint64_t nowMs() { return GetTickCount64(); }

}  // namespace

WinInetRequest::WinInetRequest(win32::RequestHandle handle, SessionShare share, std::string cacheUrl,
                               const CodePage& cp)
    : handle_(std::move(handle)), share_(std::move(share)), cacheUrl_(std::move(cacheUrl)), cp_(cp) {}

WinInetRequest::WinInetRequest(NetworkError openFailure, const CodePage& cp)
    : openFailure_(std::move(openFailure)), cp_(cp) {}

// With INTERNET_FLAG_NEED_FILE the answer is kept in WinInet's cache; once
// the request is closed nothing needs it, and the disk would hold every
// update twice. A request left to the sending thread keeps its entry until
// the next request of the name removes it first.
WinInetRequest::~WinInetRequest() {
    if (!handle_ || !share_.gate) return;
    if (const CallGate::Pass pass = share_.gate->enter()) {
        handle_.reset();
        DeleteUrlCacheEntryA(cacheUrl_.c_str());
    } else {
        handle_.release();
    }
}

CallGate::Pass WinInetRequest::enterSession() const {
    CallGate::Pass pass = share_.gate ? share_.gate->enter() : CallGate::Pass();
    if (!pass) throwFailure(ERROR_INVALID_HANDLE);
    return pass;
}

void WinInetRequest::throwOpenFailure() const {
    if (openFailure_) throw *openFailure_;
    throwFailure(ERROR_INVALID_HANDLE);
}

void WinInetRequest::throwFailure(DWORD code) const { throw networkError(code, cp_); }

void WinInetRequest::send() {
    if (!handle_) throwOpenFailure();
    if (share_.stop && share_.stop->requested()) throwFailure(ERROR_INTERNET_OPERATION_CANCELLED);
    if (share_.sender) {
        sendBounded();
    } else {
        const CallGate::Pass pass = enterSession();
        if (!HttpSendRequestA(handle_.get(), nullptr, 0, nullptr, 0)) {
            DWORD code = GetLastError();
            throwFailure(code);
        }
    }
    crawl_.emplace(nowMs());
}

// Headers that trickle are given up like a body that crawls: the send may
// take one crawl window. The time-out reads as the platform's own. A send
// given up is left with its request to the sending thread.
void WinInetRequest::sendBounded() {
    callBounded([](HINTERNET request) { return HttpSendRequestA(request, nullptr, 0, nullptr, 0) != FALSE; },
                sendLimitMs());
}

// Runs call on the sending thread, waiting at most limitMs; a call given up
// is left with its request to that thread, which closes it once it returns.
// The failure's text is gathered on the thread that made the call.
void WinInetRequest::callBounded(const std::function<bool(HINTERNET)>& call, std::uint32_t limitMs) {
    const HINTERNET request = handle_.get();
    const std::shared_ptr<CallGate> gate = share_.gate;
    BoundedSend::Call bounded;
    bounded.send = [request, gate, call] {
        const CallGate::Pass pass = gate->enter();
        if (!pass) return SendResult{false, ERROR_INVALID_HANDLE, {}};
        if (call(request)) return SendResult{true, ERROR_SUCCESS, {}};
        FailedCall failure = captureFailure(GetLastError());
        return SendResult{false, failure.code, std::move(failure.lastResponse)};
    };
    bounded.cleanUp = [request, gate] {
        if (const CallGate::Pass pass = gate->enter()) InternetCloseHandle(request);
    };
    const BoundedSend::Outcome outcome = share_.sender->send(std::move(bounded), limitMs, stopFlag());
    if (outcome.end != BoundedSend::End::Returned) leaveCall(outcome.end);
    if (!outcome.result.sent) throw networkError(FailedCall{outcome.result.errorCode, outcome.result.lastResponse}, cp_);
}

void WinInetRequest::leaveCall(BoundedSend::End end) {
    switch (end) {
    case BoundedSend::End::Refused:
        // One caller at a time: a second call would race the first.
        throwFailure(ERROR_BUSY);
    case BoundedSend::End::Stopped:
        handle_.release();
        throwFailure(ERROR_INTERNET_OPERATION_CANCELLED);
    default:
        handle_.release();
        throwFailure(ERROR_INTERNET_TIMEOUT);
    }
}

const StopFlag& WinInetRequest::stopFlag() const {
    static const StopFlag neverStopped;
    return share_.stop ? *share_.stop : neverStopped;
}

// A request with a deadline (the check's, which has one budget in all) waits
// for its body on the sending thread: a wait for the socket cannot be cut
// short from outside, and under Wine a receive time-out set on the request
// after the send does not shorten it (measured). Other requests wait here,
// bounded by the connection's receive time-out and the crawl rule.
DWORD WinInetRequest::waitForData() {
    if (deadlineMs_ == UINT64_MAX || !share_.sender) {
        const CallGate::Pass pass = enterSession();
        DWORD available = 0;
        if (!InternetQueryDataAvailable(handle_.get(), &available, 0, 0)) {
            DWORD code = GetLastError();
            throwFailure(code);
        }
        return available;
    }
    // Shared with the sending thread, which may still write it after a left call.
    auto available = std::make_shared<DWORD>(0);
    const std::uint64_t now = nowMs();
    callBounded([available](HINTERNET request) { return InternetQueryDataAvailable(request, available.get(), 0, 0) != FALSE; },
                static_cast<std::uint32_t>(deadlineMs_ > now ? deadlineMs_ - now : 0));
    return *available;
}

DWORD WinInetRequest::sendLimitMs() const {
    const std::uint64_t now = nowMs();
    std::uint64_t limit = CrawlRule::kWindowMs;
    if (deadlineMs_ != UINT64_MAX) limit = std::min(limit, deadlineMs_ > now ? deadlineMs_ - now : 0);
    return static_cast<DWORD>(limit);
}

void WinInetRequest::giveUpAfter(std::uint32_t milliseconds) { deadlineMs_ = nowMs() + milliseconds; }

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

// A header the request could not take leaves it asking for the whole file,
// whose 200 answer restarts the download.
void WinInetRequest::askFrom(std::uint64_t offset) {
    if (!handle_ || offset == 0) return;
    const CallGate::Pass pass = share_.gate ? share_.gate->enter() : CallGate::Pass();
    if (!pass) return;
    const std::string header = "Range: bytes=" + std::to_string(offset) + "-\r\n";
    HttpAddRequestHeadersA(handle_.get(), header.c_str(), static_cast<DWORD>(header.size()),
                           HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
}

std::string WinInetRequest::contentRange() { return queryText(HTTP_QUERY_CONTENT_RANGE).value_or(""); }

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
    const CallGate::Pass pass = share_.gate ? share_.gate->enter() : CallGate::Pass();
    if (!pass) return std::nullopt;
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
    const DWORD available = waitForData();
    const CallGate::Pass pass = enterSession();
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
