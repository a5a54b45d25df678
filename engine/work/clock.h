#pragma once
// Elapsed time for the engine's deadlines; tests give a clock they move by hand.
#include <chrono>
#include <cstdint>

namespace updater {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; never goes back.
    virtual std::uint64_t nowMs() = 0;
};

class SteadyClock : public Clock {
public:
    std::uint64_t nowMs() override {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    }
};

}  // namespace updater
