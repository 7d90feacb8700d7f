#include "sdi/zr_deck_link_output.h"

#include "sdi_bridge_test_support.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// The card's thread sleeps through eight frame times: the frames due meanwhile reach the
// dropped count, the bridge catches up with the clock, and picture and sound keep its pace.
TEST(ZRDeckLinkLateWake, FramesTheCardsClockPassedOverReachTheDroppedCount) {
    test::BridgeRig rig;
    ASSERT_TRUE(
        rig.start([](std::int32_t* s, long long frames) { std::fill_n(s, 2 * frames, 5); }));
    rig.output->step(5);
    EXPECT_EQ(rig.bridge.droppedFrameCount(), 0u);
    rig.output->stepLate(8);
    rig.output->step(5);

    const SdiOutputCounters c = rig.output->counters();
    EXPECT_EQ(c.ticks, 18);
    EXPECT_EQ(c.ticksMissed, 7);
    EXPECT_GE(c.framesDropped + c.framesDisplayedLate, 3);
    EXPECT_EQ(rig.bridge.droppedFrameCount(),
              static_cast<std::uint64_t>(c.framesDropped + c.framesDisplayedLate));
    EXPECT_EQ(c.audioSamplesPlayed, 18 * 1920);
    long long onAir = 0;
    ASSERT_EQ(rig.output->scheduledStreamTime(25, &onAir), SdiResult::ok);
    EXPECT_EQ(onAir, 17);
    // Caught up: the last frames went out on time with three more in flight.
    EXPECT_EQ(rig.bridge.framesInFlight(), 3);
    EXPECT_FALSE(rig.bridge.isStalled());
    const long long before = c.framesCompleted;
    rig.output->step(2);
    EXPECT_EQ(rig.output->counters().framesCompleted, before + 2);
    EXPECT_EQ(rig.bridge.droppedFrameCount(),
              static_cast<std::uint64_t>(c.framesDropped + c.framesDisplayedLate));
}

}  // namespace
}  // namespace velmar
