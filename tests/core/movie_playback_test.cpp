#include "core/movie_playback.h"

#include "core/sdi_audio_bridge.h"
#include "platform/audio/audio_output.h"
#include "platform/base/main_thread.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "support/test_media.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace velmar {
namespace {

using test::TestMedia;

// 160x90, 25 fps, 1 s.
QString oneSecondMovie() {
    return TestMedia::movie("mp4", {160, 90});
}

class MoviePlaybackTest : public testing::Test {
  protected:
    test::FakeClock clock;

    // Players are torn down on a background thread; let that finish before the next test (and
    // before the process exits).
    void TearDown() override {
        test::drainMainQueue();
        MoviePlayer::waitForReleases();
    }

    std::shared_ptr<MoviePlayback> prepared(int loopCount = 1) {
        auto playback = MoviePlayback::create(oneSecondMovie(), true, loopCount, clock);
        test::waitFor([&] { return playback->isPrepared(); });
        return playback;
    }
    static bool running(const MoviePlayback& p) {
        return p.playerRate() == 1.0f && p.currentTimeSeconds() < 0.5;
    }
    static bool resting(const MoviePlayback& p) {
        return p.playerRate() == 0.0f && p.currentTimeSeconds() >= 0.999;
    }
    // Plays to the end once; true when the movie restarted, false when it rests at the end.
    bool playThrough(MoviePlayback& p) {
        clock.advance(1.05);
        // Until the restart is counted (it opens a new health window) or the movie rests for good.
        test::waitFor([&] {
            return (running(p) && p.health().windowStart == clock.now()) ||
                   (resting(p) && p.loopCount() > 0 && p.playsRemaining() < 1);
        });
        return running(p);
    }
};

TEST_F(MoviePlaybackTest, PlaysTheCountedNumberOfTimesOrEndlessly) {
    auto playback = prepared(3);
    playback->play();
    test::waitFor([&] { return running(*playback); });
    EXPECT_TRUE(playThrough(*playback));
    EXPECT_TRUE(playThrough(*playback));
    EXPECT_FALSE(playThrough(*playback));  // three plays, then it rests on the last frame
    EXPECT_TRUE(resting(*playback));
    EXPECT_TRUE(playback->wantsPlay());
    playback->setLoopCount(2);  // a count never restarts a stopped movie
    test::drainMainQueue();
    EXPECT_TRUE(resting(*playback));
    playback->setLoopCount(-2);  // endless, as 0 is: restarts a movie resting at its end
    test::waitFor([&] { return running(*playback); });
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(playThrough(*playback)) << i;
    // During a run a new count starts over: the present play is the first.
    playback->setLoopCount(2);
    EXPECT_TRUE(playThrough(*playback));
    EXPECT_FALSE(playThrough(*playback));
}

TEST_F(MoviePlaybackTest, PlayBeforeReadyAndRewindThenPlay) {
    auto playback = MoviePlayback::create(oneSecondMovie(), true, 1, clock);
    playback->play();  // before the item is ready
    EXPECT_FALSE(playback->isPrepared());
    test::waitFor([&] { return playback->isPrepared(); });
    test::waitFor([&] { return playback->playerRate() == 1.0f; });

    clock.advance(0.5);
    playback->rewindAndArm();
    EXPECT_FALSE(playback->wantsPlay());
    EXPECT_EQ(playback->playerRate(), 0.0f);
    playback->play();
    test::waitFor(
        [&] { return playback->currentTimeSeconds() == 0.0 && playback->playerRate() == 1.0f; });
    clock.advance(0.2);
    EXPECT_NEAR(playback->currentTimeSeconds(), 0.2, 1e-9);

    playback->setRate(4.0f);  // a shuttle rate, then play runs at 1 again
    playback->play();
    EXPECT_EQ(playback->playerRate(), 1.0f);
    EXPECT_EQ(playback->desiredRate(), 1.0f);
}

TEST_F(MoviePlaybackTest, ShuttlesAlongTheLadderAndByTenths) {
    auto playback = prepared();
    bool done = false;
    playback->seek(0.5, true, [&] { done = true; });
    test::waitFor([&] { return done; });
    const float keep = std::numeric_limits<float>::quiet_NaN();
    struct Step {
        float setRate;  // NaN: keep
        bool slow;
        int direction;
        float rate;
    };
    const Step steps[] = {
        {keep, false, 1, 1},   {keep, false, 1, 2},   {keep, false, 1, 4},
        {keep, false, 1, 8},   {keep, false, 1, 8},   {keep, false, -1, 4},
        {keep, false, -1, 2},  {keep, false, -1, 1},  {keep, false, -1, 0},
        {keep, false, -1, -1}, {keep, false, -1, -2}, {keep, false, -1, -4},
        {keep, false, -1, -8}, {keep, false, -1, -8}, {keep, false, 1, -4},
        {keep, false, 0, 0},   {0.5f, false, 1, 1},   {0, true, 1, 0.1f},
        {keep, true, 1, 0.2f}, {keep, true, 0, 0.2f}, {7.95f, true, 1, 8},
        {keep, true, 1, 8},    {0.1f, true, -1, 0},   {keep, true, -1, -0.1f},
        {0, true, 0, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.setRate << (s.slow ? " slow " : " ") << s.direction);
        if (!std::isnan(s.setRate)) playback->setRate(s.setRate);
        EXPECT_FLOAT_EQ(
            s.slow ? playback->slowShuttle(s.direction) : playback->shuttle(s.direction), s.rate);
        EXPECT_FLOAT_EQ(playback->playerRate(), s.rate);
        EXPECT_EQ(playback->wantsPlay(), s.rate != 0);
    }
    // Running forward and resting at the end: a backward step starts reverse at -1.
    playback->play();
    clock.advance(0.6);
    test::waitFor([&] { return playback->playerRate() == 0.0f; });
    test::drainMainQueue();
    EXPECT_EQ(playback->shuttle(-1), -1.0f);
}

TEST_F(MoviePlaybackTest, SeeksAndCompletesOnTheMainThread) {
    auto playback = prepared();
    EXPECT_NEAR(playback->durationSeconds(), 1.0, 0.001);
    struct Case {
        double target;
        bool precise;
        double landed;
    };
    for (const Case& c : {Case{0.52, true, 0.52}, Case{0.3, false, 0.0}}) {
        SCOPED_TRACE(c.target);
        bool onMain = false;
        bool done = false;
        playback->seek(c.target, c.precise, [&] {
            onMain = isMainThread();
            done = true;
        });
        test::waitFor([&] { return done; });
        EXPECT_TRUE(onMain);
        EXPECT_NEAR(playback->currentTimeSeconds(), c.landed, 1e-6);
    }
    EXPECT_FALSE(playback->wantsPlay());  // seeks leave the play state alone

    playback->stepFrame(1);
    test::waitFor([&] { return std::fabs(playback->currentTimeSeconds() - 0.04) < 1e-6; });
    ImageRef image = playback->currentFrameImage();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(160, 90));
    EXPECT_EQ(image->format(), QImage::Format_RGBA8888_Premultiplied);
}

TEST_F(MoviePlaybackTest, MeasuresFrameDeliveryAndWarnsOfDrops) {
    auto playback = prepared();
    playback->setRate(1.0f);
    double media = 0;
    // A fresh window, then 26 frames at 25 per second (the 26th closes the one-second window);
    // frame `jumpAt` jumps by `jump` instead.
    auto deliver = [&](int jumpAt, double jump) {
        clock.advance(2.5);  // any former warning has lapsed
        playback->seek(media, true);
        for (int i = 0; i < 26; ++i) {
            clock.advance(0.04);
            media += i == jumpAt ? jump : 0.04;
            playback->recordDeliveredFrame(media);
        }
    };
    deliver(10, 0.4);  // the first window cannot warn
    EXPECT_FALSE(playback->hasDropWarning());
    EXPECT_NEAR(playback->health().measuredFPS, 25.0, 0.01);
    playback->recordDeliveredFrame(std::numeric_limits<double>::quiet_NaN());  // ignored
    EXPECT_EQ(playback->health().frameCount, 0);

    for (const double jump : {0.08, -0.08, 0.12, -0.12}) {
        SCOPED_TRACE(jump);
        const bool warns = std::fabs(jump) > 0.088;  // 2.2 frame intervals
        deliver(-1, 0);
        clock.advance(0.04);
        media += jump;
        playback->recordDeliveredFrame(media);
        EXPECT_EQ(playback->hasDropWarning(), warns);
        clock.advance(1.9);
        EXPECT_EQ(playback->hasDropWarning(), warns);
    }
    // After a reset the first frame cannot warn, whatever its time.
    clock.advance(2.5);
    playback->seek(media, true);
    playback->recordDeliveredFrame(media + 5);
    EXPECT_FALSE(playback->hasDropWarning());
    EXPECT_EQ(playback->health().lastDeliveredSeconds.value_or(-1), media + 5);
}

// A looping movie whose sound is a continuous 1 kHz tone (a whole number of cycles per play),
// routed as program audio with local monitoring muted: the audio that reaches the output bridge,
// unscaled, runs on across every loop point without a jump larger than one step of the tone.
// The test plays the part of the audio output: the player is taken off the real one and pulled
// block by block on the stepped clock. The main thread's events are not run meanwhile: the player
// must carry on across the loop point by itself, as it must while the real output pulls.
TEST(MoviePlaybackAudio, LoopRestartKeepsProgramAudioContinuous) {
    constexpr int kBlock = 480;  // 10 ms at 48 kHz
    TestMedia::MovieOptions options{64, 36};
    options.audio = true;  // 16-bit PCM at 48 kHz
    options.audioChannels = 1;
    test::FakeClock clock;
    struct Released {  // on every way out, the released player is gone before its clock
        ~Released() { MoviePlayer::waitForReleases(); }
    } released;
    SDIAudioBridge& sdi = SDIAudioBridge::shared();
    sdi.setActive(true);
    sdi.setMuteLocalWhileActive(true);
    auto playback = MoviePlayback::create(TestMedia::movie("mov", options), false, 0, clock);
    ASSERT_TRUE(test::waitUntil(
        [&] { return playback->isPrepared() && playback->audioLevel().isAttached(); }));
    AudioOutput::shared().removeSource(&playback->player());
    playback->audioLevel().setOutput(0.5f, true);
    playback->play();
    std::vector<float> local(2 * kBlock), planar(2 * kBlock), pulled;
    while (sdi.storedFrames() > 0)
        sdi.pullPlanar(planar.data(), std::min(sdi.storedFrames(), kBlock));
    auto renderBlock = [&] {
        const int before = sdi.storedFrames();
        for (int tries = 0; tries < 2000; ++tries) {
            playback->player().render(local.data(), kBlock);
            if (sdi.storedFrames() >= before + kBlock) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    };
    // The stepped clock keeps pace with the pictures, as the real one does: the sound is read
    // further ahead than the pictures, and a clock racing ahead of them would be decoding
    // falling behind.
    auto& video = playback->player().videoOutput();
    auto pictureShown = [&] {
        const double t = video.itemTimeForHostTime(clock.now());
        VideoFrameRef f = video.peekFrameForItemTime(t);
        return f && f->time() > t - 0.05;
    };
    for (int i = 0; i < 230; ++i, clock.advance(0.01)) {  // 2.3 s: two loop points
        ASSERT_TRUE(test::waitUntil(pictureShown)) << "block " << i;
        ASSERT_TRUE(renderBlock()) << "block " << i;
        sdi.pullPlanar(planar.data(), kBlock);
        pulled.insert(pulled.end(), planar.begin(), planar.begin() + kBlock);  // left channel
    }
    EXPECT_EQ(*std::max_element(local.begin(), local.end()), 0.0f);  // local output muted
    // The mono tone peaks at 1/8 on both sides; not halved by the local gain.
    EXPECT_GT(*std::max_element(pulled.begin(), pulled.end()), 0.08f);
    EXPECT_GT(playback->audioLevels().left, 0.05f);
    EXPECT_EQ(playback->audioLevels().left, playback->audioLevels().right);  // mono on both sides
    const int before = sdi.storedFrames();
    playback->setRate(2.0f);  // the lead fed ahead is taken back...
    EXPECT_EQ(sdi.storedFrames(), std::max(0, before - SDIAudioBridge::kProgramLeadFrames));
    const int after = sdi.storedFrames();
    playback->player().render(local.data(), kBlock);
    EXPECT_EQ(sdi.storedFrames(), after);  // ...and nothing forwarded away from rate 1
    // One step of a 1 kHz sine of amplitude 1/8 at 48 kHz, plus the 16-bit rounding.
    const float maxStep = 2.0f * 3.14159265f * 1000.0f * 0.125f / 48000.0f + 1e-3f;
    std::size_t worstAt = 1;
    for (std::size_t i = 1; i < pulled.size(); ++i) {
        if (std::fabs(pulled[i] - pulled[i - 1]) > std::fabs(pulled[worstAt] - pulled[worstAt - 1]))
            worstAt = i;
    }
    EXPECT_LE(std::fabs(pulled[worstAt] - pulled[worstAt - 1]), maxStep) << "at " << worstAt;
    sdi.setActive(false);
    playback.reset();
    MoviePlayer::waitForReleases();
}

// A program movie fed ahead to the SDI bridge: pausing it by rate 0, or shuttling it away from
// rate 1, takes back the sound fed ahead of the frozen picture; playing again feeds a full lead
// from the present. The test is the audio output: the bridge is not pulled, the clock stands.
TEST(MoviePlaybackAudio, LeavingRateOneTakesBackTheSoundFedAhead) {
    constexpr int kLead = SDIAudioBridge::kProgramLeadFrames;
    TestMedia::MovieOptions options{64, 36};
    options.audio = true;
    options.seconds = 2.0;
    test::FakeClock clock;
    SDIAudioBridge& sdi = SDIAudioBridge::shared();
    sdi.setActive(true);
    auto playback = MoviePlayback::create(TestMedia::movie("mov", options), false, 0, clock);
    ASSERT_TRUE(test::waitUntil(
        [&] { return playback->isPrepared() && playback->audioLevel().isAttached(); }));
    AudioOutput::shared().removeSource(&playback->player());
    playback->audioLevel().setOutput(1.0f, true);
    std::vector<float> local(2 * 480);
    // A block of sound, rendered again while the feed falls short: the decoder may hold the
    // ring's lock at that moment (on air the next block makes up the rest).
    auto feed = [&] {
        test::waitUntil([&] {
            playback->player().render(local.data(), 480);
            return sdi.storedFrames() >= kLead;
        });
        return sdi.storedFrames();
    };

    playback->play();
    EXPECT_EQ(feed(), kLead);
    playback->setRate(0.0f);
    EXPECT_EQ(sdi.storedFrames(), 0);

    playback->play();
    EXPECT_EQ(feed(), kLead);
    EXPECT_EQ(playback->shuttle(1), 2.0f);
    EXPECT_EQ(sdi.storedFrames(), 0);
    sdi.setActive(false);
    playback.reset();
    MoviePlayer::waitForReleases();
}

}  // namespace
}  // namespace velmar
