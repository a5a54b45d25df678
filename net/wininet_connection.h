#pragma once
// The one HTTP connection to the update server; opens the GET requests.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/code_page.h"
#include "engine/http.h"
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
    WinInetConnection(win32::ConnectionHandle handle, std::string server, std::uint16_t port, DWORD connectError,
                      SessionShare share, const CodePage& cp);

    std::unique_ptr<HttpRequest> openGet(const std::string& objectName) override;
    void close();
    // Forgets the connection without closing it: a call is still inside.
    void leave();

private:
    win32::ConnectionHandle handle_;
    std::string server_;
    std::uint16_t port_ = 0;
    DWORD connectError_ = ERROR_INVALID_HANDLE;
    const CodePage* cp_;
    SessionShare share_;
};

// Fixed for every request: reuse the connection, never follow a redirect,
// keep the answer in a cache file.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NEED_FILE;
static_assert(kRequestFlags == 0x20200010);

// A server that accepts and then goes quiet, before its answer or in the
// middle of a body, would otherwise hold the wizard for good: WinInet under
// Wine waits without limit. The usual WinInet values, set on the connection:
// long enough for a slow line, short enough for a user to wait.
constexpr DWORD kReceiveTimeoutMs = 30000;
constexpr DWORD kSendTimeoutMs = 30000;

}  // namespace updater::net
