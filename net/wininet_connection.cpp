#include "net/wininet_connection.h"

#include "net/cache_url.h"
#include "net/network_failure.h"
#include "net/wininet_request.h"

namespace updater::net {

namespace {
constexpr DWORD_PTR kContext = 1;
}

WinInetConnection::WinInetConnection(win32::ConnectionHandle handle, Endpoint endpoint, DWORD connectError,
                                     SessionShare share, const CodePage& cp)
    : handle_(std::move(handle)),
      endpoint_(std::move(endpoint)),
      connectError_(connectError),
      cp_(&cp),
      share_(std::move(share)) {}

std::unique_ptr<HttpRequest> WinInetConnection::openGet(const std::string& objectName, CacheUse cache) {
    if (!handle_) return std::make_unique<WinInetRequest>(networkError(connectError_, *cp_), *cp_);
    // The flags ask for no reload, so a cached copy from an earlier run could
    // hide a changed manifest; dropping the entry forces a trip to the server.
    std::string entry = cacheUrl(endpoint_, objectName);
    DeleteUrlCacheEntryA(entry.c_str());
    const CallGate::Pass pass = share_.gate->enter();
    if (!pass) return std::make_unique<WinInetRequest>(networkError(ERROR_INVALID_HANDLE, *cp_), *cp_);
    HINTERNET request = HttpOpenRequestA(handle_.get(), "GET", objectName.c_str(), "HTTP/1.0", nullptr, nullptr,
                                         endpoint_.secure ? kSecureRequestFlags : kRequestFlags, kContext);
    if (request && cache == CacheUse::NoCache &&
        !HttpAddRequestHeadersA(request, kNoCacheHeaders, static_cast<DWORD>(sizeof kNoCacheHeaders - 1),
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE)) {
        DWORD code = GetLastError();
        InternetCloseHandle(request);
        return std::make_unique<WinInetRequest>(networkError(code, *cp_), *cp_);
    }
    if (!request) {
        DWORD code = GetLastError();
        return std::make_unique<WinInetRequest>(networkError(code, *cp_), *cp_);
    }
    return std::make_unique<WinInetRequest>(win32::RequestHandle(request), share_, std::move(entry), *cp_);
}

void WinInetConnection::close() {
    handle_.reset();
    connectError_ = ERROR_INVALID_HANDLE;
}

void WinInetConnection::leave() {
    handle_.release();
    connectError_ = ERROR_INVALID_HANDLE;
}

}  // namespace updater::net
