#pragma once
// Values read from updataAdd.ini and parsed from its URL.
#include <cstdint>
#include <string>

namespace updater {

// The scheme of the update URL; anything but http and https is unusable.
enum class UrlScheme { Unusable, Http, Https };

struct UpdateSettings {
    std::string productName = "kelmor";
    std::string installedVersion = "1.26";
    std::string url = "http://update.kelmor.com/kelmor/";
    UrlScheme scheme = UrlScheme::Unusable;  // the service type parsed from the URL
    std::string server;
    std::string urlPath;        // starts with "/", normally ends with "/"
    std::uint16_t port = 80;
    // What the wizard calls the product in its texts (shown text); empty:
    // productName, which also names the manifest's section and the process.
    std::string displayName;

    const std::string& shownName() const { return displayName.empty() ? productName : displayName; }
};

// Plain http always; https only for a brand that opts in (AllowHttps=1).
inline bool isAcceptedScheme(UrlScheme scheme, bool httpsAllowed) {
    return scheme == UrlScheme::Http || (scheme == UrlScheme::Https && httpsAllowed);
}

}  // namespace updater
