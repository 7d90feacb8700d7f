// Stopping one output from two threads at once, and stopping it beside a restart.
#include "platform/sdi/virtual_sdi_card.h"

#include "sdi_test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

namespace velmar {
namespace {

constexpr int kRounds = 200;

// Whether thread `tid` of this process sleeps (state S in its stat line): blocked in a join, say.
bool sleeps(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(in, line);
    const auto name = line.rfind(')');
    return name != std::string::npos && name + 2 < line.size() && line[name + 2] == 'S';
}

// What the completion thread tells at its very end, after the output has let go of it.
struct ThreadEnd {
    pid_t stopper = 0;
    std::atomic<bool> stopReturned{false};
    std::atomic<int> endedAfterTheStop{-1};  // -1 until the thread has ended
};

// Destroyed as the thread that set it ends: it waits until the stopping thread has returned
// from the stop or sleeps (in the join), and notes which.
struct ThreadEndNote {
    std::shared_ptr<ThreadEnd> end;
    ~ThreadEndNote() {
        if (!end) return;
        while (!end->stopReturned && !sleeps(end->stopper)) std::this_thread::yield();
        end->endedAfterTheStop = end->stopReturned ? 1 : 0;
    }
};
thread_local ThreadEndNote threadEndNote;

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

// A stop joins the completion thread: once it returns, the output may be destroyed at once, with
// no thread of it still running.
TEST_F(SdiConcurrentStop, AStopReturnsOnlyOnceTheCompletionThreadHasEnded) {
    auto end = std::make_shared<ThreadEnd>();
    end->stopper = ::gettid();
    output->setScheduledFrameCompletionCallback({}, [end] { threadEndNote.end = end; });
    ASSERT_EQ(output->startScheduledPlayback(0, 25, 1.0), SdiResult::ok);
    ASSERT_EQ(output->stopScheduledPlayback(0, nullptr, 25), SdiResult::ok);
    end->stopReturned = true;
    output.reset();
    card.reset();
    while (end->endedAfterTheStop < 0) std::this_thread::yield();
    EXPECT_EQ(end->endedAfterTheStop.load(), 0) << "the thread was still running after the stop";
}

}  // namespace
}  // namespace velmar
