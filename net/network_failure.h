#pragma once
// Turns a WinInet or system error code into the engine's NetworkError.
#include <windows.h>

#include <string>

#include "engine/text/code_page.h"
#include "engine/platform/http.h"

namespace updater::net {

// What a failed call leaves that only its own thread can read: WinInet keeps
// the server's last response per thread. Take it right after the failing
// call, on the thread that made it.
struct FailedCall {
    DWORD code = 0;
    std::string lastResponse;  // read for the extended error only
};
FailedCall captureFailure(DWORD code);

// The user-visible text for the failure, cut by the characters of cp:
// WinInet's message table, the system's as a fallback, the server's last
// response for the extended error.
std::string networkErrorText(const FailedCall& failure, const CodePage& cp);
NetworkError networkError(const FailedCall& failure, const CodePage& cp);

// For a call made on this thread: call with the code captured right after it.
NetworkError networkError(DWORD code, const CodePage& cp);

}  // namespace updater::net
