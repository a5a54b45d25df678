#pragma once
// When a transfer counts as dead although bytes still trickle in: fewer than
// 1,024 bytes in any 30-second span. The platform's receive time-out only
// sees silence, so a server that sends a byte a second would otherwise hold
// a transfer, and the user, for hours.
#include <cstdint>
#include <deque>

namespace updater {

class CrawlRule {
public:
    static constexpr std::uint64_t kWindowMs = 30000;
    static constexpr std::uint64_t kMinimumBytes = 1024;

    // startMs: when bytes could first arrive.
    explicit CrawlRule(std::uint64_t startMs) : startMs_(startMs) {}

    void received(std::uint64_t nowMs, std::uint64_t bytes);
    // True once a whole window has passed since the start, and the last
    // window brought fewer than kMinimumBytes.
    bool isCrawling(std::uint64_t nowMs);

private:
    struct Slot {
        std::uint64_t lastMs;  // the latest arrival counted in the slot
        std::uint64_t bytes;
    };
    void forgetBefore(std::uint64_t nowMs);

    std::uint64_t startMs_;
    // Arrivals merged by the second, so a fast transfer keeps ~30 slots.
    std::deque<Slot> slots_;
    std::uint64_t windowBytes_ = 0;
};

}  // namespace updater
