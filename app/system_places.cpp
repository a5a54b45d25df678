#include "app/system_places.h"

#include <windows.h>

#include <vector>

#include "engine/text/byte_limits.h"

namespace updater::app {
namespace {

// The path read into a buffer of bufferBytes, so at most bufferBytes - 1 kept.
std::string modulePath(std::size_t bufferBytes) {
    std::vector<char> buffer(bufferBytes, '\0');
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(bufferBytes));
    // A path cut by the buffer may come back without its terminator.
    std::size_t kept = length;
    if (kept >= bufferBytes) kept = keptBytes(bufferBytes);
    return std::string(buffer.data(), kept);
}

}  // namespace

SystemPlaces readSystemPlaces() {
    return {.modulePath = modulePath(kPathBufferBytes),
            .configModulePath = modulePath(kConfigPathBufferBytes)};
}

}  // namespace updater::app
