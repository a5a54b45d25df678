#pragma once
// nginx on 127.0.0.1, serving a folder as the vendor's web server would, with
// the configuration kept in scripts/nginx-demo.conf. Each instance has its own
// prefix (configuration, logs, pid file) and a free port; the destructor stops
// nginx and removes the prefix.
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess;

class NginxServer {
public:
    // root: the folder whose subfolders are served, e.g. root/kelmor/update.ini
    // as http://127.0.0.1:PORT/kelmor/update.ini. It and its files must be
    // readable by nginx's worker user.
    explicit NginxServer(const std::string& root);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const;
    // The access log so far, one line per request: "GET /kelmor/x HTTP/1.0 200 1234".
    std::vector<std::string> accessLog() const;

private:
    bool startOn(int port);

    std::string prefix_;
    std::string root_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

// $UPDATER_SOURCE_DIR/scripts/nginx-demo.conf; throws when it is not set.
std::string nginxConfigTemplate();

}  // namespace testsupport
