#include "net/network_failure.h"

#include <wininet.h>

#include <memory>

#include "engine/network_error_text.h"

namespace updater::net {

namespace {

struct LocalFreeDeleter {
    void operator()(char* text) const { LocalFree(text); }
};
using LocalText = std::unique_ptr<char, LocalFreeDeleter>;

// The whole message, however long; the composer decides where to cut.
std::string formatMessage(DWORD source, HMODULE module, DWORD code) {
    char* buffer = nullptr;
    DWORD length = FormatMessageA(source | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, module, code,
                                  0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    LocalText owner(buffer);
    return length ? std::string(buffer, length) : std::string();
}

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
        HMODULE wininet = GetModuleHandleA("wininet.dll");
        return wininet ? formatMessage(FORMAT_MESSAGE_FROM_HMODULE, wininet, code) : std::string();
    }
    std::string systemText(unsigned long code) const override {
        return formatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code);
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
