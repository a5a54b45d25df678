#pragma once
// The one HTTP connection to the update server; opens the GET requests.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/text/code_page.h"
#include "engine/platform/http.h"
#include "net/cache_url.h"
#include "net/wininet_request.h"
#include "win32/unique_handle.h"

namespace updater::net {

class WinInetConnection final : public HttpConnection {
public:
    // No connection (none made yet, or closed): every request fails at
    // send() with ERROR_INVALID_HANDLE. Error texts are cut by the
    // characters of cp, which must outlive the object.
    explicit WinInetConnection(const CodePage& cp) : cp_(&cp) {}
    // connectError: the code InternetConnectA left when handle is empty.
    WinInetConnection(win32::ConnectionHandle handle, Endpoint endpoint, DWORD connectError, SessionShare share,
                      const CodePage& cp);

    std::unique_ptr<HttpRequest> openGet(const std::string& objectName, CacheUse cache) override;
    void close();
    // Forgets the connection without closing it: a call is still inside.
    void leave();

private:
    win32::ConnectionHandle handle_;
    Endpoint endpoint_;
    DWORD connectError_ = ERROR_INVALID_HANDLE;
    const CodePage* cp_;
    SessionShare share_;
};

// Fixed for every request: reuse the connection, never follow a redirect,
// keep the answer in a cache file.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NEED_FILE;
static_assert(kRequestFlags == 0x20200010);

// An https request adds only INTERNET_FLAG_SECURE: none of the
// INTERNET_FLAG_IGNORE_CERT_* flags and no INTERNET_OPTION_SECURITY_FLAGS,
// so WinInet checks the certificate strictly and a failed check fails the
// send with its code (ERROR_INTERNET_INVALID_CA, ..._SEC_CERT_DATE_INVALID,
// ..._SEC_CERT_CN_INVALID, ...), as a refused connection does. There is no
// fallback to http. Revocation is what the system does by default: Windows'
// WinInet checks it when the Internet Options setting "Check for server
// certificate revocation" is on (the default since Internet Explorer 7), fails
// a revoked certificate (ERROR_INTERNET_SEC_CERT_REVOKED), and goes on when
// no revocation server answers. Wine's WinInet asks for no revocation check.
constexpr DWORD kSecureRequestFlags = kRequestFlags | INTERNET_FLAG_SECURE;

// What CacheUse::NoCache adds to a request; the flags stay as they are.
constexpr char kNoCacheHeaders[] = "Pragma: no-cache\r\nCache-Control: no-cache\r\n";

// A server that accepts and then goes quiet, before its answer or in the
// middle of a body, would otherwise hold the wizard for good: WinInet under
// Wine waits without limit. The usual WinInet values, set on the connection:
// long enough for a slow line, short enough for a user to wait.
constexpr DWORD kReceiveTimeoutMs = 30000;
constexpr DWORD kSendTimeoutMs = 30000;

}  // namespace updater::net
