#include "win32/system_error_text.h"

#include <memory>

#include "win32/shown_text.h"

namespace updater::win32 {
namespace {

struct LocalFreeDeleter {
    void operator()(wchar_t* text) const { LocalFree(text); }
};
using LocalText = std::unique_ptr<wchar_t, LocalFreeDeleter>;

// Read wide, as the string table is: the system's language need not be the
// ANSI code page's.
std::string formatMessage(DWORD source, HMODULE module, DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(source | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, module, code,
                                  0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const LocalText owner(buffer);
    // Message tables end their texts with "\r\n"; no box or list line wants it.
    while (length > 0 && (buffer[length - 1] == L'\n' || buffer[length - 1] == L'\r')) --length;
    return buffer ? shownFromWide(std::wstring_view(buffer, length)) : std::string();
}

}  // namespace

std::string systemErrorText(unsigned long code) {
    return formatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code);
}

std::string moduleErrorText(HMODULE module, unsigned long code) {
    return module ? formatMessage(FORMAT_MESSAGE_FROM_HMODULE, module, code) : std::string();
}

}  // namespace updater::win32
