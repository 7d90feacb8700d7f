// The keyer's level ramp and its cut, fade and clear on a fake clock, with a still loaded from a
// stand-in decoder.
#include "support/qt_printers.h"

#include "core/dsk_controller.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace velmar {
namespace {

using test::FakeClock;

class DSKLevelsTest : public ::testing::Test {
protected:
    FakeClock clock;
    std::unique_ptr<DSKController> dsk;
    std::vector<std::function<void()>> deferred;
    bool deferBackground = false;

    void SetUp() override {
        DSKController::Services s;
        s.clock = &clock;
        s.timers = &clock;
        s.loadFullStill = [](const QUrl&) -> ImageRef {
            auto image = std::make_shared<QImage>(4, 4, QImage::Format_RGBA8888_Premultiplied);
            image->fill(Qt::white);
            return image;
        };
        s.runInBackground = [this](std::function<void()> work) {
            if (deferBackground) {
                deferred.push_back(std::move(work));
            } else {
                work();
            }
        };
        dsk = std::make_unique<DSKController>(s);
    }
    void TearDown() override {
        dsk.reset();
        test::drainMainQueue();
    }

    void loadStill() {
        dsk->loadURLs({QUrl::fromLocalFile("/keyer/logo.png")}, 0);
        test::drainMainQueue();
        ASSERT_TRUE(dsk->media().has_value());
    }
    double level() const { return dsk->snapshot().level(clock.now()); }
};

TEST(DSKSnapshot, LevelFollowsTheRampAndIsClampedAtBothEnds) {
    DSKController::Snapshot s;
    s.from = 0.2;
    s.to = 1.0;
    s.started = 10;
    s.duration = 2;
    EXPECT_DOUBLE_EQ(s.level(9), 0.2);
    EXPECT_DOUBLE_EQ(s.level(11), 0.6);
    EXPECT_DOUBLE_EQ(s.level(13), 1.0);
    s.duration = 0;
    EXPECT_DOUBLE_EQ(s.level(9), 1.0) << "no duration: the level is the end value";
}

TEST_F(DSKLevelsTest, DurationsThatAreNotFinitePositiveSwitchAtOnce) {
    ASSERT_NO_FATAL_FAILURE(loadStill());
    for (double d : {0.0, -1.0, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
        dsk->fade(d);
        EXPECT_TRUE(dsk->isActive()) << d;
        EXPECT_FALSE(dsk->isTransitioning()) << d;
        EXPECT_DOUBLE_EQ(level(), 1.0) << d;
        EXPECT_EQ(clock.activeTimerCount(), 0) << d;
        dsk->fade(d);
        EXPECT_FALSE(dsk->isActive()) << d;
        EXPECT_DOUBLE_EQ(level(), 0.0) << d;
    }
}

TEST_F(DSKLevelsTest, CutCompletesARunningFadeAndFadesDuringAFadeAreIgnored) {
    ASSERT_NO_FATAL_FAILURE(loadStill());
    dsk->fade(1.0);
    clock.advance(0.25);
    dsk->fade(1.0);  // ignored, whichever its direction
    EXPECT_NEAR(level(), 0.25, 1e-9);
    dsk->cut();
    EXPECT_DOUBLE_EQ(level(), 1.0);
    EXPECT_TRUE(dsk->isActive());
    EXPECT_FALSE(dsk->isTransitioning());
    EXPECT_EQ(clock.activeTimerCount(), 0) << "no finish timer left";
    dsk->cut();
    EXPECT_FALSE(dsk->isActive());

    dsk->cut();
    dsk->fade(1.0);  // fade-out
    clock.advance(0.5);
    dsk->fade(0.1);
    EXPECT_NEAR(level(), 0.5, 1e-9);
    EXPECT_TRUE(dsk->isActive());
    dsk->cut();
    EXPECT_DOUBLE_EQ(level(), 0.0);
    EXPECT_FALSE(dsk->isActive());
    EXPECT_FALSE(dsk->isTransitioning());
}

TEST_F(DSKLevelsTest, AFadeOutFromLevelZeroIsInactiveAtOnceButTransitionsUntilItsTimer) {
    ASSERT_NO_FATAL_FAILURE(loadStill());
    dsk->transition(0, 0.5);
    EXPECT_FALSE(dsk->isActive());
    EXPECT_TRUE(dsk->isTransitioning());
    clock.advance(0.6);
    EXPECT_FALSE(dsk->isTransitioning());
}

TEST_F(DSKLevelsTest, CutAndFadeDoNothingWithoutAMediumOrWhileLoading) {
    dsk->cut();
    dsk->fade(0.5);
    EXPECT_FALSE(dsk->isActive());
    EXPECT_EQ(clock.activeTimerCount(), 0);

    ASSERT_NO_FATAL_FAILURE(loadStill());
    deferBackground = true;
    dsk->loadURLs({QUrl::fromLocalFile("/keyer/other.png")}, 0);
    ASSERT_TRUE(dsk->isLoading());
    dsk->cut();
    dsk->fade(0.5);
    EXPECT_FALSE(dsk->isActive());
    EXPECT_FALSE(dsk->isTransitioning());
    EXPECT_DOUBLE_EQ(level(), 0.0);
}

TEST_F(DSKLevelsTest, ClearDuringAFadeResetsEverythingAndClearingAgainPublishesNothing) {
    ASSERT_NO_FATAL_FAILURE(loadStill());
    dsk->fade(1.0);
    clock.advance(0.5);
    const QUuid before = dsk->snapshot().generation;
    dsk->clear();
    EXPECT_EQ(clock.activeTimerCount(), 0);
    EXPECT_FALSE(dsk->isActive());
    EXPECT_FALSE(dsk->isTransitioning());
    const DSKController::Snapshot s = dsk->snapshot();
    EXPECT_FALSE(s.media.has_value());
    EXPECT_NE(s.generation, before);
    EXPECT_EQ(s.to, 0.0);
    EXPECT_EQ(s.duration, 0.0);
    EXPECT_DOUBLE_EQ(level(), 0.0);

    QSignalSpy media(dsk.get(), &DSKController::mediaChanged);
    QSignalSpy sources(dsk.get(), &DSKController::sourcesChanged);
    dsk->clear();
    EXPECT_EQ(media.count(), 0);
    EXPECT_EQ(sources.count(), 0);
}

}  // namespace
}  // namespace velmar
