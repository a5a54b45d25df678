#include "net/network_failure.h"

#include <wininet.h>

#include "engine/report/network_error_text.h"
#include "win32/system_error_text.h"

namespace updater::net {

namespace {

std::string lastResponseText() {
    DWORD error = 0;
    std::string text(1024, '\0');
    DWORD length = static_cast<DWORD>(text.size());
    if (!InternetGetLastResponseInfoA(&error, text.data(), &length)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
        text.assign(length + 1, '\0');
        length = static_cast<DWORD>(text.size());
        if (!InternetGetLastResponseInfoA(&error, text.data(), &length)) return {};
    }
    text.resize(length);
    return text;
}

class Win32ErrorSources final : public NetworkErrorSources {
public:
    explicit Win32ErrorSources(const std::string& lastResponse) : lastResponse_(lastResponse) {}
    std::string moduleText(unsigned long code) const override {
        return win32::moduleErrorText(GetModuleHandleA("wininet.dll"), code);
    }
    std::string systemText(unsigned long code) const override {
        return win32::systemErrorText(code);
    }
    std::string lastResponseText() const override { return lastResponse_; }

private:
    const std::string& lastResponse_;
};

}  // namespace

FailedCall captureFailure(DWORD code) {
    FailedCall failure{code, {}};
    if (code == kInternetExtendedError) failure.lastResponse = lastResponseText();
    return failure;
}

std::string networkErrorText(const FailedCall& failure, const CodePage& cp) {
    return composeNetworkErrorText(failure.code, Win32ErrorSources(failure.lastResponse), cp);
}

NetworkError networkError(const FailedCall& failure, const CodePage& cp) {
    return NetworkError(failure.code, networkErrorText(failure, cp));
}

NetworkError networkError(DWORD code, const CodePage& cp) { return networkError(captureFailure(code), cp); }

}  // namespace updater::net
