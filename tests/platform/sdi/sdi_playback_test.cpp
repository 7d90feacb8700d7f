#include "platform/sdi/virtual_sdi_card.h"

#include "sdi_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace velmar {
namespace {

using R = SdiCompletionResult;

TEST(SdiPlayback, FrameTimesAt5994StayExactOverALongRun) {
    // Pure timing: frame k starts at floor(k x 1001 x 10^9 / 60000) ns. One hour of frames
    // lands on the exact rational instant, with no accumulated error.
    const SdiDisplayMode mode{0, 1920, 1080, 60000, 1001, ""};
    // 1 frame; 60000 frames = 1001 s; one hour's 215784 frames; a day's frames = 86400 x 1001 s.
    for (auto [k, ns] : {std::pair{1LL, 16683333LL},
                         {60000LL, 1001000000000LL},
                         {215784LL, 3599996400000LL},
                         {60000LL * 24 * 3600, 86486400000000000LL},
                         {123457LL, 123457LL * 1001 * 1000000000LL / 60000}})
        EXPECT_EQ(mode.nanosecondsAt(k), ns) << k;

    // Played in manual mode: after n frame times the frame on air is frame n - 1, at display
    // time (n - 1) x 1001 of 60000, every frame shown on time.
    VirtualSdiCard card(test::manualCard({test::smallMode(60000, 1001)}));
    auto output = card.deviceAtIndex(0)->output();
    std::vector<long long> shownAt;
    output->setFrameCapture([&](const SdiCapturedFrame& f) { shownAt.push_back(f.displayIndex); });
    test::PlaybackClient client(*output, output->displayModes()[0], SdiPixelFormat::bgra8);
    ASSERT_EQ(client.start(), SdiResult::ok);
    const long long total = 6000;
    for (long long n = 1; n <= total; n += 1) {
        output->step();
        if (n % 997 == 0 || n == total) {
            long long t = -1;
            ASSERT_EQ(output->scheduledStreamTime(60000, &t), SdiResult::ok);
            ASSERT_EQ(t, (n - 1) * 1001);
            ASSERT_EQ(output->scheduledStreamTime(1000000, &t), SdiResult::ok);
            ASSERT_EQ(t, (n - 1) * 1001 * 1000000 / 60000);
        }
    }
    ASSERT_EQ(shownAt.size(), static_cast<size_t>(total));
    for (long long i = 0; i < total; ++i) ASSERT_EQ(shownAt[i], i);
    const SdiOutputCounters c = output->counters();
    EXPECT_EQ(c.ticks, total);
    EXPECT_EQ(c.framesCompleted, total);
    EXPECT_EQ(c.underruns + c.framesDisplayedLate + c.framesDropped, 0);
    long long stoppedAt = 0;
    EXPECT_EQ(output->stopScheduledPlayback(0, &stoppedAt, 60000), SdiResult::ok);
    EXPECT_EQ(stoppedAt, (total - 1) * 1001);
}

TEST(SdiPlayback, StalledCompletionsMakeLateAndDroppedFrames) {
    // Completions from frame time 10 are held four frame times: the three frames queued still
    // go out, then the picture repeats twice; when the completions arrive the client schedules
    // for times already past, so 13 and 14 are dropped and 15 is shown on time.
    VirtualSdiConfig config = test::manualCard({test::smallMode(50, 1)});
    config.devices[0].faults.stalls = {{10, 4}};
    VirtualSdiCard card(config);
    auto output = card.deviceAtIndex(0)->output();
    std::vector<long long> shown;
    output->setFrameCapture([&](const SdiCapturedFrame& f) { shown.push_back(f.displayIndex); });
    test::PlaybackClient client(*output, output->displayModes()[0], SdiPixelFormat::bgra8);
    ASSERT_EQ(client.start(), SdiResult::ok);
    output->step(12);
    EXPECT_EQ(client.results().size(), 10u);  // 10 and 11 are held
    output->step(8);
    const auto results = client.results();
    ASSERT_EQ(results.size(), 20u);
    for (size_t i = 0; i < 20; ++i)
        EXPECT_EQ(results[i], i == 13 || i == 14 ? R::dropped : R::completed) << i;
    const SdiOutputCounters c = output->counters();
    EXPECT_EQ(c.underruns, 2);
    EXPECT_EQ(c.framesDropped, 2);
    const std::vector<long long> wantShown = {0, 1,  2,  3,  4,  5,  6,  7,  8,
                                              9, 10, 11, 12, 15, 16, 17, 18, 19};
    EXPECT_EQ(shown, wantShown);
}

TEST(SdiPlayback, FramesScheduledLateAreShownLateOrDropped) {
    VirtualSdiCard card(test::manualCard({test::smallMode(25, 1)}));
    auto output = card.deviceAtIndex(0)->output();
    std::vector<std::pair<long long, R>> results;
    std::vector<std::shared_ptr<SdiVideoFrame>> frames(4);
    for (auto& f : frames) output->createVideoFrame(12, 4, 48, fourCC("BGRA"), &f);
    output->setScheduledFrameCompletionCallback([&](const std::shared_ptr<SdiVideoFrame>& f, R r) {
        for (size_t i = 0; i < frames.size(); ++i) {
            if (frames[i] == f) results.emplace_back(static_cast<long long>(i), r);
        }
    });
    ASSERT_EQ(output->enableVideoOutput(fourCC("T001")), SdiResult::ok);
    ASSERT_EQ(output->scheduleVideoFrame(frames[0], 0, 1, 25), SdiResult::ok);
    ASSERT_EQ(output->startScheduledPlayback(0, 25, 1.0), SdiResult::ok);
    output->step(3);  // 0 on time, then two underruns
    ASSERT_EQ(output->scheduleVideoFrame(frames[1], 1, 1, 25), SdiResult::ok);  // long past
    ASSERT_EQ(output->scheduleVideoFrame(frames[2], 2, 1, 25), SdiResult::ok);  // just past
    output->step();
    EXPECT_EQ(results, (std::vector<std::pair<long long, R>>{
                           {0, R::completed}, {1, R::dropped}, {2, R::displayedLate}}));
    EXPECT_EQ(output->counters().underruns, 2);
    output->stopScheduledPlayback(0, nullptr, 25);
}

TEST(SdiPlayback, StopFlushesWaitingFramesAndCanStartAgain) {
    VirtualSdiCard card(test::manualCard({test::smallMode(30000, 1001)}));
    auto output = card.deviceAtIndex(0)->output();
    test::PlaybackClient client(*output, output->displayModes()[0], SdiPixelFormat::bgra8);
    ASSERT_EQ(client.start(), SdiResult::ok);
    output->step(5);
    client.stopping_ = true;
    ASSERT_EQ(output->stopScheduledPlayback(0, nullptr, 30000), SdiResult::ok);
    auto results = client.results();
    ASSERT_EQ(results.size(), 8u);  // 5 shown, then the 3 in flight flushed before stop returned
    for (size_t i = 5; i < 8; ++i) EXPECT_EQ(results[i], R::flushed);
    EXPECT_EQ(client.stoppedCalls_, 1);
    EXPECT_FALSE(output->isPlaybackRunning());
    EXPECT_EQ(output->stopScheduledPlayback(0, nullptr, 30000), SdiResult::ok);  // harmless twice
    EXPECT_EQ(output->counters().framesFlushed, 3);

    // Scheduling during the stop is refused; after it, a new playback runs from time 0.
    EXPECT_EQ(output->disableVideoOutput(), SdiResult::ok);
    test::PlaybackClient again(*output, output->displayModes()[0], SdiPixelFormat::bgra8);
    ASSERT_EQ(again.start(), SdiResult::ok);
    output->step(2);
    EXPECT_EQ(again.results(), (std::vector<R>{R::completed, R::completed}));
}

TEST(SdiPlayback, StopFromInsideACompletionDoesNotHang) {
    VirtualSdiCard card(test::manualCard({test::smallMode(25, 1)}));
    auto output = card.deviceAtIndex(0)->output();
    std::shared_ptr<SdiVideoFrame> a, b;
    output->createVideoFrame(12, 4, 48, fourCC("BGRA"), &a);
    output->createVideoFrame(12, 4, 48, fourCC("BGRA"), &b);
    std::vector<R> results;
    output->setScheduledFrameCompletionCallback([&](const std::shared_ptr<SdiVideoFrame>&, R r) {
        results.push_back(r);
        if (results.size() == 1) output->stopScheduledPlayback(0, nullptr, 25);
    });
    ASSERT_EQ(output->enableVideoOutput(fourCC("T001")), SdiResult::ok);
    output->scheduleVideoFrame(a, 0, 1, 25);
    output->scheduleVideoFrame(b, 1, 1, 25);
    ASSERT_EQ(output->startScheduledPlayback(0, 25, 1.0), SdiResult::ok);
    output->step();
    output->stopScheduledPlayback(0, nullptr, 25);  // waits for the flush on the other thread
    EXPECT_EQ(results, (std::vector<R>{R::completed, R::flushed}));
}

TEST(SdiPlayback, RealTimeClockShowsFramesOnItsOwnThread) {
    VirtualSdiConfig config = test::manualCard({test::smallMode(200, 1)});
    config.clock = SdiClockMode::realTime;
    VirtualSdiCard card(config);
    auto output = card.deviceAtIndex(0)->output();
    std::atomic<int> completions{0};
    std::atomic<bool> offThread{true};
    const auto testThread = std::this_thread::get_id();
    test::PlaybackClient client(*output, output->displayModes()[0], SdiPixelFormat::bgra8);
    output->setScheduledFrameCompletionCallback([&](const std::shared_ptr<SdiVideoFrame>&, R) {
        if (std::this_thread::get_id() == testThread) offThread = false;
        ++completions;
        client.scheduleNext();
    });
    ASSERT_EQ(client.start(), SdiResult::ok);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (completions < 6 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    output->step(100);  // no effect on the real-time clock
    output->setScheduledFrameCompletionCallback({});
    output->stopScheduledPlayback(0, nullptr, 200);
    EXPECT_GE(completions.load(), 6);
    EXPECT_TRUE(offThread);
}

}  // namespace
}  // namespace velmar
