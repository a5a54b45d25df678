#pragma once
// nginx on 127.0.0.1, serving a folder as the vendor's web server would, with
// the configuration kept in scripts/nginx-demo.conf. Each instance has its own
// prefix (configuration, logs, pid file) and a free port; the destructor stops
// nginx and removes the prefix.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/file_bytes.h"
#include "tests/support/tls_certificates.h"

namespace testsupport {

class NginxServer {
public:
    // root: the folder whose subfolders are served, e.g. root/kelmor/update.ini
    // as http://127.0.0.1:PORT/kelmor/update.ini. It and its files must be
    // readable by nginx's worker user. With tls, it serves https only.
    explicit NginxServer(const std::string& root, std::optional<TlsFiles> tls = std::nullopt);
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    std::string url(const std::string& path) const;
    int port() const { return port_; }
    // Serves another certificate from now on, on the same port: nginx is
    // started anew, so no connection keeps the old one.
    void useCertificate(const TlsFiles& tls);
    // The access log so far, one line per request: "GET /kelmor/x HTTP/1.0 200 1234".
    std::vector<std::string> accessLog() const;

private:
    bool startOn(int port);

    ScratchDir prefix_{"updater-nginx"};
    std::string root_;
    std::optional<TlsFiles> tls_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> process_;  // ends before the prefix goes
};

}  // namespace testsupport
