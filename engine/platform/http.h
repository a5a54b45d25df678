#pragma once
// The engine's view of HTTP: one GET request at a time on a shared connection.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/work/stop_flag.h"

namespace updater {

// A failure of the HTTP layer, with the system error code and the platform's
// text for it (at most 1023 bytes, possibly empty).
class NetworkError : public std::runtime_error {
public:
    NetworkError(unsigned long code, std::string text)
        : std::runtime_error(text), code_(code), text_(std::move(text)) {}
    unsigned long code() const { return code_; }
    const std::string& text() const { return text_; }

private:
    unsigned long code_;
    std::string text_;
};

// One GET request. Destroying it closes it.
class HttpRequest {
public:
    virtual ~HttpRequest() = default;
    // Sends the request; throws NetworkError when it cannot be sent
    // (including a request the client could not even create).
    virtual void send() = 0;
    // The status code as text ("200", "404"); empty when the query fails.
    virtual std::string statusCode() = 0;
    // The reason phrase of the status line ("Not Found"); empty when unknown.
    virtual std::string statusText() = 0;
    // The value of every Content-Length header, in the order received; none
    // when absent or the query fails.
    virtual std::vector<std::string> contentLengths() = 0;
    // The Transfer-Encoding header as text; empty when absent.
    virtual std::string transferEncoding() = 0;
    // The Content-Encoding header as text; empty when absent. The request
    // never asks for a coding, and the client does not decode one.
    virtual std::string contentEncoding() = 0;
    // Reads at most size bytes of the body, as many as have arrived; 0 means
    // the end of the body. Throws NetworkError when the read fails, and when
    // the answer crawls (see CrawlRule) or overruns the time given to it.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
    // Gives the whole request, from send() on, at most this long.
    virtual void giveUpAfter(std::uint32_t milliseconds) { (void)milliseconds; }
    // Before send(): asks only for the bytes from offset on ("Range:
    // bytes=offset-"). A client that cannot ask gets the whole body, which
    // restarts the file.
    virtual void askFrom(std::uint64_t offset) { (void)offset; }
    // The Content-Range header as text; empty when absent.
    virtual std::string contentRange() { return {}; }
};

// Whether a cache between the client and the server (a proxy, a CDN) may
// answer from what it stored. NoCache sends "Pragma: no-cache" (for HTTP/1.0
// caches) and "Cache-Control: no-cache": the cache must ask the server.
enum class CacheUse { Stored, NoCache };

class HttpConnection {
public:
    virtual ~HttpConnection() = default;
    // Opens a GET request for the object name (URL path + file name, joined
    // by the caller). Never throws: a request that cannot be created fails
    // at send(). The answer is never taken from a stale local cache.
    virtual std::unique_ptr<HttpRequest> openGet(const std::string& objectName, CacheUse cache) = 0;
};

// The program's HTTP session with its one connection to the update server.
class HttpSession {
public:
    virtual ~HttpSession() = default;
    // Makes the connection to server and port, over TLS when secure; throws
    // NetworkError when the client cannot even start one.
    virtual void connect(const std::string& server, std::uint16_t port, bool secure) = 0;
    // Valid after connect().
    virtual HttpConnection& connection() = 0;
    // Closes the connection, then the session. Safe to call twice.
    virtual void close() = 0;
    // Before connect(): a request's send stops waiting once stop is
    // requested. stop must outlive the session's use.
    virtual void setStopFlag(const StopFlag& stop) { (void)stop; }
};

// Read size used for every body.
constexpr std::size_t kReadChunkBytes = 2048;

}  // namespace updater
