// The SDI soak test on the virtual card (manual clock) with the runner's 1 s timer on the fake
// clock: drops against the card's own counters, the output left as it was found, the log read
// back from disk, and the ends a test can meet early.
#include "preflight_runner_fixture.h"

namespace velmar {
namespace {

using Status = PreflightRunner::Item::Status;

class PreflightSoakTest : public test::PreflightFixture {
  protected:
    // One second of the test: the card plays a second's frames, then the timer fires.
    void second(int frames = 60) {
        output->step(frames);
        clock.advance(1.0);
    }
};

TEST_F(PreflightSoakTest, ACleanRunStartedWhileStoppedReportsNoDropsAndStopsAgain) {
    setTake(false);
    runner->runSoak(3);
    ASSERT_TRUE(host.running);
    second();
    second();
    EXPECT_EQ(runner->soakRemaining(), 1);
    EXPECT_TRUE(runner->items().isEmpty());
    second();
    EXPECT_EQ(runner->soakRemaining(), 0);
    EXPECT_FALSE(controller->isRunning());
    ASSERT_EQ(runner->items().size(), 1);
    EXPECT_EQ(item(0).title, "SDI 実流し");
    EXPECT_EQ(item(0).status, Status::ok);
    EXPECT_EQ(item(0).detail, "3 秒間、落ちフレームなし");
    EXPECT_EQ(logLinesWith("SOAK"), QStringList({"SOAK START  3s", "SOAK END  dropped=0"}));
}

TEST_F(PreflightSoakTest, DropsEqualTheCardsCountersAndARunningOutputKeepsRunning) {
    SdiFaults faults;
    faults.droppedFrames = {20, 70};
    faults.lateFrames = {100};
    useCard(faults);
    setTake(false);
    host.startDeckLink();
    output->step(10);  // drops before the test are not its own
    runner->run();
    runner->runSoak(2);
    second();
    second();
    const SdiOutputCounters counters = output->counters();
    EXPECT_EQ(counters.framesDropped + counters.framesDisplayedLate, 3);
    EXPECT_TRUE(host.running);
    ASSERT_EQ(runner->items().size(), PreflightRunner::kCheckCount + 1);
    EXPECT_EQ(item(PreflightRunner::kCheckCount).detail, "2 秒間で 3 フレーム落ちました");
    EXPECT_EQ(logLinesWith("SOAK END"), QStringList({"SOAK END  dropped=3"}));
}

// Mended: the ticks never looked at the output, so a test whose output was stopped by hand
// reported no dropped frames, and one whose output was restarted a negative count.
TEST_F(PreflightSoakTest, AnOutputStoppedOrRestartedMidTestEndsItFailed) {
    SdiFaults faults;
    faults.droppedFrames = {30};
    for (bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "restarted" : "stopped");
        useCard(faults);
        setTake(false);
        makeRunner();
        host.startDeckLink();
        runner->runSoak(5);
        second();  // frame 30 is dropped in the first second
        host.stopDeckLink();
        if (restart) host.startDeckLink();
        second();
        EXPECT_EQ(runner->soakRemaining(), 0);
        ASSERT_EQ(runner->items().size(), 1);
        EXPECT_EQ(item(0).status, Status::failed);
        EXPECT_EQ(item(0).detail, "SDI 出力が途中で止まりました");
        EXPECT_EQ(logLinesWith("SOAK END").value(restart ? 1 : 0), "SOAK END  dropped=1");
        EXPECT_EQ(host.running, restart);  // the test stops nothing it did not start
        host.stopDeckLink();
    }
}

// Mended: dropping the runner mid-test (its window closed) logged no end, and the output the
// test had started kept running.
TEST_F(PreflightSoakTest, DroppingTheRunnerMidTestLogsTheEndAndStopsOnlyItsOwnOutput) {
    setTake(false);
    runner->runSoak(30);
    second();
    runner.reset();
    EXPECT_FALSE(host.running);
    EXPECT_EQ(logLinesWith("SOAK END"), QStringList({"SOAK END  dropped=0"}));

    makeRunner();
    host.startDeckLink();
    runner->runSoak(30);
    runner->cancelSoak();
    EXPECT_TRUE(host.running);
    EXPECT_EQ(runner->soakRemaining(), 0);
    clock.advance(5);  // the timer is gone
    EXPECT_EQ(logLinesWith("SOAK END").size(), 2);
}

// Mended: a count below 1 left the remaining seconds at -1, so no test could start again.
TEST_F(PreflightSoakTest, RefusesBadCountsASecondTestAndTestsWithoutAnOutput) {
    setTake(false);
    runner->runSoak(0);
    runner->runSoak(-3);
    EXPECT_EQ(host.starts, 0);
    runner->runSoak(1);
    runner->runSoak(9);  // ignored while the first runs
    second();
    runner->runSoak(1);
    EXPECT_EQ(runner->soakRemaining(), 1);
    second();
    EXPECT_EQ(logLinesWith("SOAK START"), QStringList({"SOAK START  1s", "SOAK START  1s"}));

    SdiFaults faults;
    faults.startPlaybackFails = true;
    useCard(faults);
    runner->runSoak(30);
    EXPECT_FALSE(host.lastMessage.isEmpty());
    host.controller = nullptr;
    runner->runSoak(30);
    EXPECT_EQ(host.starts, 3);
    EXPECT_EQ(runner->items().size(), 2);
    EXPECT_EQ(logLinesWith("SOAK").size(), 4);
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

}  // namespace
}  // namespace velmar
