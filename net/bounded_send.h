#pragma once
// HttpSendRequestA with a time limit. A blocked WinInet call cannot be ended
// from outside: under Wine, closing the request from another thread does not
// wake a send that waits for trickling headers. So the call runs on a thread
// of its own; when it overruns, the request is left to that thread, which
// closes it once the call returns at last.
#include <windows.h>
#include <wininet.h>

#include <memory>

#include "win32/unique_handle.h"

namespace updater::net {

class BoundedSend {
public:
    BoundedSend();
    ~BoundedSend();
    BoundedSend(const BoundedSend&) = delete;
    BoundedSend& operator=(const BoundedSend&) = delete;

    struct Outcome {
        bool sent = false;
        bool overran = false;       // the request now belongs to the sending thread
        DWORD errorCode = 0;        // when neither sent nor overran
    };
    // Sends the request, waiting at most limitMs.
    Outcome send(win32::RequestHandle& request, DWORD limitMs);

private:
    struct Channel;
    static DWORD WINAPI sendingThread(void* channel);
    std::shared_ptr<Channel> channel_;  // shared with its thread; a new one after an overrun
};

}  // namespace updater::net
