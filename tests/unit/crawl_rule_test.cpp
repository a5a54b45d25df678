// The crawl rule on a clock moved by hand.
#include "engine/transfer/crawl_rule.h"

#include <gtest/gtest.h>

namespace updater {
namespace {

constexpr std::uint64_t kStart = 5000;

TEST(CrawlRule, ATrickleIsGivenUpOnceAWholeWindowHasPassed) {
    CrawlRule rule(kStart);
    std::uint64_t now = kStart;
    for (; now < kStart + 29000; now += 1000) {
        rule.received(now, 1);
        EXPECT_FALSE(rule.isCrawling(now)) << "not before a whole window";
    }
    now = kStart + 30000;
    rule.received(now, 1);
    EXPECT_TRUE(rule.isCrawling(now));
    // Silence after a good start is crawling too, once the good bytes age out.
    CrawlRule quiet(kStart);
    quiet.received(kStart + 100, 1 << 20);
    EXPECT_FALSE(quiet.isCrawling(kStart + 30099));
    EXPECT_TRUE(quiet.isCrawling(kStart + 30100));
}

TEST(CrawlRule, ASlowButLivingTransferGoesOn) {
    CrawlRule rule(kStart);
    // 40 bytes a second: 1,200 in every 30 s, just above the floor.
    for (std::uint64_t now = kStart; now < kStart + 600000; now += 250) {
        rule.received(now, 10);
        ASSERT_FALSE(rule.isCrawling(now)) << now;
    }
}

TEST(CrawlRule, AnySpanCountsNotOnlyTheFirst) {
    CrawlRule rule(kStart);
    rule.received(kStart + 1000, 100000);
    for (std::uint64_t now = kStart + 2000; now <= kStart + 60000; now += 2000) {
        rule.received(now, 60);  // 900 bytes per 30 s once the burst is old
        const bool burstInWindow = now < kStart + 1000 + 30000;
        EXPECT_EQ(rule.isCrawling(now), !burstInWindow) << now;
    }
}

}  // namespace
}  // namespace updater
