#pragma once
// Values read from updataAdd.ini and parsed from its URL.
#include <cstdint>
#include <string>

namespace updater {

struct UpdateSettings {
    std::string productName = "kelmor";
    std::string installedVersion = "1.26";
    std::string url = "http://update.kelmor.com/kelmor/";
    bool isPlainHttp = false;   // the service type parsed from the URL
    std::string server;
    std::string urlPath;        // starts with "/", normally ends with "/"
    std::uint16_t port = 80;
};

}  // namespace updater
