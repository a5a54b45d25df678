#pragma once
// The URL under which WinInet keeps a request's answer in its cache.
#include <cstdint>
#include <string>

namespace updater::net {

// "http://server" plus ":port" unless it is the default 80, plus the object name.
inline std::string cacheUrl(const std::string& server, std::uint16_t port, const std::string& objectName) {
    std::string url = "http://" + server;
    if (port != 80) url += ":" + std::to_string(port);
    return url + objectName;
}

}  // namespace updater::net
