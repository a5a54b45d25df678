#pragma once
// Turns a WinInet or system error code into the engine's NetworkError.
#include <windows.h>

#include <string>

#include "engine/http.h"

namespace updater::net {

// The user-visible text for the code: WinInet's message table, the system's
// as a fallback, the server's last response for the extended error.
std::string networkErrorText(DWORD code);

// Call with the code captured right after the failing call.
NetworkError networkError(DWORD code);

}  // namespace updater::net
