#pragma once
// A blocking send with a time limit and a stop flag. The send runs on a
// sending thread of its own; the caller waits for it at most the limit, and
// stops waiting once the stop flag is raised. A send it stops waiting for is
// left to the sending thread (see engine/work/call_gate.h and
// leavable_thread.h), which cleans up after it once it returns and then ends.
//
// One caller at a time: the sending thread serves one call, so a second
// caller that comes while a send is under way is refused, not queued.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "engine/work/leavable_thread.h"
#include "engine/work/stop_flag.h"

namespace updater {

// What a send came to, gathered on the thread that made it.
struct SendResult {
    bool sent = false;
    unsigned long errorCode = 0;
    // The server's last answer when the send failed: the client keeps it per
    // thread, so only the sending thread can read it.
    std::string lastResponse;
};

class BoundedSend {
public:
    struct Call {
        std::function<SendResult()> send;
        // Run on the sending thread after send, only when the caller had
        // stopped waiting: closes what the call used.
        std::function<void()> cleanUp;
    };
    enum class End {
        Returned,  // result holds what the send came to
        Overran,   // the limit passed first; the call is the sending thread's now
        Stopped,   // the stop flag was raised first; the call is the sending thread's now
        Refused,   // another caller's send was under way; nothing was sent
    };
    struct Outcome {
        End end;
        SendResult result;
    };

    // onThreadStart: run first on each sending thread (to name it).
    explicit BoundedSend(std::function<void()> onThreadStart = {});
    // Ends the idle sending thread and joins it; a left one runs on alone.
    ~BoundedSend();
    BoundedSend(const BoundedSend&) = delete;
    BoundedSend& operator=(const BoundedSend&) = delete;

    Outcome send(Call call, std::uint32_t limitMs, const StopFlag& stop);

    // How often a wait looks at the stop flag, which has no way to wake it.
    static constexpr std::uint32_t kStopPollMs = 50;

private:
    struct Channel;
    static void serve(const std::shared_ptr<Channel>& channel);
    bool startThread();

    std::function<void()> onThreadStart_;
    std::atomic<bool> busy_{false};
    std::shared_ptr<Channel> channel_;  // shared with its thread; a new one after a left call
    // Left when the caller stops waiting: it cleans up after the call and ends.
    LeavableThread thread_{LeavableThread::WhenLeft::CleansUpAlone};
};

}  // namespace updater
