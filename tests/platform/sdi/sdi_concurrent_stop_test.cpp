// Stopping one output from two threads at once, and stopping it beside a restart.
#include "platform/sdi/virtual_sdi_card.h"

#include "sdi_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <system_error>
#include <thread>

namespace velmar {
namespace {

constexpr int kRounds = 200;

class SdiConcurrentStop : public testing::Test {
  protected:
    void SetUp() override {
        card = std::make_unique<VirtualSdiCard>(test::manualCard({test::smallMode(25, 1)}));
        output = card->deviceAtIndex(0)->output();
        ASSERT_EQ(output->enableVideoOutput(output->displayModes()[0].code), SdiResult::ok);
    }

    // Runs a stop, keeping what it threw (a thread joined twice throws) as a failure text.
    void stopKeepingErrors(std::string* error) {
        try {
            output->stopScheduledPlayback(0, nullptr, 25);
        } catch (const std::system_error& e) {
            *error = e.what();
        }
    }

    std::unique_ptr<VirtualSdiCard> card;
    std::shared_ptr<SdiOutput> output;
};

TEST_F(SdiConcurrentStop, TwoStopsAtOnceJoinOnceAndBothReturnAfterTheStoppedHandler) {
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<int> entered{0};
        std::atomic<int> stopped{0};
        // The playback ends only once both stops are under way, so that both find it running.
        output->setScheduledFrameCompletionCallback({}, [&] {
            while (entered.load() < 2) std::this_thread::yield();
            ++stopped;
        });
        ASSERT_EQ(output->startScheduledPlayback(0, 25, 1.0), SdiResult::ok);

        std::string errors[2];
        int stoppedAtReturn[2] = {-1, -1};
        auto stopper = [&](int i) {
            ++entered;
            stopKeepingErrors(&errors[i]);
            stoppedAtReturn[i] = stopped.load();
        };
        std::thread first(stopper, 0);
        std::thread second(stopper, 1);
        first.join();
        second.join();
        ASSERT_EQ(errors[0] + errors[1], "") << "round " << round;
        ASSERT_EQ(stoppedAtReturn[0], 1) << "round " << round;
        ASSERT_EQ(stoppedAtReturn[1], 1) << "round " << round;
        ASSERT_FALSE(output->isPlaybackRunning());
    }
}

TEST_F(SdiConcurrentStop, AStopBesideARestartJoinsOnlyTheThreadItStopped) {
    for (int round = 0; round < kRounds; ++round) {
        std::atomic<int> stopped{0};
        output->setScheduledFrameCompletionCallback({}, [&] { ++stopped; });
        ASSERT_EQ(output->startScheduledPlayback(0, 25, 1.0), SdiResult::ok);

        std::string stopError;
        std::thread stopper([&] { stopKeepingErrors(&stopError); });
        // Busy until the stop has ended the playback; then the next one starts at once.
        SdiResult restarted = SdiResult::busy;
        std::string restartError;
        try {
            while (restarted == SdiResult::busy)
                restarted = output->startScheduledPlayback(0, 25, 1.0);
        } catch (const std::system_error& e) {
            restartError = e.what();
        }
        stopper.join();
        ASSERT_EQ(stopError + restartError, "") << "round " << round;
        ASSERT_EQ(restarted, SdiResult::ok) << "round " << round;
        EXPECT_EQ(stopped.load(), 1) << "round " << round;
        EXPECT_TRUE(output->isPlaybackRunning()) << "round " << round;
        std::string lastError;
        stopKeepingErrors(&lastError);
        ASSERT_EQ(lastError, "");
        ASSERT_EQ(stopped.load(), 2);
    }
}

}  // namespace
}  // namespace velmar
