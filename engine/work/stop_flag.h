#pragma once
// How the window's thread tells long work to stop. The work looks at it
// between chunks and wherever it waits; nothing is interrupted mid-step.
#include <atomic>

namespace updater {

class StopFlag {
public:
    void request() { requested_.store(true, std::memory_order_release); }
    bool requested() const { return requested_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> requested_{false};
};

}  // namespace updater
