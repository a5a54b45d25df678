#include "engine/work/call_gate.h"

#include <chrono>

namespace updater {

CallGate::Pass::~Pass() {
    if (gate_) gate_->leave();
}

CallGate::Pass CallGate::enter() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) return Pass();
    ++inside_;
    return Pass(this);
}

// Notified under the lock: the closer may destroy the gate once it has seen
// it empty.
void CallGate::leave() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (--inside_ == 0) emptied_.notify_all();
}

bool CallGate::close(std::uint32_t waitMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    closed_ = true;
    return emptied_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return inside_ == 0; });
}

}  // namespace updater
