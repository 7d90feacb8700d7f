#include "platform/audio/block_pacer.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace velmar {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

// Blocks of 1024 frames at 48 kHz: 375 blocks are exactly 8 s.
TEST(BlockPacer, KeepsTheExactSampleRateWhateverTheWakes) {
    BlockPacer pacer(1024, 48000);
    const std::int64_t origin = 5 * kSecond;
    pacer.start(origin);
    // Wakes late by varying amounts, never by more than the catch-up allows.
    const std::int64_t lateness[] = {0, 3'000'000, 150'000, 40'000'000, 0, 90'000'000, 1};
    std::int64_t now = origin;
    for (int i = 0; i < 2000; ++i) {
        now = std::max(now, pacer.nextDueNanos()) + lateness[i % 7];
        pacer.takeDue(now);
        // Every block due by now was handed out, and none beyond: block k falls due at
        // floor(k x 1024 / 48000 s), so those with k x 1024 x 10^9 < (now + 1) x 48000.
        const std::int64_t due =
            ((now - origin + 1) * 48000 + 1024 * kSecond - 1) / (1024 * kSecond);
        ASSERT_EQ(pacer.delivered(), due) << "wake " << i;
    }
    BlockPacer exact(1024, 48000);
    exact.start(origin);
    while (exact.delivered() < 375) exact.takeDue(exact.nextDueNanos());
    EXPECT_EQ(exact.nextDueNanos(), origin + 8 * kSecond);  // no rounding accumulated
}

TEST(BlockPacer, NothingBeforeItsTimeAndNoBurstAfterAStall) {
    BlockPacer pacer(1024, 48000);
    pacer.start(0);
    EXPECT_EQ(pacer.takeDue(0), 1);
    EXPECT_EQ(pacer.takeDue(pacer.nextDueNanos() - 1), 0);
    EXPECT_EQ(pacer.takeDue(pacer.nextDueNanos() + 3 * 21'333'334), 4);  // caught up
    // Stopped for ten seconds: one block, then the schedule runs on from the wake.
    const std::int64_t wake = pacer.nextDueNanos() + 10 * kSecond;
    EXPECT_EQ(pacer.takeDue(wake), 1);
    EXPECT_EQ(pacer.nextDueNanos(), wake + 21'333'333);
    EXPECT_EQ(pacer.delivered(), 6);
}

}  // namespace
}  // namespace velmar
