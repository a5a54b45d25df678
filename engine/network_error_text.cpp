#include "engine/network_error_text.h"

namespace updater {

namespace {

// Message tables end their texts with "\r\n"; a list line must not carry it.
std::string withoutTrailingLineBreaks(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// Cuts at a character boundary: walking whole characters from the start is
// the only way to know whether the byte before the cut is a lead byte.
void cutToLimit(std::string& text, const NetworkErrorSources& sources) {
    if (text.size() <= kNetworkErrorTextMaxBytes) return;
    std::size_t end = 0;
    while (end < text.size()) {
        std::size_t next = end + (sources.isLeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1);
        if (next > kNetworkErrorTextMaxBytes) break;
        end = next;
    }
    text.resize(end);
}

}  // namespace

std::string composeNetworkErrorText(unsigned long code, const NetworkErrorSources& sources) {
    std::string text;
    if (code == kInternetExtendedError) text = withoutTrailingLineBreaks(sources.lastResponseText());
    if (text.empty()) text = withoutTrailingLineBreaks(sources.moduleText(code));
    if (text.empty()) text = withoutTrailingLineBreaks(sources.systemText(code));
    cutToLimit(text, sources);
    return text;
}

}  // namespace updater
