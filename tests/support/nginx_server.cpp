#include "tests/support/nginx_server.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tests/support/poll.h"
#include "tests/support/test_http_server.h"

namespace testsupport {

namespace fs = std::filesystem;

namespace {

constexpr int kPortAttempts = 5;
constexpr auto kStartLimit = std::chrono::seconds(10);

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
}

bool accepts(int port) {
    const int fd = connectLoopback(port);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

// $UPDATER_SOURCE_DIR/scripts/nginx-demo.conf, with @PREFIX@, @PORT@ and @ROOT@ to fill in.
std::string configTemplate() {
    const char* source = std::getenv("UPDATER_SOURCE_DIR");
    if (!source || !*source) throw std::runtime_error("UPDATER_SOURCE_DIR is not set (scripts/test sets it)");
    const std::string path = std::string(source) + "/scripts/nginx-demo.conf";
    if (std::optional<std::string> text = fileBytes(path)) return *text;
    throw std::runtime_error("cannot read " + path);
}

// The template's one listen line, made a TLS listener with these files.
void listenWithTls(std::string& config, const TlsFiles& tls) {
    const std::string listen = "listen 127.0.0.1:@PORT@;";
    if (config.find(listen) == std::string::npos) throw std::runtime_error("nginx-demo.conf has no \"" + listen + "\"");
    replaceAll(config, listen, "listen 127.0.0.1:@PORT@ ssl; ssl_certificate " + tls.certificate +
                                   "; ssl_certificate_key " + tls.key + ";");
}

}  // namespace

NginxServer::NginxServer(const std::string& root, std::optional<TlsFiles> tls)
    : root_(fs::absolute(root).string()), tls_(std::move(tls)) {
    // A port free a moment ago may be taken before nginx binds it: try again.
    for (int attempt = 0; attempt < kPortAttempts; ++attempt)
        if (startOn(static_cast<int>(closedPort()))) return;
    throw std::runtime_error("nginx did not start: " + (process_ ? process_->output() : ""));
}

bool NginxServer::startOn(int port) {
    std::string config = configTemplate();
    if (tls_) listenWithTls(config, *tls_);
    replaceAll(config, "@PREFIX@", prefix_.path());
    replaceAll(config, "@PORT@", std::to_string(port));
    replaceAll(config, "@ROOT@", root_);
    const std::string configPath = prefix_.pathOf("nginx.conf"), pidPath = prefix_.pathOf("nginx.pid");
    writeFileBytes(configPath, config);
    std::error_code ignored;
    fs::remove(pidPath, ignored);

    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"nginx", "-p", prefix_.path(), "-c", configPath, "-e", prefix_.pathOf("error.log")});
    // nginx writes its pid file once it holds the port: only then is an
    // answer on the port nginx's and not another program's.
    bool up = false;
    pollUntil([&] { return (up = fs::exists(pidPath) && accepts(port)) || !process_->running(); }, kStartLimit);
    if (up) port_ = port;
    if (!up) process_->stop();
    return up;
}

std::string NginxServer::url(const std::string& path) const {
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) + path;
}

void NginxServer::useCertificate(const TlsFiles& tls) {
    tls_ = tls;
    process_->stop();
    for (int attempt = 0; attempt < kPortAttempts; ++attempt)
        if (startOn(port_)) return;
    throw std::runtime_error("nginx did not start again: " + process_->output());
}

std::vector<std::string> NginxServer::accessLog() const {
    std::ifstream in(prefix_.pathOf("access.log"), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace testsupport
