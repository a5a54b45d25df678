#pragma once
// How the text of a network failure is chosen from what the platform offers.
// The Win32 side supplies the sources; the choice itself is portable so that
// it can be tested without WinInet.
#include <cstddef>
#include <string>

#include "engine/text/code_page.h"

namespace updater {

// WinInet's "extended error": the useful text is the server's last response.
constexpr unsigned long kInternetExtendedError = 12003;

class NetworkErrorSources {
public:
    virtual ~NetworkErrorSources() = default;
    // The HTTP client module's message for the code; empty when it has none.
    virtual std::string moduleText(unsigned long code) const = 0;
    // The system's message for the code; empty when it has none.
    virtual std::string systemText(unsigned long code) const = 0;
    // The last response text the client kept from the server; empty when none.
    virtual std::string lastResponseText() const = 0;
};

// The text for a failure with this code: the last response text for the
// extended error, otherwise the module's message, otherwise the system's;
// each later source stands in when the earlier one is empty. Trailing line
// breaks are dropped. The result is cut to at most 1023 bytes without
// splitting a double-byte character. Empty when no source has a text.
std::string composeNetworkErrorText(unsigned long code, const NetworkErrorSources& sources, const CodePage& cp);

}  // namespace updater
