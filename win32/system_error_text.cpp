#include "win32/system_error_text.h"

#include <windows.h>

#include "engine/byte_limits.h"

namespace updater::win32 {

std::string systemErrorText(unsigned long code) {
    char buffer[kMessageBufferBytes];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  buffer, sizeof buffer, nullptr);
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r')) --length;
    return std::string(buffer, length);
}

}  // namespace updater::win32
