#include "tests/support/squid_proxy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tests/support/poll.h"
#include "tests/support/test_http_server.h"

namespace testsupport {

namespace fs = std::filesystem;

namespace {

constexpr int kPortAttempts = 5;
constexpr auto kStartLimit = std::chrono::seconds(20);

// The caching rules of Debian's squid.conf: an object without an expiry of
// its own stays fresh for 20 % of its age when fetched, up to three days.
constexpr const char* kDebianRefreshRules =
    "refresh_pattern ^ftp: 1440 20% 10080\n"
    "refresh_pattern ^gopher: 1440 0% 1440\n"
    "refresh_pattern -i (/cgi-bin/|\\?) 0 0% 0\n"
    "refresh_pattern . 0 20% 4320\n";

bool accepts(int port) {
    const int fd = connectLoopback(port);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

}  // namespace

SquidProxy::SquidProxy() {
    // Started as root, squid works as its own user, which must write here.
    chmod(prefix_.path().c_str(), 0777);
    for (int attempt = 0; attempt < kPortAttempts; ++attempt)
        if (startOn(static_cast<int>(closedPort()))) return;
    throw std::runtime_error("squid did not start: " + (process_ ? process_->output() : ""));
}

bool SquidProxy::startOn(int port) {
    const std::string configPath = prefix_.pathOf("squid.conf"), pidPath = prefix_.pathOf("squid.pid");
    writeFileBytes(configPath, "http_port 127.0.0.1:" + std::to_string(port) +
                                   "\n"
                                   "http_access allow localhost\n"
                                   "http_access deny all\n"
                                   "cache_mem 32 MB\n"
                                   "pid_filename " + pidPath + "\n" +
                                   "access_log stdio:" + prefix_.pathOf("access.log") + " squid\n" +
                                   "cache_log " + prefix_.pathOf("cache.log") + "\n" +
                                   "cache_store_log none\n"
                                   "coredump_dir " + prefix_.path() + "\n" +
                                   "pinger_enable off\n"
                                   "shutdown_lifetime 0 seconds\n"
                                   "visible_hostname updater-test-proxy\n" +
                                   kDebianRefreshRules);
    std::error_code ignored;
    fs::remove(pidPath, ignored);
    process_ = std::make_unique<ChildProcess>(std::vector<std::string>{"squid", "-N", "-f", configPath});
    bool up = false;
    pollUntil([&] { return (up = fs::exists(pidPath) && accepts(port)) || !process_->running(); }, kStartLimit);
    if (up) port_ = port;
    if (!up) process_->stop();
    return up;
}

std::vector<std::string> SquidProxy::accessLog() const {
    std::ifstream in(prefix_.pathOf("access.log"), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace testsupport
