#pragma once
// The wizard's HTTP session and its one connection to the update server, over WinInet.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/text/code_page.h"
#include "engine/platform/http.h"

namespace updater::net {

class HttpTransfer final : public HttpSession {
public:
    // Opens the session: agent name, preconfigured proxy settings, synchronous,
    // context 1. Throws NetworkError when the session cannot be opened. Error
    // texts are cut by the characters of cp, which must outlive the object.
    HttpTransfer(const std::string& agentName, const CodePage& cp);
    ~HttpTransfer();
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    // Sets connect timeout 4000 ms and connect retries 2, then makes the one
    // connection to server and port (no user, no password), whose requests
    // give up on a server that stays silent for 30 s and, when secure, go
    // over TLS.
    void connect(const std::string& server, std::uint16_t port, bool secure) override;
    HttpConnection& connection() override;
    // Waits at most kLeftCallWaitMs for calls still inside (left calls, see
    // engine/work/call_gate.h) before it closes; leaves the handles to process
    // exit when they do not return.
    void close() override;
    void setStopFlag(const StopFlag& stop) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace updater::net
