#include "tests/support/test_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {

namespace {

constexpr std::size_t kMaxRequestHead = 64 * 1024;

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string trim(const std::string& text) {
    auto begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    auto end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

RecordedRequest parseRequestHead(const std::string& head) {
    RecordedRequest request;
    std::istringstream lines(head);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (first) {
            first = false;
            request.requestLine = line;
            std::istringstream parts(line);
            parts >> request.method >> request.target >> request.version;
            continue;
        }
        if (line.empty()) break;
        auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        request.headers.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
    }
    return request;
}

std::string pathOf(const std::string& target) { return target.substr(0, target.find('?')); }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string percentDecoded(const std::string& path) {
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size() && hexValue(path[i + 1]) >= 0 && hexValue(path[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(path[i + 1]) * 16 + hexValue(path[i + 2]));
            i += 2;
        } else {
            out += path[i];
        }
    }
    return out;
}

// The file below root that the path names, or nothing when it would leave
// root or is not a regular file.
std::optional<std::string> fileBelowRoot(const std::string& root, const std::string& decodedPath) {
    if (decodedPath.empty() || decodedPath[0] != '/') return std::nullopt;
    std::istringstream segments(decodedPath);
    std::string segment;
    while (std::getline(segments, segment, '/'))
        if (segment == ".." || segment.find('\\') != std::string::npos || segment.find('\0') != std::string::npos)
            return std::nullopt;
    std::string file = root + decodedPath;
    struct stat info {};
    if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return file;
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string composeAnswer(const ScriptedAnswer& answer, const std::string& body) {
    std::string head = "HTTP/1.0 " + std::to_string(answer.status) + " " + answer.reason + "\r\n";
    if (answer.length == ScriptedAnswer::Length::Exact) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    if (answer.length == ScriptedAnswer::Length::Claim)
        head += "Content-Length: " + std::to_string(answer.claimedLength) + "\r\n";
    for (const auto& [name, value] : answer.headers) head += name + ": " + value + "\r\n";
    return head + "\r\n";
}

}  // namespace

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (equalsIgnoreCase(key, name)) return value;
    return std::nullopt;
}

struct TestHttpServer::Impl {
    std::string root;
    int listener = -1;
    std::uint16_t port = 0;
    // Never read: once written, every poll that watches it wakes, so all
    // connection threads see the stop at once.
    int stopPipe[2] = {-1, -1};
    std::thread acceptor;

    mutable std::mutex mutex;
    std::map<std::string, ScriptedAnswer> scripts;
    std::vector<RecordedRequest> requests;
    std::vector<std::thread> connections;
    mutable std::condition_variable pauseEnds;
    bool pausesReleased = false;
    bool stopped = false;

    ~Impl() {
        for (int fd : {listener, stopPipe[0], stopPipe[1]})
            if (fd >= 0) ::close(fd);
    }

    bool stopping() const {
        pollfd p{stopPipe[0], POLLIN, 0};
        return poll(&p, 1, 0) > 0;
    }

    // Waits until fd is ready for events or the server stops; false on stop.
    bool waitFor(int fd, short events) const {
        pollfd fds[2] = {{fd, events, 0}, {stopPipe[0], POLLIN, 0}};
        for (;;) {
            int n = poll(fds, 2, -1);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || fds[1].revents) return false;
            if (fds[0].revents) return true;
        }
    }

    void waitForStop() const {
        pollfd p{stopPipe[0], POLLIN, 0};
        while (poll(&p, 1, -1) < 0 && errno == EINTR) {}
    }

    bool sendAll(int fd, const char* data, std::size_t size) const {
        while (size > 0) {
            if (!waitFor(fd, POLLOUT)) return false;
            ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
            if (sent < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (sent <= 0) return false;
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
        return true;
    }

    std::optional<std::string> readHead(int fd) const {
        std::string data;
        char buffer[4096];
        while (data.find("\r\n\r\n") == std::string::npos && data.find("\n\n") == std::string::npos) {
            if (data.size() > kMaxRequestHead || !waitFor(fd, POLLIN)) return std::nullopt;
            ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got <= 0) return std::nullopt;
            data.append(buffer, static_cast<std::size_t>(got));
        }
        return data;
    }

    void sendEndlessly(int fd) const {
        const std::string filler(64 * 1024, 'x');
        while (sendAll(fd, filler.data(), filler.size())) {}
    }

    // One byte per interval; false when the client or the server goes away.
    bool trickle(int fd, const char* data, std::size_t size, std::chrono::milliseconds every) const {
        for (std::size_t i = 0; i < size; ++i) {
            if (!sendAll(fd, data + i, 1)) return false;
            std::unique_lock<std::mutex> lock(mutex);
            if (pauseEnds.wait_for(lock, every, [this] { return stopped; })) return false;
        }
        return true;
    }

    // Holds an answer back as its script says; false when the server stops meanwhile.
    bool pause(const ScriptedAnswer& answer) const {
        std::unique_lock<std::mutex> lock(mutex);
        const auto over = [this] { return pausesReleased || stopped; };
        if (answer.pauseFor.count() > 0)
            pauseEnds.wait_for(lock, answer.pauseFor, over);
        else
            pauseEnds.wait(lock, over);
        return !stopped;
    }

    ScriptedAnswer answerFor(const std::string& path) const {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = scripts.find(path);
        if (it == scripts.end()) it = scripts.find(percentDecoded(path));
        return it == scripts.end() ? ScriptedAnswer{} : it->second;
    }

    void serve(int fd) {
        auto head = readHead(fd);
        if (!head) return;
        RecordedRequest request = parseRequestHead(*head);
        {
            std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(request);
        }
        std::string path = pathOf(request.target);
        ScriptedAnswer answer = answerFor(path);
        if (answer.silent) return waitForStop();
        if (!answer.raw.empty()) {
            sendAll(fd, answer.raw.data(), answer.raw.size());
            return;
        }
        std::string body;
        if (answer.body) {
            body = *answer.body;
        } else {
            auto file = fileBelowRoot(root, percentDecoded(path));
            auto content = file ? readWholeFile(*file) : std::nullopt;
            if (content) {
                body = *content;
            } else {
                answer = ScriptedAnswer{};
                answer.status = 404;
                answer.reason = "Not Found";
                body = "Not Found";
            }
        }
        std::string answerHead = composeAnswer(answer, body);
        if (!sendAll(fd, answerHead.data(), answerHead.size())) return;
        bool cut = answer.cutAfterBytes >= 0 && static_cast<std::size_t>(answer.cutAfterBytes) < body.size();
        std::size_t bodyBytes = cut ? static_cast<std::size_t>(answer.cutAfterBytes) : body.size();
        std::size_t sentBytes = 0;
        if (answer.pauseAfterBytes >= 0 && static_cast<std::size_t>(answer.pauseAfterBytes) < bodyBytes) {
            sentBytes = static_cast<std::size_t>(answer.pauseAfterBytes);
            if (!sendAll(fd, body.data(), sentBytes) || !pause(answer)) return;
        }
        if (answer.trickleEvery.count() > 0) {
            if (!trickle(fd, body.data() + sentBytes, bodyBytes - sentBytes, answer.trickleEvery)) return;
        } else if (!sendAll(fd, body.data() + sentBytes, bodyBytes - sentBytes)) {
            return;
        }
        if (answer.endless && !cut) return sendEndlessly(fd);
        if (!cut) return;
        if (answer.cut == ScriptedAnswer::Cut::Stall) return waitForStop();
        linger reset{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }

    void acceptLoop() {
        for (;;) {
            if (!waitFor(listener, POLLIN)) return;
            // Close-on-exec: Wine programs started by the tests must not inherit sockets.
            int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::lock_guard<std::mutex> lock(mutex);
            connections.emplace_back([this, fd] {
                serve(fd);
                ::close(fd);
            });
        }
    }
};

TestHttpServer::TestHttpServer(std::string rootDirectory) : TestHttpServer(std::move(rootDirectory), 0) {}

TestHttpServer::TestHttpServer(std::string rootDirectory, std::uint16_t port) : impl_(std::make_unique<Impl>()) {
    while (rootDirectory.size() > 1 && rootDirectory.back() == '/') rootDirectory.pop_back();
    impl_->root = std::move(rootDirectory);
    if (pipe2(impl_->stopPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    impl_->listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (impl_->listener < 0) throw std::runtime_error("socket failed");
    int yes = 1;
    setsockopt(impl_->listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (bind(impl_->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(impl_->listener, 64) != 0 ||
        getsockname(impl_->listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    impl_->port = ntohs(address.sin_port);
    impl_->acceptor = std::thread([impl = impl_.get()] { impl->acceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
    char stop = 1;
    if (write(impl_->stopPipe[1], &stop, 1) != 1) {}
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->stopped = true;
    }
    impl_->pauseEnds.notify_all();
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
    impl_->pauseEnds.notify_all();
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
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot bind 127.0.0.1");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace testsupport
