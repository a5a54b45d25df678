#pragma once
// Turns a WinInet or system error code into the engine's NetworkError.
#include <windows.h>

#include <string>

#include "engine/code_page.h"
#include "engine/http.h"

namespace updater::net {

// The user-visible text for the code, cut by the characters of cp: WinInet's
// message table, the system's as a fallback, the server's last response for
// the extended error.
std::string networkErrorText(DWORD code, const CodePage& cp);

// Call with the code captured right after the failing call.
NetworkError networkError(DWORD code, const CodePage& cp);

}  // namespace updater::net
