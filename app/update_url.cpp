#include "app/update_url.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "engine/text/byte_limits.h"
#include "engine/transfer/url_port.h"

namespace updater::app {
namespace {

constexpr DWORD kUrlBufferChars = kUrlBufferBytes;

// The URL in the platform's canonical form; nothing when it refuses.
bool canonicalise(const std::string& url, std::vector<char>& out) {
    out.assign(kUrlBufferChars, '\0');
    DWORD size = kUrlBufferChars;
    return InternetCanonicalizeUrlA(url.c_str(), out.data(), &size, ICU_BROWSER_MODE) != FALSE;
}

}  // namespace

void parseUpdateUrl(UpdateSettings& settings) {
    settings.scheme = UrlScheme::Unusable;
    std::vector<char> canonical;
    if (!canonicalise(settings.url, canonical)) return;

    std::vector<char> scheme(kUrlBufferChars, '\0');
    std::vector<char> host(kUrlBufferChars, '\0');
    std::vector<char> path(kUrlBufferChars, '\0');
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = scheme.data();
    parts.dwSchemeLength = kUrlBufferChars;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = kUrlBufferChars;
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = kUrlBufferChars;
    if (!InternetCrackUrlA(canonical.data(), 0, 0, &parts)) return;
    // A port past 65535 is cracked to its low 16 bits: another server.
    if (!hasUsablePort(canonical.data())) return;

    // The cracked port is the scheme's default (80, 443) when the URL gives none.
    settings.scheme = parts.nScheme == INTERNET_SCHEME_HTTP    ? UrlScheme::Http
                      : parts.nScheme == INTERNET_SCHEME_HTTPS ? UrlScheme::Https
                                                               : UrlScheme::Unusable;
    settings.server = host.data();
    settings.urlPath = path.data();
    settings.port = parts.nPort;
}

}  // namespace updater::app
