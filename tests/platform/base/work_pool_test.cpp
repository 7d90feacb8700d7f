#include "platform/base/work_pool.h"

#include "support/test_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <vector>

namespace velmar {
namespace {

using test::TestGate;

constexpr auto kGuard = std::chrono::seconds(60);

// A lane full of blocked jobs holds only its own threads: work of another lane starts and
// finishes while they wait, and the blocked lane's further jobs wait their turn.
TEST(WorkPoolTest, ABlockedLaneNeverHoldsBackAnotherLane) {
    WorkPool pool("test.pool", {2, 1});
    TestGate gate;
    std::atomic<int> slowDone{0};
    for (int i = 0; i < 6; ++i) {
        pool.async(0, [&] {
            gate.pass();
            ++slowDone;
        });
    }
    ASSERT_TRUE(gate.awaitWaiting(2));
    std::promise<void> quick;
    pool.async(1, [&] { quick.set_value(); });
    EXPECT_EQ(quick.get_future().wait_for(kGuard), std::future_status::ready);
    EXPECT_EQ(gate.waiting(), 2) << "the blocked lane runs no more than its limit";
    EXPECT_LE(pool.threadCount(), 3) << "no more threads than the lanes may use";

    gate.open();
    pool.waitUntilIdle();
    EXPECT_EQ(slowDone.load(), 6);
}

// Within a lane of one job at a time, work runs in submission order; destruction runs what is
// still queued before it returns; a lane the pool does not have is refused.
TEST(WorkPoolTest, KeepsOrderInASingleLaneAndFinishesQueuedWorkOnDestruction) {
    std::vector<int> order;
    {
        WorkPool pool("test.order", {1});
        for (int i = 0; i < 50; ++i) pool.async(0, [&order, i] { order.push_back(i); });
        EXPECT_FALSE(pool.async(1, [] {}));
        EXPECT_FALSE(pool.async(0, nullptr));
        EXPECT_EQ(pool.laneCount(), 1u);
    }
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
}

// Threads are made as work needs them and kept for later work.
TEST(WorkPoolTest, MakesThreadsOnDemandAndReusesThem) {
    WorkPool pool("test.reuse", {3});
    EXPECT_EQ(pool.threadCount(), 0);
    for (int round = 0; round < 20; ++round) {
        pool.async(0, [] {});
        pool.waitUntilIdle();
    }
    EXPECT_EQ(pool.threadCount(), 1);
    TestGate gate;
    for (int i = 0; i < 3; ++i) pool.async(0, [&] { gate.pass(); });
    ASSERT_TRUE(gate.awaitWaiting(3));
    EXPECT_EQ(pool.threadCount(), 3);
    gate.open();
    pool.waitUntilIdle();
}

}  // namespace
}  // namespace velmar
