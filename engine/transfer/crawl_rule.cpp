#include "engine/transfer/crawl_rule.h"

namespace updater {

namespace {
constexpr std::uint64_t kSlotMs = 1000;
}

void CrawlRule::received(std::uint64_t nowMs, std::uint64_t bytes) {
    if (bytes == 0) return;
    if (!slots_.empty() && nowMs / kSlotMs == slots_.back().lastMs / kSlotMs) {
        slots_.back().lastMs = nowMs;
        slots_.back().bytes += bytes;
    } else {
        slots_.push_back(Slot{nowMs, bytes});
    }
    windowBytes_ += bytes;
    forgetBefore(nowMs);
}

bool CrawlRule::isCrawling(std::uint64_t nowMs) {
    if (nowMs < startMs_ + kWindowMs) return false;
    forgetBefore(nowMs);
    return windowBytes_ < kMinimumBytes;
}

// A slot leaves the window once its latest arrival is a whole window old, so
// the count errs on the generous side by less than a slot.
void CrawlRule::forgetBefore(std::uint64_t nowMs) {
    while (!slots_.empty() && slots_.front().lastMs + kWindowMs <= nowMs) {
        windowBytes_ -= slots_.front().bytes;
        slots_.pop_front();
    }
}

}  // namespace updater
