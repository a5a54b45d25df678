#include "tests/support/probe_client.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "engine/text/hex_text.h"
#include "tests/support/poll.h"
#include "tests/support/test_http_server.h"
#include "tests/support/wine_runner.h"

namespace testsupport {

namespace {

constexpr auto kStartLimit = std::chrono::seconds(60);  // a fresh prefix may still be warming up
constexpr int kReplySeconds = 20;
constexpr auto kQuitLimit = std::chrono::seconds(10);

// N of the probe's "probe port N" line; 0 until the line is complete.
int announcedPort(const std::string& output) {
    const std::string announcement = "probe port ";
    const std::size_t at = output.find(announcement);
    if (at == std::string::npos || output.find('\n', at) == std::string::npos) return 0;
    return std::atoi(output.c_str() + at + announcement.size());
}

}  // namespace

ProbeReply parseProbeReply(const std::string& line) {
    ProbeReply reply;
    std::istringstream in(line);
    in >> reply.status;
    for (std::string token; in >> token;) {
        const auto equals = token.find('=');
        reply.fields.emplace_back(token.substr(0, equals), equals == std::string::npos ? "" : token.substr(equals + 1));
    }
    return reply;
}

std::string ProbeReply::value(const std::string& name) const {
    const std::vector<std::string> all = values(name);
    return all.empty() ? "" : all.front();
}

std::vector<std::string> ProbeReply::values(const std::string& name) const {
    std::vector<std::string> result;
    for (const auto& [key, v] : fields)
        if (key == name) result.push_back(v);
    return result;
}

std::string ProbeReply::text(const std::string& name) const { return updater::decodeHex(value(name)).value(); }

int ProbeReply::number(const std::string& name, int fallback) const {
    const std::string v = value(name);
    return v.empty() ? fallback : std::atoi(v.c_str());
}

ProbeClient& ProbeClient::shared() {
    static ProbeClient client;
    return client;
}

ProbeClient::ProbeClient() { start(); }

void ProbeClient::start() {
    process_ = std::make_unique<WineProcess>(toWindowsPath(windowsTestBinDir() + "/probe.exe"),
                                             std::vector<std::string>{}, "/tmp");
    int port = 0;
    pollUntil([&] { return (port = announcedPort(process_->output())) != 0 || !process_->running(); }, kStartLimit);
    if (port == 0)
        throw std::runtime_error(process_->running() ? "probe.exe did not start"
                                                     : "probe.exe ended at start: " + process_->output());
    socket_ = connectLoopback(port);
    if (socket_ < 0) throw std::runtime_error("probe: cannot connect to port " + std::to_string(port));
    timeval limit{kReplySeconds, 0};
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
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

ProbeClient::~ProbeClient() { stop(true); }

// The probe answers each command with one line, and sends nothing unasked.
std::string ProbeClient::readLine() {
    std::string line;
    char buffer[4096];
    while (line.empty() || line.back() != '\n') {
        const ssize_t received = recv(socket_, buffer, sizeof buffer, 0);
        if (received <= 0) throw std::runtime_error("probe: no reply");
        line.append(buffer, static_cast<size_t>(received));
    }
    line.pop_back();
    return line;
}

ProbeReply ProbeClient::exchange(const std::string& command) {
    const std::string line = command + "\n";
    if (send(socket_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("probe: cannot send " + command);
    return parseProbeReply(readLine());
}

ProbeReply ProbeClient::call(const std::string& command) {
    const std::size_t space = command.find(' ');
    const std::string verb = command.substr(0, space);
    const std::string line = verb + " " + target_ + (space == std::string::npos ? "" : command.substr(space));
    try {
        return exchange(line);
    } catch (const std::runtime_error& failure) {
        const bool onlyAsks = verb == "STATE" || verb == "BOX" || verb == "PROCS";
        const std::string what = std::string(failure.what()) + " to " + line + " (probe " +
                                 (process_ && process_->running() ? "still running" : "gone") +
                                 "): " + (process_ ? process_->output() : "");
        if (!onlyAsks) throw std::runtime_error(what);
        std::fprintf(stderr, "%s\nasking a fresh probe once more\n", what.c_str());
        stop(false);
        start();
        return exchange(line);
    }
}

}  // namespace testsupport
