#include "tests/support/test_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "engine/text/hex_text.h"
#include "tests/support/file_bytes.h"

namespace testsupport {

namespace {

constexpr std::size_t kMaxRequestHead = 64 * 1024;

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A socket bound to 127.0.0.1:port; port 0 becomes the free port it got.
// Close-on-exec: Wine programs started by the tests must not inherit sockets.
int bindLoopback(std::uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    sockaddr_in address = loopback(port);
    socklen_t length = sizeof address;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("cannot bind 127.0.0.1:" + std::to_string(port));
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Without the spaces and tabs around it, and the CR of its line end.
std::string trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r");
    return begin == std::string::npos ? "" : text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

RecordedRequest parseRequestHead(const std::string& head) {
    RecordedRequest request;
    std::istringstream lines(head);
    std::getline(lines, request.requestLine);
    if (!request.requestLine.empty() && request.requestLine.back() == '\r') request.requestLine.pop_back();
    std::istringstream(request.requestLine) >> request.method >> request.target >> request.version;
    for (std::string line; std::getline(lines, line) && line != "\r" && !line.empty();) {
        if (const auto colon = line.find(':'); colon != std::string::npos)
            request.headers.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
    }
    return request;
}

std::string pathOf(const std::string& target) { return target.substr(0, target.find('?')); }

std::string percentDecoded(const std::string& path) {
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
        std::optional<std::string> byte;
        if (path[i] == '%') byte = updater::decodeHex(path.substr(i + 1, 2));
        if (byte && byte->size() == 1) {
            out += *byte;
            i += 2;
        } else {
            out += path[i];
        }
    }
    return out;
}

// The content of the file below root that the path names, or nothing when
// the path would leave root or is not a regular file.
std::optional<std::string> fileBelowRoot(const std::string& root, const std::string& decodedPath) {
    if (decodedPath.empty() || decodedPath[0] != '/') return std::nullopt;
    std::istringstream segments(decodedPath);
    for (std::string segment; std::getline(segments, segment, '/');)
        if (segment == ".." || segment.find('\\') != std::string::npos || segment.find('\0') != std::string::npos)
            return std::nullopt;
    struct stat info {};
    const std::string file = root + decodedPath;
    if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return fileBytes(file);
}

std::string composeAnswer(const ScriptedAnswer& answer, const std::string& body) {
    std::string head = "HTTP/1.0 " + std::to_string(answer.status) + " " + answer.reason + "\r\n";
    if (answer.length == ScriptedAnswer::Length::Exact) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    if (answer.length == ScriptedAnswer::Length::Claim)
        head += "Content-Length: " + std::to_string(answer.claimedLength) + "\r\n";
    for (const auto& [name, value] : answer.headers) head += name + ": " + value + "\r\n";
    return head + "\r\n";
}

// Blocking sends; false once the client or the server has gone away.
bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

std::optional<std::string> readHead(int fd) {
    std::string data;
    char buffer[4096];
    while (data.find("\r\n\r\n") == std::string::npos && data.find("\n\n") == std::string::npos) {
        if (data.size() > kMaxRequestHead) return std::nullopt;
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return std::nullopt;
        data.append(buffer, static_cast<std::size_t>(got));
    }
    return data;
}

}  // namespace

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    return std::nullopt;
}

// One thread per connection, on blocking sockets. Stopping shuts every open
// connection down, which wakes whatever waits on it, and wakes the waits below.
struct TestHttpServer::Impl {
    std::string root;
    int listener = -1;
    std::uint16_t port = 0;
    std::thread acceptor;

    mutable std::mutex mutex;
    std::map<std::string, ScriptedAnswer> scripts;
    std::vector<RecordedRequest> requests;
    std::vector<std::thread> connections;
    std::set<int> open;
    mutable std::condition_variable changed;  // pauses released, or the server stopped
    bool pausesReleased = false;
    bool stopped = false;

    ~Impl() {
        if (listener >= 0) ::close(listener);
    }

    // Waits until the server stops, or the pauses are released when asked
    // to, or the limit passes when one is given; false once the server stops.
    bool hold(bool untilReleased, std::chrono::milliseconds limit = {}) const {
        std::unique_lock<std::mutex> lock(mutex);
        const auto over = [&] { return stopped || (untilReleased && pausesReleased); };
        if (limit.count() > 0)
            changed.wait_for(lock, limit, over);
        else
            changed.wait(lock, over);
        return !stopped;
    }

    // Answers one request; true when the connection is to stay open, silent,
    // until the server stops.
    bool serve(int fd) {
        const std::optional<std::string> head = readHead(fd);
        if (!head) return false;
        const RecordedRequest request = parseRequestHead(*head);
        const std::string path = pathOf(request.target);
        ScriptedAnswer answer;
        {
            std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(request);
            auto it = scripts.find(path);
            if (it == scripts.end()) it = scripts.find(percentDecoded(path));
            if (it != scripts.end()) answer = it->second;
        }
        if (answer.silent) return true;
        if (!answer.raw.empty()) {
            sendAll(fd, answer.raw.data(), answer.raw.size());
            return false;
        }
        std::optional<std::string> body = answer.body ? answer.body : fileBelowRoot(root, percentDecoded(path));
        if (!body) {
            answer = ScriptedAnswer{};
            answer.status = 404;
            answer.reason = "Not Found";
            body = "Not Found";
        }
        const std::string answerHead = composeAnswer(answer, *body);
        if (!sendAll(fd, answerHead.data(), answerHead.size())) return false;
        const bool cut = answer.cutAfterBytes >= 0 && static_cast<std::size_t>(answer.cutAfterBytes) < body->size();
        const std::size_t bodyBytes = cut ? static_cast<std::size_t>(answer.cutAfterBytes) : body->size();
        std::size_t sent = 0;
        if (answer.pauseAfterBytes >= 0 && static_cast<std::size_t>(answer.pauseAfterBytes) < bodyBytes) {
            sent = static_cast<std::size_t>(answer.pauseAfterBytes);
            if (!sendAll(fd, body->data(), sent) || !hold(true, answer.pauseFor)) return false;
        }
        // A crawling server sends trickleBytes per interval.
        while (answer.trickleEvery.count() > 0 && sent < bodyBytes) {
            const std::size_t step = std::min(answer.trickleBytes, bodyBytes - sent);
            if (!sendAll(fd, body->data() + sent, step) || !hold(false, answer.trickleEvery)) return false;
            sent += step;
        }
        if (!sendAll(fd, body->data() + sent, bodyBytes - sent)) return false;
        if (answer.endless && !cut) {
            const std::string filler(64 * 1024, 'x');
            while (sendAll(fd, filler.data(), filler.size())) {}
        }
        if (!cut || answer.cut == ScriptedAnswer::Cut::Stall) return cut;
        linger reset{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        return false;
    }

    void acceptLoop() {
        for (;;) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            std::lock_guard<std::mutex> lock(mutex);
            if (stopped) {
                if (fd >= 0) ::close(fd);
                return;
            }
            if (fd < 0) continue;
            open.insert(fd);
            connections.emplace_back([this, fd] {
                if (serve(fd)) hold(false);
                std::lock_guard<std::mutex> lock(mutex);
                open.erase(fd);
                ::close(fd);
            });
        }
    }
};

TestHttpServer::TestHttpServer(std::string rootDirectory, std::uint16_t port) : impl_(std::make_unique<Impl>()) {
    while (rootDirectory.size() > 1 && rootDirectory.back() == '/') rootDirectory.pop_back();
    impl_->root = std::move(rootDirectory);
    impl_->port = port;
    impl_->listener = bindLoopback(impl_->port);
    if (listen(impl_->listener, 64) != 0) throw std::runtime_error("cannot listen on 127.0.0.1");
    impl_->acceptor = std::thread([impl = impl_.get()] { impl->acceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->stopped = true;
        for (int fd : impl_->open) shutdown(fd, SHUT_RDWR);
    }
    impl_->changed.notify_all();
    shutdown(impl_->listener, SHUT_RDWR);
    impl_->acceptor.join();
    // The acceptor has ended, so the list no longer grows.
    for (auto& connection : impl_->connections) connection.join();
}

std::uint16_t TestHttpServer::port() const { return impl_->port; }

void TestHttpServer::script(const std::string& path, ScriptedAnswer answer) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->scripts[path] = std::move(answer);
}

void TestHttpServer::clearScripts() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->scripts.clear();
}

void TestHttpServer::releasePauses() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->pausesReleased = true;
    }
    impl_->changed.notify_all();
}

std::vector<RecordedRequest> TestHttpServer::requests() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->requests;
}

std::size_t TestHttpServer::countRequests(const std::string& target) const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return static_cast<std::size_t>(std::count_if(impl_->requests.begin(), impl_->requests.end(),
                                                  [&](const RecordedRequest& r) { return r.target == target; }));
}

std::uint16_t closedPort() {
    std::uint16_t port = 0;
    ::close(bindLoopback(port));
    return port;
}

int connectLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(static_cast<std::uint16_t>(port));
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

}  // namespace testsupport
