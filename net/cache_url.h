#pragma once
// The URL under which WinInet keeps a request's answer in its cache.
#include <cstdint>
#include <string>

namespace updater::net {

// Where the requests go: the server, its port, and whether over TLS.
struct Endpoint {
    std::string server;
    std::uint16_t port = 80;
    bool secure = false;
};

// "http://server" or "https://server", plus ":port" unless it is the
// scheme's default (80, 443), plus the object name.
inline std::string cacheUrl(const Endpoint& endpoint, const std::string& objectName) {
    std::string url = (endpoint.secure ? "https://" : "http://") + endpoint.server;
    if (endpoint.port != (endpoint.secure ? 443 : 80)) url += ":" + std::to_string(endpoint.port);
    return url + objectName;
}

}  // namespace updater::net
