#include "tests/support/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/test_http_server.h"

namespace testsupport {

namespace fs = std::filesystem;

namespace {

constexpr int kPortAttempts = 5;
constexpr auto kStartLimit = std::chrono::seconds(10);

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
}

bool accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

}  // namespace

std::string nginxConfigTemplate() {
    const char* source = std::getenv("UPDATER_SOURCE_DIR");
    if (!source || !*source) throw std::runtime_error("UPDATER_SOURCE_DIR is not set (scripts/test sets it)");
    return std::string(source) + "/scripts/nginx-demo.conf";
}

NginxServer::NginxServer(const std::string& root) : root_(fs::absolute(root).string()) {
    char pattern[] = "/tmp/updater-nginx.XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    prefix_ = pattern;
    // A port free a moment ago may be taken before nginx binds it: try again.
    for (int attempt = 0; attempt < kPortAttempts; ++attempt)
        if (startOn(static_cast<int>(closedPort()))) return;
    const std::string log = process_ ? process_->output() : "";
    std::error_code ignored;
    fs::remove_all(prefix_, ignored);
    throw std::runtime_error("nginx did not start: " + log);
}

NginxServer::~NginxServer() {
    process_.reset();
    std::error_code ignored;
    fs::remove_all(prefix_, ignored);
}

bool NginxServer::startOn(int port) {
    std::string config = readText(nginxConfigTemplate());
    replaceAll(config, "@PREFIX@", prefix_);
    replaceAll(config, "@PORT@", std::to_string(port));
    replaceAll(config, "@ROOT@", root_);
    const std::string configPath = prefix_ + "/nginx.conf";
    std::ofstream(configPath, std::ios::binary | std::ios::trunc) << config;
    const std::string pidPath = prefix_ + "/nginx.pid";
    std::error_code ignored;
    fs::remove(pidPath, ignored);

    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"nginx", "-p", prefix_, "-c", configPath, "-e", prefix_ + "/error.log"});
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    // nginx writes its pid file once it holds the port: only then is an
    // answer on the port nginx's and not another program's.
    while (process_->running()) {
        if (fs::exists(pidPath) && accepts(port)) {
            port_ = port;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    process_->stop();
    return false;
}

std::string NginxServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> NginxServer::accessLog() const {
    std::ifstream in(prefix_ + "/access.log", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace testsupport
