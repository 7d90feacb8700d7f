#include "platform/sdi/virtual_sdi_card.h"

#include "sdi_test_support.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using R = SdiCompletionResult;

TEST(SdiClock, TheFrameUnderWayIsExactAtEveryFrameStart) {
    const SdiDisplayMode mode{0, 3840, 2160, 60000, 1001, ""};
    for (long long k : {1LL, 2LL, 3LL, 59LL, 60000LL, 215784LL, 60000LL * 24 * 3600 + 7}) {
        const long long at = mode.nanosecondsAt(k);
        EXPECT_EQ(mode.frameAt(at), k) << k;
        EXPECT_EQ(mode.frameAt(at - 1), k - 1) << k;
    }
    EXPECT_EQ(mode.frameAt(0), 0);
    EXPECT_EQ(mode.frameAt(-5), 0);
}

// The thread that runs the card's clock is held up for five frame times: the clock does not
// wait for it. The frames due meanwhile come back dropped, or late for the newest, the frame
// count and the sound go on from the clock, and the client catches up within two frame times.
TEST(SdiClock, FrameTimesPassedOverByALateWakeAreCountedAndTheClockKeepsItsPace) {
    VirtualSdiCard card(test::manualCard({test::smallMode(30000, 1001)}));
    auto output = card.deviceAtIndex(0)->output();
    const SdiDisplayMode mode = output->displayModes()[0];
    ASSERT_EQ(output->enableAudioOutput(48000, 32, 2, true), SdiResult::ok);
    output->setAudioRequestHandler(
        [](std::int32_t* s, std::uint32_t frames, long long) { std::fill_n(s, 2 * frames, 1); });
    std::vector<long long> shown;
    output->setFrameCapture([&](const SdiCapturedFrame& f) { shown.push_back(f.displayIndex); });
    test::PlaybackClient client(*output, mode, SdiPixelFormat::bgra8);
    ASSERT_EQ(client.start(), SdiResult::ok);

    output->step(5);      // frames 0 ... 4 on time; 5, 6 and 7 wait
    output->stepLate(6);  // wakes in frame time 10
    long long onAir = -1;
    ASSERT_EQ(output->scheduledStreamTime(30000, &onAir), SdiResult::ok);
    EXPECT_EQ(onAir, 10 * 1001) << "the clock went on while the thread slept";
    SdiOutputCounters c = output->counters();
    EXPECT_EQ(c.ticks, 11);
    EXPECT_EQ(c.ticksMissed, 5);
    EXPECT_EQ(c.framesDropped, 2);
    EXPECT_EQ(c.framesDisplayedLate, 1);
    EXPECT_EQ(c.audioSamplesPlayed, mode.audioSamplesThrough(11));
    EXPECT_EQ(c.audioSamplesRequested, mode.audioSamplesThrough(11));

    output->step(3);  // the client's next frames are already past: it catches up
    const std::vector<R> want = {R::completed, R::completed, R::completed,     R::completed,
                                 R::completed, R::dropped,   R::dropped,       R::displayedLate,
                                 R::dropped,   R::dropped,   R::displayedLate, R::dropped,
                                 R::completed, R::completed};
    EXPECT_EQ(client.results(), want);
    EXPECT_EQ(shown, (std::vector<long long>{0, 1, 2, 3, 4, 10, 11, 12, 13}));  // frame times
    c = output->counters();
    EXPECT_EQ(c.ticks, 14);
    EXPECT_EQ(c.ticksMissed, 5);
    EXPECT_EQ(c.audioSamplesPlayed, mode.audioSamplesThrough(14));
    EXPECT_EQ(c.audioSamplesMissing, 0);
}

// A thread stopped for ten seconds: the sound before the last two seconds (the card's audio
// buffer) is passed over, neither asked for nor held, and counted as missing.
TEST(SdiClock, ALongSleepPassesOverTheSoundBeforeTheLastTwoSeconds) {
    VirtualSdiCard card(test::manualCard({test::smallMode(25, 1)}));
    auto output = card.deviceAtIndex(0)->output();
    ASSERT_EQ(output->enableAudioOutput(48000, 32, 2, true), SdiResult::ok);
    std::vector<long long> askedAt;
    output->setAudioRequestHandler([&](std::int32_t* s, std::uint32_t frames, long long at) {
        std::fill_n(s, 2 * frames, 1);
        askedAt.push_back(at);
    });
    test::PlaybackClient client(*output, output->displayModes()[0], SdiPixelFormat::bgra8);
    ASSERT_EQ(client.start(), SdiResult::ok);
    output->step(1);
    const std::size_t before = askedAt.size();
    output->stepLate(250);  // wakes in frame time 250
    ASSERT_GT(askedAt.size(), before);
    EXPECT_EQ(askedAt[before], 251 * 1920 - 96000);
    const SdiOutputCounters c = output->counters();
    EXPECT_EQ(c.audioSamplesRequested, 1920 + 96000);
    EXPECT_EQ(c.audioSamplesPlayed, 251 * 1920);
    EXPECT_EQ(c.audioSamplesMissing, 251 * 1920 - 1920 - 96000);
}

}  // namespace
}  // namespace velmar
