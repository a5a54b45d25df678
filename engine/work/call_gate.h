#pragma once
// Left calls: one rule for a blocking call that cannot be woken.
//
// Some calls of the HTTP client cannot be interrupted: under Wine, closing a
// handle from another thread does not wake a send or a read blocked on it,
// and closing a session while another thread is inside a call on it is not
// safe anywhere. So a thread that stops waiting for such a call (the caller
// of a bounded send, the window's thread when it leaves a worker) leaves it:
// the call goes on, on its own thread, which closes what the call used once
// it returns.
//
// Every call on the session's handles, and every close of a request, passes
// through the session's gate. Closing the session closes the gate to new
// calls, then waits a short bound for the calls inside. When they have left,
// the handles are closed; otherwise they are left to process exit, which
// reclaims them. A call that finds the gate closed fails without touching a
// handle, and a request whose session is gone is never closed on its own.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace updater {

// How long an owner waits for a left call or worker before it goes on without it.
constexpr std::uint32_t kLeftCallWaitMs = 5000;

class CallGate {
public:
    // Held for the length of one call; empty when the gate was closed.
    class Pass {
    public:
        Pass() = default;
        Pass(Pass&& other) noexcept : gate_(other.gate_) { other.gate_ = nullptr; }
        Pass& operator=(Pass&&) = delete;
        ~Pass();
        explicit operator bool() const { return gate_ != nullptr; }

    private:
        friend class CallGate;
        explicit Pass(CallGate* gate) : gate_(gate) {}
        CallGate* gate_ = nullptr;
    };

    CallGate() = default;
    CallGate(const CallGate&) = delete;
    CallGate& operator=(const CallGate&) = delete;

    Pass enter();
    // Lets no call in any more, then waits at most waitMs for the calls
    // inside. True when none is left inside: the handles may be closed.
    bool close(std::uint32_t waitMs);

private:
    void leave();

    std::mutex mutex_;
    std::condition_variable emptied_;
    int inside_ = 0;
    bool closed_ = false;
};

}  // namespace updater
