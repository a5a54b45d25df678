#pragma once
// The one wait of the tests, the demo and the benchmark: a condition asked
// again and again up to a time limit, never a fixed sleep.
#include <chrono>
#include <thread>

namespace testsupport {

// True as soon as condition() holds; false when it still does not at the limit.
template <typename Condition>
bool pollUntil(Condition&& condition, std::chrono::milliseconds limit,
               std::chrono::milliseconds interval = std::chrono::milliseconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(interval);
    }
    return true;
}

}  // namespace testsupport
