#pragma once
// One GET request over WinInet, as the engine sees it.
#include <optional>

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
    std::string contentLength() override;
    std::size_t read(char* buffer, std::size_t size) override;

private:
    std::string queryText(DWORD infoLevel) const;
    [[noreturn]] void throwOpenFailure() const;

    RequestHandle handle_;
    std::optional<NetworkError> openFailure_;
};

}  // namespace updater::net
