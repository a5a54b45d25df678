#include "win32/system_error_text.h"

#include <memory>

namespace updater::win32 {
namespace {

struct LocalFreeDeleter {
    void operator()(char* text) const { LocalFree(text); }
};
using LocalText = std::unique_ptr<char, LocalFreeDeleter>;

std::string formatMessage(DWORD source, HMODULE module, DWORD code) {
    char* buffer = nullptr;
    DWORD length = FormatMessageA(source | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, module, code,
                                  0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    const LocalText owner(buffer);
    // Message tables end their texts with "\r\n"; no box or list line wants it.
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r')) --length;
    return std::string(buffer ? buffer : "", length);
}

}  // namespace

std::string systemErrorText(unsigned long code) {
    return formatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code);
}

std::string moduleErrorText(HMODULE module, unsigned long code) {
    return module ? formatMessage(FORMAT_MESSAGE_FROM_HMODULE, module, code) : std::string();
}

}  // namespace updater::win32
