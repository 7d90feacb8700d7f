#include "core/movie_playback.h"

#include "core/sdi_audio_bridge.h"
#include "platform/base/main_thread.h"
#include "platform/player/step_clock.h"
#include "support/event_loop.h"
#include "support/test_media.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>
#include <atomic>
#include <chrono>

namespace velmar {
namespace {

using test::TestMedia;

// 160x90, 25 fps, 1 s.
QString oneSecondMovie() { return TestMedia::movie("mp4", {160, 90}); }

class MoviePlaybackTest : public testing::Test {
protected:
    test::StepClock clock;

    // Players are torn down on a background thread; let that finish before the next test (and
    // before the process exits).
    void TearDown() override {
        test::drainMainQueue();
        MoviePlayer::waitForReleases();
    }

    std::shared_ptr<MoviePlayback> prepared(int loopCount = 1) {
        auto playback = MoviePlayback::create(oneSecondMovie(), true, loopCount, clock);
        EXPECT_TRUE(test::waitUntil([&] { return playback->isPrepared(); }, 10));
        return playback;
    }
    // Lets queued main-thread work and the player settle until the condition holds.
    static bool settle(const std::function<bool()>& condition) { return test::waitUntil(condition, 3); }
    static bool running(const MoviePlayback& p) { return p.playerRate() == 1.0f && p.currentTimeSeconds() < 0.5; }
    static bool resting(const MoviePlayback& p) { return p.playerRate() == 0.0f && p.currentTimeSeconds() >= 0.999; }
    // Seeks to the middle and waits for it.
    std::shared_ptr<MoviePlayback> preparedAtTheMiddle() {
        auto playback = prepared();
        bool done = false;
        playback->seek(0.5, true, [&] { done = true; });
        EXPECT_TRUE(settle([&] { return done; }));
        return playback;
    }
    // Plays to the end once; true when the movie restarted, false when it rests at the end.
    bool playThrough(MoviePlayback& p) {
        clock.advance(1.05);
        settle([&] { return p.playerRate() == 0.0f; });
        return settle([&] { return running(p) || (resting(p) && p.loopCount() > 0 && p.playsRemaining() < 1); }) &&
               running(p);
    }
};

TEST_F(MoviePlaybackTest, PlaysTheCountedNumberOfTimes) {
    struct Case {
        int loopCount;
        int plays;  // -1: endless (more than 3)
    };
    for (const Case& c : {Case{3, 3}, Case{0, -1}, Case{-2, -1}}) {  // a count of 1: below
        SCOPED_TRACE(c.loopCount);
        auto playback = prepared(c.loopCount);
        playback->play();
        ASSERT_TRUE(settle([&] { return running(*playback); }));
        int plays = 1;
        while (plays < 4 && playThrough(*playback)) ++plays;
        EXPECT_EQ(plays, c.plays < 0 ? 4 : c.plays);
        if (c.plays > 0) {
            EXPECT_TRUE(resting(*playback));
            EXPECT_TRUE(playback->wantsPlay());  // rests on the last frame, still wanting play
        }
    }
}

TEST_F(MoviePlaybackTest, EndlessLoopCountRestartsAMovieRestingAtItsEnd) {
    auto playback = prepared(1);
    playback->play();
    ASSERT_TRUE(settle([&] { return running(*playback); }));
    ASSERT_FALSE(playThrough(*playback));
    playback->setLoopCount(2);  // a count never restarts a stopped movie
    test::drainMainQueue();
    EXPECT_TRUE(resting(*playback));
    playback->setLoopCount(0);
    EXPECT_TRUE(settle([&] { return running(*playback); }));

    // During a counted run a new count starts over: the present play is the first.
    playback->setLoopCount(3);
    ASSERT_TRUE(settle([&] { return running(*playback); }));
    playback->setLoopCount(2);
    EXPECT_TRUE(playThrough(*playback));
    EXPECT_FALSE(playThrough(*playback));
}

TEST_F(MoviePlaybackTest, PlayBeforeReadyAndRewindThenPlay) {
    auto playback = MoviePlayback::create(oneSecondMovie(), true, 1, clock);
    playback->play();  // before the item is ready
    EXPECT_FALSE(playback->isPrepared());
    ASSERT_TRUE(settle([&] { return playback->isPrepared(); }));
    EXPECT_TRUE(settle([&] { return playback->playerRate() == 1.0f; }));

    clock.advance(0.5);
    playback->rewindAndArm();
    EXPECT_FALSE(playback->wantsPlay());
    EXPECT_EQ(playback->playerRate(), 0.0f);
    playback->play();
    EXPECT_TRUE(settle([&] { return playback->currentTimeSeconds() == 0.0 && playback->playerRate() == 1.0f; }));
    clock.advance(0.2);
    EXPECT_NEAR(playback->currentTimeSeconds(), 0.2, 1e-9);

    playback->setRate(4.0f);  // a shuttle rate, then play runs at 1 again
    playback->play();
    EXPECT_EQ(playback->playerRate(), 1.0f);
    EXPECT_EQ(playback->desiredRate(), 1.0f);
}

TEST_F(MoviePlaybackTest, ShuttlesAlongTheLadder) {
    auto playback = preparedAtTheMiddle();
    struct Step {
        int direction;
        float rate;
    };
    const Step steps[] = {{1, 1},   {1, 2},   {1, 4},   {1, 8},  {1, 8},   {-1, 4},  {-1, 2},
                          {-1, 1},  {-1, 0},  {-1, -1}, {-1, -2}, {-1, -4}, {-1, -8}, {-1, -8},
                          {1, -4},  {0, 0},   {1, 1}};
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.direction << " -> " << s.rate);
        EXPECT_EQ(playback->shuttle(s.direction), s.rate);
        EXPECT_EQ(playback->playerRate(), s.rate);
        EXPECT_EQ(playback->wantsPlay(), s.rate != 0);
    }
    playback->setRate(0.5f);
    EXPECT_EQ(playback->shuttle(1), 1.0f);

    // Running forward and resting at the end: a backward step starts reverse at -1.
    playback->play();
    clock.advance(0.6);
    ASSERT_TRUE(settle([&] { return playback->playerRate() == 0.0f; }));
    test::drainMainQueue();
    EXPECT_EQ(playback->shuttle(-1), -1.0f);
}

TEST_F(MoviePlaybackTest, SlowShuttleMovesByATenth) {
    auto playback = preparedAtTheMiddle();
    struct Step {
        float setRate;  // NaN: keep
        int direction;
        float rate;
    };
    const float keep = std::numeric_limits<float>::quiet_NaN();
    const Step steps[] = {{0, 1, 0.1f},    {keep, 1, 0.2f}, {keep, 0, 0.2f}, {7.95f, 1, 8.0f},
                          {keep, 1, 8.0f}, {0.1f, -1, 0},   {keep, -1, -0.1f}, {0, 0, 0}};
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.setRate << " " << s.direction << " -> " << s.rate);
        if (!std::isnan(s.setRate)) playback->setRate(s.setRate);
        EXPECT_FLOAT_EQ(playback->slowShuttle(s.direction), s.rate);
        EXPECT_EQ(playback->wantsPlay(), s.rate != 0);
    }
}

TEST_F(MoviePlaybackTest, SeeksAndCompletesOnTheMainThread) {
    auto playback = prepared();
    EXPECT_NEAR(playback->durationSeconds(), 1.0, 0.001);
    struct Case {
        double target;
        bool precise;
        double landed;
    };
    for (const Case& c : {Case{-3, true, 0}, Case{0.52, true, 0.52}, Case{99, false, 1.0}, Case{0.3, false, 0.0}}) {
        SCOPED_TRACE(c.target);
        bool onMain = false;
        bool done = false;
        playback->seek(c.target, c.precise, [&] {
            onMain = isMainThread();
            done = true;
        });
        ASSERT_TRUE(settle([&] { return done; }));
        EXPECT_TRUE(onMain);
        EXPECT_NEAR(playback->currentTimeSeconds(), c.landed, 1e-6);
    }
    EXPECT_FALSE(playback->wantsPlay());  // seeks leave the play state alone

    playback->stepFrame(1);
    EXPECT_TRUE(settle([&] { return std::fabs(playback->currentTimeSeconds() - 0.04) < 1e-6; }));
    ImageRef image = playback->currentFrameImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(160, 90));
    EXPECT_EQ(image->format(), QImage::Format_RGBA8888_Premultiplied);
}

TEST_F(MoviePlaybackTest, MeasuresFrameDeliveryAndWarnsOfDrops) {
    auto playback = prepared();
    playback->setRate(1.0f);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    playback->seek(0, true);  // starts a fresh window at the present host time
    // The first window: a jump cannot warn yet.
    double media = 0;
    for (int i = 0; i < 26; ++i) {  // the 26th frame closes the one-second window
        clock.advance(0.04);
        media += i == 10 ? 0.4 : 0.04;
        playback->recordDeliveredFrame(media);
    }
    EXPECT_FALSE(playback->hasDropWarning());
    EXPECT_NEAR(playback->health().measuredFPS, 25.0, 0.01);
    playback->recordDeliveredFrame(nan);  // ignored
    EXPECT_EQ(playback->health().frameCount, 0);

    struct Step {
        double jump;
        bool warns;
    };
    for (const Step& s : {Step{0.04, false}, Step{0.08, false}, Step{-0.08, false}, Step{0.12, true},
                          Step{-0.12, true}}) {
        SCOPED_TRACE(s.jump);
        clock.advance(2.5);  // any former warning has lapsed
        EXPECT_FALSE(playback->hasDropWarning());
        playback->seek(media, true);  // a fresh window, no last frame
        for (int i = 0; i < 26; ++i) {  // steady 25 frames per second
            clock.advance(0.04);
            media += 0.04;
            playback->recordDeliveredFrame(media);
        }
        ASSERT_NEAR(playback->health().measuredFPS, 25.0, 0.01);
        clock.advance(0.04);
        media += s.jump;
        playback->recordDeliveredFrame(media);
        EXPECT_EQ(playback->hasDropWarning(), s.warns);
        clock.advance(1.9);
        EXPECT_EQ(playback->hasDropWarning(), s.warns);
    }
    // After a reset the first frame cannot warn, whatever its time.
    clock.advance(2.5);
    playback->seek(media, true);
    playback->recordDeliveredFrame(media + 5);
    EXPECT_FALSE(playback->hasDropWarning());
    EXPECT_EQ(playback->health().lastDeliveredSeconds.value_or(-1), media + 5);
}

TEST_F(MoviePlaybackTest, LastReferenceDroppedOnAnotherThreadTearsDownElsewhere) {
    auto playback = prepared();
    playback->play();
    std::weak_ptr<MoviePlayback> weak = playback;
    std::thread render([held = std::move(playback)]() mutable { held.reset(); });
    render.join();
    EXPECT_TRUE(weak.expired());
    MoviePlayer::waitForReleases();
    test::drainMainQueue();  // late events find nothing
}

TEST(MoviePlaybackAudio, RoutesProgramAudioAtRateOneOnly) {
    TestMedia::MovieOptions options{64, 36};
    options.seconds = 2;
    options.audio = true;
    options.audioRate = 44100;
    options.audioChannels = 1;
    const QString path = TestMedia::movie("mov", options);
    SDIAudioBridge& sdi = SDIAudioBridge::shared();
    sdi.setActive(true);
    sdi.setMuteLocalWhileActive(true);
    auto playback = MoviePlayback::create(path, false, 1);
    ASSERT_TRUE(test::waitUntil([&] { return playback->isPrepared() && playback->audioLevel().isAttached(); }, 10));
    playback->audioLevel().setOutput(0.5f, true);
    playback->play();
    EXPECT_TRUE(test::waitUntil([&] { return sdi.storedFrames() >= 9600; }, 3));  // 0.2 s at 48 kHz
    EXPECT_GT(playback->audioLevels().left, 0.05f);  // the test tone peaks at 1/8
    EXPECT_EQ(playback->audioLevels().left, playback->audioLevels().right);  // mono on both sides

    playback->setRate(2.0f);
    test::waitUntil([] { return false; }, 0.05);
    const int before = sdi.storedFrames();
    test::waitUntil([] { return false; }, 0.1);
    EXPECT_EQ(sdi.storedFrames(), before);  // nothing forwarded away from rate 1
    sdi.setActive(false);
    playback.reset();
    MoviePlayer::waitForReleases();
}


// A looping movie whose sound is a continuous 1 kHz tone (a whole number of cycles per play):
// the program audio that reaches the output bridge, pulled at the real rate, runs on across
// every loop point without running dry and without a jump larger than one step of the tone.
TEST(MoviePlaybackAudio, LoopRestartKeepsProgramAudioContinuous) {
#if defined(__SANITIZE_ADDRESS__)
    // A real-time measure: under the sanitizers decoding runs several times slower than the
    // clock, and the player then takes its slower, gapped loop path by design.
    GTEST_SKIP() << "real-time continuity is measured in the optimised build";
#endif
    TestMedia::MovieOptions options;
    options.width = 64;
    options.height = 36;
    options.seconds = 1;
    options.audio = true;
    const QString path = TestMedia::movie("mov", options);  // 16-bit PCM at 48 kHz
    SDIAudioBridge& sdi = SDIAudioBridge::shared();
    sdi.setActive(true);
    auto playback = MoviePlayback::create(path, true, 0);
    ASSERT_TRUE(test::waitUntil([&] { return playback->isPrepared() && playback->audioLevel().isAttached(); }, 10));
    playback->audioLevel().setOutput(1.0f, true);
    playback->play();
    ASSERT_TRUE(test::waitUntil([&] { return sdi.storedFrames() >= 2400; }, 3));

    // Pull as an output would, in blocks of 10 ms at the real rate, for 2.3 s: two loop points.
    std::vector<float> pulled;
    pulled.reserve(48000 * 3);
    std::atomic<bool> done{false};
    long long underrunsAtStart = sdi.underrunFrames();
    std::thread output([&] {
        const auto start = std::chrono::steady_clock::now();
        long long taken = 0;
        std::vector<float> block(2 * 4800);
        while (taken < 48000 * 23 / 10) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const long long due = std::min<long long>(static_cast<long long>(elapsed * 48000) - taken, 4800);
            if (due < 1) continue;
            sdi.pullPlanar(block.data(), due);
            pulled.insert(pulled.end(), block.begin(), block.begin() + due);  // left channel
            taken += due;
        }
        done = true;
    });
    test::waitUntil([&] { return done.load(); }, 10);
    output.join();
    const long long underruns = sdi.underrunFrames() - underrunsAtStart;
    sdi.setActive(false);
    EXPECT_EQ(underruns, 0);
    EXPECT_GE(playback->playerRate(), 1.0f);
    // One step of a 1 kHz sine of amplitude 1/8 at 48 kHz, plus the 16-bit rounding.
    const float maxStep = 2.0f * 3.14159265f * 1000.0f * 0.125f / 48000.0f + 1e-3f;
    float worst = 0;
    std::size_t worstAt = 0;
    for (std::size_t i = 1; i < pulled.size(); ++i) {
        const float step = std::fabs(pulled[i] - pulled[i - 1]);
        if (step > worst) {
            worst = step;
            worstAt = i;
        }
    }
    EXPECT_LE(worst, maxStep) << "at pulled frame " << worstAt << " of " << pulled.size();
    playback.reset();
    MoviePlayer::waitForReleases();
}

}  // namespace
}  // namespace velmar
