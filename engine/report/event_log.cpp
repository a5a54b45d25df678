#include "engine/report/event_log.h"

namespace updater {

std::string errorCodeText(unsigned long code, std::string_view text) {
    std::string line = "error " + std::to_string(code);
    if (!text.empty()) line.append(" (").append(text).append(")");
    return line;
}

std::wstring logFolderName(std::wstring_view productName) {
    std::wstring name;
    for (wchar_t c : productName) {
        const bool control = c < 0x20 || c == 0x7f;
        name += control || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos ? L'_' : c;
    }
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
    while (!name.empty() && name.front() == L' ') name.erase(0, 1);
    return name.empty() ? L"Update" : name;
}

}  // namespace updater
