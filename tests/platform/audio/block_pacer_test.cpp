#include "platform/audio/block_pacer.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace velmar {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

// Blocks of 1024 frames at 48 kHz; block k falls due at floor(k x 1024 / 48000 s).
TEST(BlockPacer, KeepsTheExactSampleRateWhateverTheWakes) {
    BlockPacer pacer(1024, 48000);
    const std::int64_t origin = 5 * kSecond;
    pacer.start(origin);
    const std::int64_t lateness[] = {0, 3'000'000, 150'000, 40'000'000, 0, 90'000'000, 1};
    std::int64_t now = origin;
    for (int i = 0; i < 2000; ++i) {
        now = std::max(now, pacer.nextDueNanos()) + lateness[i % 7];
        pacer.takeDue(now);
        // Every block due by now, none beyond: k x 1024 x 10^9 < (now + 1) x 48000.
        ASSERT_EQ(pacer.delivered(),
                  ((now - origin + 1) * 48000 + 1024 * kSecond - 1) / (1024 * kSecond));
    }
    pacer.start(origin);
    while (pacer.delivered() < 375) pacer.takeDue(pacer.nextDueNanos());
    EXPECT_EQ(pacer.nextDueNanos(), origin + 8 * kSecond);  // no rounding accumulated
}

TEST(BlockPacer, NothingBeforeItsTimeAndNoBurstAfterAStall) {
    BlockPacer pacer(1024, 48000);
    pacer.start(0);
    EXPECT_EQ(pacer.takeDue(0), 1);
    EXPECT_EQ(pacer.takeDue(pacer.nextDueNanos() - 1), 0);
    EXPECT_EQ(pacer.takeDue(pacer.nextDueNanos() + 3 * 21'333'334), 4);  // caught up
    const std::int64_t wake = pacer.nextDueNanos() + 10 * kSecond;       // stopped for 10 s
    EXPECT_EQ(pacer.takeDue(wake), 1);
    EXPECT_EQ(pacer.nextDueNanos(), wake + 21'333'333);
    EXPECT_EQ(pacer.delivered(), 6);
}

}  // namespace
}  // namespace velmar
