// The program movie's sound on the SDI output while the operator drives the movie from the
// transport bar. The test plays the part of the audio output and of the card: it renders one
// 10 ms block of the movie's sound, pulls as much from the bridge and moves the clock on by as
// much. The sound is fed ahead by a fixed lead, so right after a block is rendered the bridge
// holds exactly the lead when the card's next sound is that of the present moment.
#include "ui/panels/transport_bar.h"

#include "core/movie_playback.h"
#include "core/sdi_audio_bridge.h"
#include "platform/audio/audio_output.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "support/test_media.h"
#include "ui/mouse_drag.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace velmar {
namespace {

constexpr int kBlock = 480;
constexpr int kLead = SDIAudioBridge::kProgramLeadFrames;

class TransportBarAudioTest : public testing::Test {
  protected:
    void SetUp() override {
        sdi().setActive(true);
        test::TestMedia::MovieOptions options{64, 36};
        options.audio = true;
        options.seconds = 3.0;
        playback = MoviePlayback::create(test::TestMedia::movie("mov", options), false, 1, clock);
        ASSERT_TRUE(test::waitUntil(
            [&] { return playback->isPrepared() && playback->audioLevel().isAttached(); }));
        AudioOutput::shared().removeSource(&playback->player());
        playback->audioLevel().setOutput(1.0f, true);  // the program movie
        bar.resize(bar.sizeHint());
        bar.setMedia(PlayoutMedia::movie(playback, nullptr, QSizeF(64, 36)));
        bar.show();
    }
    void TearDown() override {
        bar.setMedia(std::nullopt);
        sdi().setActive(false);
        playback.reset();
        test::drainMainQueue();
        MoviePlayer::waitForReleases();
    }
    static SDIAudioBridge& sdi() { return SDIAudioBridge::shared(); }

    void click(const QRectF& design) {
        QTest::mouseClick(&bar, Qt::LeftButton, {}, design.center().toPoint());
    }
    TransportBar::Layout layout() const { return TransportBar::layout(bar.width()); }

    // Blocks of the running movie: after each render the bridge holds the lead, no more (sound
    // late, or a lead left over from before) and no less (sound ahead of its moment). A block is
    // rendered again while the feed falls short: the decoder may hold the ring's lock at that
    // moment (on air the next block makes up the rest).
    void play(int blocks) {
        for (int i = 0; i < blocks; ++i) {
            test::waitUntil([&] {
                playback->player().render(local.data(), kBlock);
                return sdi().storedFrames() >= kLead;
            });
            ASSERT_EQ(sdi().storedFrames(), kLead) << "block " << i;
            sdi().pullPlanar(pulled.data(), kBlock);
            clock.advance(kBlock / 48000.0);
        }
    }
    // The card plays on while the picture stands: nothing but silence.
    void standStill(int blocks) {
        const long long before = sdi().underrunFrames();
        for (int i = 0; i < blocks; ++i) {
            playback->player().render(local.data(), kBlock);
            sdi().pullPlanar(pulled.data(), kBlock);
            clock.advance(kBlock / 48000.0);
        }
        EXPECT_EQ(sdi().underrunFrames() - before, static_cast<long long>(blocks) * kBlock);
    }
    // The seek of a frame step or a scrub has landed.
    void waitForLanding(const std::function<bool(double)>& landed) {
        ASSERT_TRUE(test::waitUntil([&] { return landed(playback->currentTimeSeconds()); }));
    }

    test::FakeClock clock;
    std::shared_ptr<MoviePlayback> playback;
    TransportBar bar{Qt::red};
    std::vector<float> local = std::vector<float>(2 * kBlock);
    std::vector<float> pulled = std::vector<float>(2 * kBlock);
};

TEST_F(TransportBarAudioTest, PauseStepScrubAndCueTakeBackTheSoundFedAhead) {
    const TransportBar::Layout l = layout();
    click(l.buttons[2]);  // play
    play(4);
    click(l.buttons[2]);  // pause: the card falls silent with the picture
    EXPECT_EQ(sdi().storedFrames(), 0);
    standStill(15);       // 0.15 s
    click(l.buttons[2]);  // resume: each moment's sound at its moment again
    play(4);

    const double at = playback->currentTimeSeconds();
    click(l.buttons[3]);  // a frame forward from a running movie
    EXPECT_EQ(sdi().storedFrames(), 0);
    waitForLanding([at](double t) { return t > at + 0.001; });
    click(l.buttons[2]);
    play(4);

    click(l.chips[1]);  // 0.5x: no sound away from rate 1
    EXPECT_EQ(sdi().storedFrames(), 0);
    click(l.chips[2]);  // 1x
    play(4);

    const QPointF track(l.track.left() + l.track.width() / 3, l.track.center().y());
    test::MouseDrag drag(bar, track);  // a scrub begins
    EXPECT_EQ(sdi().storedFrames(), 0);
    drag.moveTo(track);
    const double target = bar.presenter().scrubSeconds().value_or(-1);
    ASSERT_GT(target, 0.5);
    drag.release(track);
    waitForLanding([target](double t) { return std::abs(t - target) < 0.05; });
    click(l.buttons[2]);
    play(4);

    click(l.buttons[0]);  // cue to start: the movie plays on from 0 s, and so does its sound
    waitForLanding([](double t) { return t < 0.001; });
    play(4);
}

}  // namespace
}  // namespace velmar
