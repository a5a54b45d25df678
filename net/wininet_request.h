#pragma once
// One GET request over WinInet, as the engine sees it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/code_page.h"
#include "engine/crawl_rule.h"
#include "engine/http.h"
#include "net/bounded_send.h"
#include "win32/unique_handle.h"

namespace updater::net {

class WinInetRequest final : public HttpRequest {
public:
    // sender: where the send runs, so that it can be given up; none: here.
    // cacheUrl: the cache entry WinInet makes for the answer, removed once
    // the request is closed. Error texts are cut by the characters of cp,
    // which must outlive the object.
    WinInetRequest(win32::RequestHandle handle, std::shared_ptr<BoundedSend> sender, std::string cacheUrl,
                   const CodePage& cp);
    ~WinInetRequest() override;
    // A request the client could not create: send() raises this failure.
    WinInetRequest(NetworkError openFailure, const CodePage& cp);

    void send() override;
    std::string statusCode() override;
    std::string statusText() override;
    std::vector<std::string> contentLengths() override;
    std::string transferEncoding() override;
    std::string contentEncoding() override;
    std::size_t read(char* buffer, std::size_t size) override;
    void giveUpAfter(std::uint32_t milliseconds) override;

private:
    // index: which of several headers of that name; moved on to the next.
    std::optional<std::string> queryText(DWORD infoLevel, DWORD* index = nullptr) const;
    [[noreturn]] void throwOpenFailure() const;
    [[noreturn]] void throwFailure(DWORD code) const;

    // Milliseconds the send may take now: a crawl window, or what is left.
    DWORD sendLimitMs() const;
    // Lets the next wait for the body end at the deadline, not after the
    // connection's whole receive time-out.
    void limitReceiveWait();

    win32::RequestHandle handle_;
    std::optional<NetworkError> openFailure_;
    std::shared_ptr<BoundedSend> sender_;
    std::optional<CrawlRule> crawl_;  // from the end of the send on
    std::uint64_t deadlineMs_ = UINT64_MAX;
    DWORD receiveTimeoutMs_ = 0;  // what limitReceiveWait last set; 0: the connection's
    std::string cacheUrl_;
    const CodePage& cp_;
};

}  // namespace updater::net
