#include "engine/transfer/url_port.h"

namespace updater {

bool hasUsablePort(std::string_view url) {
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos) return true;
    std::string_view authority = url.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of("/\\?#"));
    const std::size_t userEnd = authority.rfind('@');
    if (userEnd != std::string_view::npos) authority.remove_prefix(userEnd + 1);
    // An IPv6 address holds colons of its own.
    const std::size_t hostEnd = authority.empty() || authority[0] != '[' ? 0 : authority.find(']');
    if (hostEnd == std::string_view::npos) return true;
    const std::size_t colon = authority.find(':', hostEnd);
    if (colon == std::string_view::npos) return true;
    const std::string_view port = authority.substr(colon + 1);
    unsigned long value = 0;
    for (char c : port) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > 65535) return false;
    }
    return true;
}

}  // namespace updater
