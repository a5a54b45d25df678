#pragma once
// The one owner of a thread that may have to be left (see call_gate.h for
// why a call may not be woken). The owner joins the thread within a bound,
// or leaves it: the thread runs on alone until its body returns, or until
// process exit.
//
// The policy for a left thread:
// - A thread is left only once its owner has stopped waiting for it: a
//   bound passed, or a stop was asked and a bound passed after it.
// - What a left thread goes on using, it owns or shares (shared_ptr); it
//   never reads the owner's members again.
// - CleansUpAlone: the thread borrows nothing that outlives its owner only
//   by chance; it closes what its call used and ends by itself.
// - HoldsUntilExit: the thread still borrows what the program destroys on
//   its way out (the session, the services). Once one is left, the program
//   ends with process exit before destroying those (anyHeldUntilExit()).
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace updater {

class LeavableThread {
public:
    enum class WhenLeft { CleansUpAlone, HoldsUntilExit };

    explicit LeavableThread(WhenLeft policy) : policy_(policy) {}
    // Joins a thread that was started and not left: its owner must have told
    // it to end first.
    ~LeavableThread();
    LeavableThread(const LeavableThread&) = delete;
    LeavableThread& operator=(const LeavableThread&) = delete;

    // Runs body on a new thread; body must not throw. False when no thread could be had: nothing
    // runs. One thread per owner at a time.
    bool start(std::function<void()> body);
    bool running() const { return thread_.joinable(); }
    // Waits at most waitMs for the body to return; true once it has and the
    // thread is joined.
    bool joinWithin(std::uint32_t waitMs);
    // Stops waiting for good: the thread is no longer this owner's.
    void leave();

    // Whether a thread left under HoldsUntilExit exists in this process.
    static bool anyHeldUntilExit();

private:
    struct End;
    WhenLeft policy_;
    std::shared_ptr<End> end_;  // shared with the thread, which outlives a leave
    std::thread thread_;
};

}  // namespace updater
