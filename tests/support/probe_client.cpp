#include "tests/support/probe_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/wine_runner.h"

namespace testsupport {

namespace {

constexpr auto kStartLimit = std::chrono::seconds(60);  // a fresh prefix may still be warming up
constexpr int kReplySeconds = 20;
constexpr auto kQuitLimit = std::chrono::seconds(10);

std::string readPortFile(const std::string& path) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Complete only with its newline.
    return text.find('\n') == std::string::npos ? "" : text;
}

int connectLoopback(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("probe: socket failed");
    timeval limit{kReplySeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        throw std::runtime_error("probe: cannot connect to port " + std::to_string(port));
    }
    return fd;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw std::runtime_error("probe: bad hex digit");
}

}  // namespace

std::string decodeHex(const std::string& hex) {
    if (hex.size() % 2) throw std::runtime_error("probe: odd hex text");
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) bytes += static_cast<char>(hexDigit(hex[i]) * 16 + hexDigit(hex[i + 1]));
    return bytes;
}

ProbeReply parseProbeReply(const std::string& line) {
    ProbeReply reply;
    std::istringstream in(line);
    in >> reply.status;
    for (std::string token; in >> token;) {
        auto equals = token.find('=');
        if (equals == std::string::npos) {
            reply.fields.emplace_back(token, "");
        } else {
            reply.fields.emplace_back(token.substr(0, equals), token.substr(equals + 1));
        }
    }
    return reply;
}

std::string ProbeReply::value(const std::string& name) const {
    for (const auto& [key, v] : fields)
        if (key == name) return v;
    return "";
}

std::vector<std::string> ProbeReply::values(const std::string& name) const {
    std::vector<std::string> result;
    for (const auto& [key, v] : fields)
        if (key == name) result.push_back(v);
    return result;
}

std::string ProbeReply::text(const std::string& name) const { return decodeHex(value(name)); }

int ProbeReply::number(const std::string& name, int fallback) const {
    std::string v = value(name);
    return v.empty() ? fallback : std::atoi(v.c_str());
}

ProbeClient& ProbeClient::shared() {
    static ProbeClient client;
    return client;
}

ProbeClient::ProbeClient() {
    char pattern[] = "/tmp/updater-probe.XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("probe: mkdtemp failed");
    directory_ = pattern;
    start();
}

void ProbeClient::start() {
    const std::string portFile = directory_ + "/port";
    std::error_code ignored;
    std::filesystem::remove(portFile, ignored);
    process_ = std::make_unique<WineProcess>(toWindowsPath(windowsTestBinDir() + "/probe.exe"),
                                             std::vector<std::string>{toWindowsPath(portFile)}, directory_);
    auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    std::string port;
    while ((port = readPortFile(portFile)).empty()) {
        if (!process_->running()) throw std::runtime_error("probe.exe ended at start: " + process_->output());
        if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("probe.exe did not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    socket_ = connectLoopback(std::atoi(port.c_str()));
    pending_.clear();
}

void ProbeClient::stop(bool askToQuit) {
    if (socket_ >= 0 && askToQuit) {
        // Asked to end rather than killed: killed while it waits in accept(),
        // the probe makes Wine 8's wineserver abort, which strands every
        // process of the prefix.
        try {
            exchange("QUIT");
        } catch (const std::runtime_error&) {
            // A probe that does not answer is killed below.
        }
        if (process_) process_->wait(kQuitLimit);
    }
    if (socket_ >= 0) close(socket_);
    socket_ = -1;
    process_.reset();
}

ProbeClient::~ProbeClient() {
    stop(true);
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

std::string ProbeClient::readLine() {
    for (;;) {
        auto end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        char buffer[4096];
        ssize_t received = recv(socket_, buffer, sizeof buffer, 0);
        if (received <= 0) throw std::runtime_error("probe: no reply");
        pending_.append(buffer, static_cast<size_t>(received));
    }
}

ProbeReply ProbeClient::exchange(const std::string& command) {
    std::string line = command + "\n";
    if (send(socket_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("probe: cannot send " + command);
    return parseProbeReply(readLine());
}

ProbeReply ProbeClient::call(const std::string& command) {
    try {
        return exchange(command);
    } catch (const std::runtime_error& failure) {
        const std::string verb = command.substr(0, command.find(' '));
        const bool onlyAsks = verb == "STATE" || verb == "BOX" || verb == "PROCS" || verb == "PING";
        const std::string what = std::string(failure.what()) + " to " + command + " (probe " +
                                 (process_ && process_->running() ? "still running" : "gone") +
                                 "): " + (process_ ? process_->output() : "");
        if (!onlyAsks) throw std::runtime_error(what);
        std::fprintf(stderr, "%s\nasking a fresh probe once more\n", what.c_str());
        stop(false);
        start();
        if (target_ != "Update.exe" && !exchange("TARGET " + target_).ok())
            throw std::runtime_error("probe: TARGET refused");
        return exchange(command);
    }
}

void ProbeClient::setTarget(const std::string& exeName) {
    if (exeName == target_) return;
    if (!call("TARGET " + exeName).ok()) throw std::runtime_error("probe: TARGET refused");
    target_ = exeName;
}

}  // namespace testsupport
