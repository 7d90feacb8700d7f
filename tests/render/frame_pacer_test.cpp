#include "render/frame_pacer.h"

#include "support/fake_clock.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmar {
namespace {

constexpr double P = 1.0 / 64;  // exact in binary, so the step cases are exact too

TEST(FramePacerTest, StepCases) {
    struct Case {
        const char* name;
        double after;     // periods after the last frame time
        double expected;  // periods after the last frame time, or NAN for "resynchronised"
    };
    const Case cases[] = {
        {"2.6 periods: three steps less 2 % of a period", 2.6, 3 - 0.05 * 0.4},
        {"0.7 period: still one step", 0.7, 1 - 0.05 * 0.3},
        {"exactly on time", 1.0, 1.0},
        {"0.4 period: error of 0.6 resynchronises", 0.4, NAN},
        {"error of exactly half a period resynchronises", 1.5, NAN},
        {"late by a little less than half stays paced", 1.375, 1 + 0.05 * 0.375},
        {"late by a little more than half rounds to two steps", 1.625, 2 - 0.05 * 0.375},
    };
    for (const auto& c : cases) {
        FramePacer pacer;
        pacer.queryTime(50, P);
        pacer.queryTime(50 + P, P);  // ideal = 50 + P, on time
        const double last = pacer.ideal;
        const double now = last + c.after * P;
        const double got = pacer.queryTime(now, P);
        if (std::isnan(c.expected)) {
            EXPECT_EQ(got, now) << c.name;
        } else {
            EXPECT_NEAR((got - last) / P, c.expected, 1e-6) << c.name;
        }
        EXPECT_EQ(pacer.ideal, got) << c.name;
    }
}

TEST(FramePacerTest, PeriodChangesAndStops) {
    FramePacer pacer;
    EXPECT_EQ(pacer.queryTime(10, P), 10);  // starts at now
    pacer.queryTime(10 + P, P);
    // Another mode: restart at now.
    EXPECT_EQ(pacer.queryTime(10.05, 1.0 / 50), 10.05);
    EXPECT_EQ(pacer.period, 1.0 / 50);
    // Stopped: reset and pass through, keeping the stored period.
    EXPECT_EQ(pacer.queryTime(11, 0), 11);
    EXPECT_EQ(pacer.period, 1.0 / 50);
    // Started again with the same period: not started, so it starts at now.
    EXPECT_EQ(pacer.queryTime(12, 1.0 / 50), 12);
    // A period that is not a number never paces.
    pacer.queryTime(13, NAN);
    EXPECT_EQ(pacer.queryTime(13.5, NAN), 13.5);
}

TEST(FramePacerTest, ReadsTheInjectedClock) {
    test::FakeClock clock;
    FramePacer pacer(&clock);
    pacer.queryTime(P);
    clock.advance(P);
    EXPECT_DOUBLE_EQ(pacer.queryTime(P), clock.now());
}

}  // namespace
}  // namespace velmar
