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

std::string WinInetRequest::statusCode() { return queryText(HTTP_QUERY_STATUS_CODE).value_or(""); }

std::string WinInetRequest::statusText() { return queryText(HTTP_QUERY_STATUS_TEXT).value_or(""); }

// Every header, not just the first: lengths that contradict each other must be seen.
std::vector<std::string> WinInetRequest::contentLengths() {
    std::vector<std::string> values;
    DWORD index = 0;
    while (std::optional<std::string> value = queryText(HTTP_QUERY_CONTENT_LENGTH, &index)) {
        values.push_back(std::move(*value));
        if (index == 0) break;  // a client that does not count headers
    }
    return values;
}

std::string WinInetRequest::transferEncoding() {
    return queryText(HTTP_QUERY_TRANSFER_ENCODING).value_or("");
}

// First ask how many bytes the value needs, then read it into a buffer that
// size. Nothing when the header is absent or the query fails.
std::optional<std::string> WinInetRequest::queryText(DWORD infoLevel, DWORD* index) const {
    if (!handle_) return std::nullopt;
    DWORD length = 0;
    DWORD probeIndex = index ? *index : 0;
    if (HttpQueryInfoA(handle_.get(), infoLevel, nullptr, &length, &probeIndex)) {
        if (index) *index = probeIndex;
        return std::string();
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || length == 0) return std::nullopt;
    std::string value(length, '\0');
    if (!HttpQueryInfoA(handle_.get(), infoLevel, value.data(), &length, index)) return std::nullopt;
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
