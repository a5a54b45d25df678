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

// Buffer sizes of the profile lookups, in bytes (the value keeps one less).
constexpr std::size_t kSettingBufferBytes = 100;
constexpr std::size_t kProductVersionBufferBytes = 128;
constexpr std::size_t kFileValueBufferBytes = 260;
constexpr std::size_t kPathBufferBytes = 260;
// The wizard's caption and heading as a vendor's brand sets them: what this
// buffer holds; the build refuses a longer title.
constexpr std::size_t kTitleBufferBytes = 64;

}  // namespace updater
