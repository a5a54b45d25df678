#include "net/network_failure.h"

#include <wininet.h>

#include "engine/network_error_text.h"
#include "win32/system_error_text.h"

namespace updater::net {

namespace {

class Win32ErrorSources final : public NetworkErrorSources {
public:
    std::string moduleText(unsigned long code) const override {
        return win32::moduleErrorText(GetModuleHandleA("wininet.dll"), code);
    }
    std::string systemText(unsigned long code) const override {
        return win32::systemErrorText(code);
    }
    std::string lastResponseText() const override {
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
};

}  // namespace

std::string networkErrorText(DWORD code, const CodePage& cp) {
    return composeNetworkErrorText(code, Win32ErrorSources(), cp);
}

NetworkError networkError(DWORD code, const CodePage& cp) { return NetworkError(code, networkErrorText(code, cp)); }

}  // namespace updater::net
