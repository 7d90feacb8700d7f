#include "support/fake_clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmar::test {
namespace {

TEST(FakeClock, RepeatingTimerTicksAtItsPeriodWithNowAtEachTick) {
    FakeClock clock;
    std::vector<double> ticks;
    auto timer = clock.makeTimer([&] { ticks.push_back(clock.now()); });
    const double start = clock.now();
    timer->start(1.0 / 120.0, true);
    clock.advance(1.0);
    ASSERT_EQ(ticks.size(), 120u);
    EXPECT_NEAR(ticks.front() - start, 1.0 / 120.0, 1e-9);
    EXPECT_NEAR(ticks.back() - start, 1.0, 1e-9);
    EXPECT_NEAR(clock.now() - start, 1.0, 1e-12);
}

TEST(FakeClock, TimersFireInDueOrderAndMayStopOrRestartThemselves) {
    FakeClock clock;
    std::vector<int> fired;
    std::unique_ptr<Timer> a;
    std::unique_ptr<Timer> b;
    a = clock.makeTimer([&] {
        fired.push_back(1);
        a->stop();
    });
    b = clock.makeTimer([&] {
        fired.push_back(2);
        if (fired.size() < 4) b->start(0.3, false);
    });
    a->start(0.5, true);
    b->start(0.2, false);
    clock.advance(2.0);
    // b at 0.2; at 0.5 both are due and the earlier-made timer (a) goes first; then b at 0.8.
    EXPECT_EQ(fired, (std::vector<int>{2, 1, 2, 2}));
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

TEST(FakeClock, DestroyedTimerNeverFiresAndWallTimeMovesWithHostTime) {
    FakeClock clock(86400.0 * 100);
    int fired = 0;
    auto timer = clock.makeTimer([&] { ++fired; });
    timer->start(1.0, false);
    timer.reset();
    clock.advance(5.0);
    EXPECT_EQ(fired, 0);
    const auto wall = std::chrono::duration<double>(clock.wallNow().time_since_epoch()).count();
    EXPECT_NEAR(wall, 86400.0 * 100 + 5.0, 1e-6);
}

}  // namespace
}  // namespace velmar::test
