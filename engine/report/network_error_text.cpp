#include "engine/report/network_error_text.h"

#include "engine/text/byte_limits.h"

namespace updater {

namespace {

// Message tables end their texts with "\r\n"; a list line must not carry it.
std::string withoutTrailingLineBreaks(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

std::string composeNetworkErrorText(unsigned long code, const NetworkErrorSources& sources, const CodePage& cp) {
    std::string text;
    if (code == kInternetExtendedError) text = withoutTrailingLineBreaks(sources.lastResponseText());
    if (text.empty()) text = withoutTrailingLineBreaks(sources.moduleText(code));
    if (text.empty()) text = withoutTrailingLineBreaks(sources.systemText(code));
    return cutToBytes(text, keptBytes(kNetworkErrorTextBufferBytes), cp);
}

}  // namespace updater
