#pragma once
// One GET request over WinInet, as the engine sees it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/work/bounded_send.h"
#include "engine/work/call_gate.h"
#include "engine/text/code_page.h"
#include "engine/transfer/crawl_rule.h"
#include "engine/platform/http.h"
#include "engine/work/stop_flag.h"
#include "win32/unique_handle.h"

namespace updater::net {

// What the requests of one session share.
struct SessionShare {
    std::shared_ptr<CallGate> gate;       // every call on a handle passes it
    std::shared_ptr<BoundedSend> sender;  // where sends run, so that they can be given up; none: here
    const StopFlag* stop = nullptr;       // a send stops waiting once it is raised
};

class WinInetRequest final : public HttpRequest {
public:
    // cacheUrl: the cache entry WinInet makes for the answer, removed once
    // the request is closed. Error texts are cut by the characters of cp,
    // which must outlive the object.
    WinInetRequest(win32::RequestHandle handle, SessionShare share, std::string cacheUrl, const CodePage& cp);
    // A request the client could not create: send() raises this failure.
    WinInetRequest(NetworkError openFailure, const CodePage& cp);
    // Closes the request, unless its session is gone (see engine/work/call_gate.h).
    ~WinInetRequest() override;
    WinInetRequest(const WinInetRequest&) = delete;
    WinInetRequest& operator=(const WinInetRequest&) = delete;

    void send() override;
    std::string statusCode() override;
    std::string statusText() override;
    std::vector<std::string> contentLengths() override;
    std::string transferEncoding() override;
    std::string contentEncoding() override;
    std::size_t read(char* buffer, std::size_t size) override;
    void giveUpAfter(std::uint32_t milliseconds) override;
    void askFrom(std::uint64_t offset) override;
    std::string contentRange() override;

private:
    // index: which of several headers of that name; moved on to the next.
    std::optional<std::string> queryText(DWORD infoLevel, DWORD* index = nullptr) const;
    [[noreturn]] void throwOpenFailure() const;
    [[noreturn]] void throwFailure(DWORD code) const;
    // Enters the session's gate; throws when the session was closed.
    CallGate::Pass enterSession() const;
    void sendBounded();
    void callBounded(const std::function<bool(HINTERNET)>& call, std::uint32_t limitMs);
    // Waits for body bytes; with a deadline, on the sending thread, so that
    // the wait ends at the deadline.
    DWORD waitForData();
    // Gives a call that overran or was stopped up with its request.
    [[noreturn]] void leaveCall(BoundedSend::End end);
    const StopFlag& stopFlag() const;

    // Milliseconds the send may take now: a crawl window, or what is left.
    DWORD sendLimitMs() const;

    win32::RequestHandle handle_;
    std::optional<NetworkError> openFailure_;
    SessionShare share_;
    std::optional<CrawlRule> crawl_;  // from the end of the send on
    std::uint64_t deadlineMs_ = UINT64_MAX;
    std::string cacheUrl_;
    const CodePage& cp_;
};

}  // namespace updater::net
