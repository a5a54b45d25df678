#include "net/wininet_request.h"

#include <algorithm>

#include "net/network_failure.h"

namespace updater::net {

WinInetRequest::WinInetRequest(RequestHandle handle) : handle_(std::move(handle)) {}

WinInetRequest::WinInetRequest(NetworkError openFailure) : openFailure_(std::move(openFailure)) {}

void WinInetRequest::throwOpenFailure() const {
    if (openFailure_) throw *openFailure_;
    throw networkError(ERROR_INVALID_HANDLE);
}

void WinInetRequest::send() {
    if (!handle_) throwOpenFailure();
    if (!HttpSendRequestA(handle_.get(), nullptr, 0, nullptr, 0)) {
        DWORD code = GetLastError();
        throw networkError(code);
    }
}

std::string WinInetRequest::statusCode() { return queryText(HTTP_QUERY_STATUS_CODE); }

std::string WinInetRequest::statusText() { return queryText(HTTP_QUERY_STATUS_TEXT); }

std::string WinInetRequest::contentLength() { return queryText(HTTP_QUERY_CONTENT_LENGTH); }

// First ask how many bytes the value needs, then read it into a buffer that size.
std::string WinInetRequest::queryText(DWORD infoLevel) const {
    if (!handle_) return {};
    DWORD length = 0;
    if (HttpQueryInfoA(handle_.get(), infoLevel, nullptr, &length, nullptr)) return {};
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length == 0) return {};
    std::string value(length, '\0');
    if (!HttpQueryInfoA(handle_.get(), infoLevel, value.data(), &length, nullptr)) return {};
    value.resize(std::min<std::size_t>(length, value.size()));
    return value;
}

std::size_t WinInetRequest::read(char* buffer, std::size_t size) {
    if (!handle_) throwOpenFailure();
    DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
    DWORD got = 0;
    if (!InternetReadFile(handle_.get(), buffer, wanted, &got)) {
        DWORD code = GetLastError();
        throw networkError(code);
    }
    return got;
}

}  // namespace updater::net
