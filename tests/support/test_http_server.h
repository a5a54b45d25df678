#pragma once
// A scriptable HTTP/1.x server on 127.0.0.1 for the end-to-end tests. It serves
// a directory, records every request, and answers scripted paths as told.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct ScriptedAnswer {
    int status = 200;
    std::string reason = "OK";
    // The body; nothing means the file under the served directory (404 when missing).
    std::optional<std::string> body;
    // Content-Length: the body's length, none at all, or a claimed value
    // (larger than the body for a truncated answer).
    enum class Length { Exact, Omit, Claim } length = Length::Exact;
    long long claimedLength = 0;
    std::vector<std::pair<std::string, std::string>> headers;  // extra, e.g. Location
    // After this many body bytes: stop sending and keep the connection open
    // (stall) or reset it (RST). Negative: send everything.
    long long cutAfterBytes = -1;
    enum class Cut { Stall, Reset } cut = Cut::Stall;
    // After this many body bytes: hold the rest back for pauseFor, or, when
    // pauseFor is zero, until releasePauses(). Negative: no pause.
    long long pauseAfterBytes = -1;
    std::chrono::milliseconds pauseFor{0};
    // Above zero: the body goes out trickleBytes per interval (a crawling server).
    std::chrono::milliseconds trickleEvery{0};
    std::size_t trickleBytes = 1;
    // Sent verbatim instead of a composed answer when not empty (garbage status lines).
    std::string raw;
    // Accept the request and never answer.
    bool silent = false;
    // After the body, keep sending filler bytes until the client goes away.
    bool endless = false;
};

struct RecordedRequest {
    std::string requestLine;  // e.g. "GET /kelmor/update.ini HTTP/1.0"
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<std::string> header(const std::string& name) const;  // case-insensitive
};

class TestHttpServer {
public:
    // Listens on 127.0.0.1:port, or on a free port when port is 0.
    explicit TestHttpServer(std::string rootDirectory, std::uint16_t port = 0);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    std::uint16_t port() const;
    // Answers requests whose target (path, without query) equals path.
    void script(const std::string& path, ScriptedAnswer answer);
    void clearScripts();
    // Lets every answer held by pauseAfterBytes go on, now and from now on.
    void releasePauses();
    std::vector<RecordedRequest> requests() const;
    std::size_t countRequests(const std::string& target) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A port on 127.0.0.1 on which nothing listens (connections are refused).
std::uint16_t closedPort();
// A socket connected to 127.0.0.1:port, or -1 when nothing answers there.
int connectLoopback(int port);

}  // namespace testsupport
