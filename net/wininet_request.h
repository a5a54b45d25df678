#pragma once
// One GET request over WinInet, as the engine sees it.
#include <optional>
#include <string>
#include <vector>

#include "engine/http.h"
#include "net/internet_handle.h"

namespace updater::net {

class WinInetRequest final : public HttpRequest {
public:
    explicit WinInetRequest(RequestHandle handle);
    // A request the client could not create: send() raises this failure.
    explicit WinInetRequest(NetworkError openFailure);

    void send() override;
    std::string statusCode() override;
    std::string statusText() override;
    std::vector<std::string> contentLengths() override;
    std::string transferEncoding() override;
    std::size_t read(char* buffer, std::size_t size) override;

private:
    // index: which of several headers of that name; moved on to the next.
    std::optional<std::string> queryText(DWORD infoLevel, DWORD* index = nullptr) const;
    [[noreturn]] void throwOpenFailure() const;

    RequestHandle handle_;
    std::optional<NetworkError> openFailure_;
};

}  // namespace updater::net
