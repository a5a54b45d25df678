#include "ui/system_paths.h"

#include <windows.h>

#include <vector>

#include "engine/update_settings.h"

namespace updater::ui {

std::string modulePath(std::size_t bufferBytes) {
    std::vector<char> buffer(bufferBytes, '\0');
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(bufferBytes));
    // A path cut by the buffer may come back without its terminator.
    std::size_t kept = length;
    if (kept >= bufferBytes) kept = bufferBytes - 1;
    return std::string(buffer.data(), kept);
}

std::string temporaryDirectory() {
    char buffer[kPathBufferBytes] = {};
    const DWORD length = GetTempPathA(sizeof buffer, buffer);
    // A longer path does not fit: the buffer is left alone and counts as empty.
    return length < sizeof buffer ? std::string(buffer, length) : std::string();
}

}  // namespace updater::ui
