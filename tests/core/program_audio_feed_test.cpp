#include "core/audio_level_tap.h"
#include "core/sdi_audio_bridge.h"
#include "support/fake_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

// Program audio fed to the output bridges ahead of the present: the outputs keep playing the
// audio of their own moment while the thread that runs the tap is held up.
namespace velmar {
namespace {

using Levels = AudioLevelTap::AudioLevels;
constexpr double kRate = 48000.0;
constexpr float kStep = 1.0f / 1048576.0f;  // 2^-20: item frame f is the exact sample f × kStep

long long frameAt(double itemTime) {
    return std::llround(itemTime * kRate);
}

// Decoded movie audio as a player holds it: from the present to `heldAhead` seconds beyond,
// item frame f reading f × kStep on the left and its negative on the right. The present follows
// the fake clock from item time 10 s on.
class AheadSource final : public AudioTapSource {
  public:
    explicit AheadSource(test::FakeClock& clock) : clock_(clock), origin_(clock.now() - 10.0) {}
    double heldAhead = 1.5;
    // As a player's ring: a fetch uses up the block it reads, which is no longer held after.
    bool fetchUsesUp = false;

    double present() const { return pausedAt_ >= 0 ? pausedAt_ : clock_.now() - origin_; }
    void pause() { pausedAt_ = present(); }
    void resume() {
        origin_ = clock_.now() - pausedAt_;
        pausedAt_ = -1;
    }
    void jump(double seconds) { origin_ -= seconds; }  // a seek while running
    bool fetch(AudioBufferList& buffers, int frames, int* delivered) override {
        write(buffers.buffers[0].data, frameAt(present()), frames);
        *delivered = frames;
        if (fetchUsesUp) usedUpThrough_ = std::max(usedUpThrough_, frameAt(present()) + frames);
        return true;
    }
    bool presentTime(double* itemTime) const override {
        *itemTime = present();
        return true;
    }
    int copyAhead(float* interleaved, int frames, double* from) override {
        long long start = frameAt(*from);
        const long long oldest = std::max(frameAt(present()), usedUpThrough_);
        if (start < oldest) {
            start = oldest;
            *from = static_cast<double>(start) / kRate;
        }
        const long long count = std::min<long long>(frames, frameAt(present() + heldAhead) - start);
        if (count < 1) return 0;
        write(interleaved, start, count);
        return static_cast<int>(count);
    }

  private:
    static void write(float* out, long long first, long long frames) {
        for (long long i = 0; i < frames; ++i) {
            out[2 * i] = static_cast<float>(first + i) * kStep;
            out[2 * i + 1] = -static_cast<float>(first + i) * kStep;
        }
    }
    test::FakeClock& clock_;
    double origin_;
    double pausedAt_ = -1;
    long long usedUpThrough_ = 0;
};

class ProgramAudioFeedTest : public testing::Test {
  protected:
    void SetUp() override {
        for (SDIAudioBridge* bridge : SDIAudioBridge::all()) bridge->setActive(false);
        sdi().setProgramGain(1.0f);
        sdi().setActive(true);
        levels.setOutput(1.0f, true);
    }
    void TearDown() override {
        for (SDIAudioBridge* bridge : SDIAudioBridge::all()) bridge->setActive(false);
    }
    static SDIAudioBridge& sdi() { return SDIAudioBridge::shared(); }

    // One block of the local mixer at the present moment.
    void mix(int frames = 256) {
        std::vector<float> data(static_cast<std::size_t>(frames) * 2);
        AudioBufferList list;
        list.count = 1;
        list.buffers[0] = {2, data.size() * sizeof(float), data.data()};
        AudioLevelTap::process(levels, source, list, frames);
    }
    // The card's audio request for one 1080p59.94 frame (800 or 801 frames, as the card
    // schedules them), then the clock moves on by the frame. Answers the item frame index of
    // each left sample pulled (-1 for silence).
    std::vector<long long> playFrame() {
        ++videoFrames_;
        const auto through = static_cast<int>(videoFrames_ * 48000 * 1001 / 60000);
        const int n = through - audioFrames_;
        audioFrames_ = through;
        std::vector<float> planar(static_cast<std::size_t>(n) * 2);
        sdi().pullPlanar(planar.data(), n);
        clock.advance(1001.0 / 60000.0);
        std::vector<long long> frames(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const float left = planar[static_cast<std::size_t>(i)];
            frames[static_cast<std::size_t>(i)] = left == 0.0f ? -1 : std::llround(left / kStep);
        }
        return frames;
    }

    long long videoFrames_ = 0;
    int audioFrames_ = 0;
    test::FakeClock clock;
    AheadSource source{clock};
    Levels levels;
};

TEST_F(ProgramAudioFeedTest, OutputsPlayThroughAStallOfTheTapShorterThanTheLeadInStep) {
    mix();
    // The tap's thread is held up for 12 frames (200 ms) while the card keeps pulling.
    long long expected = frameAt(10.0);
    for (int f = 0; f < 12; ++f) {
        for (long long got : playFrame()) EXPECT_EQ(got, expected++);
    }
    EXPECT_EQ(sdi().underrunFrames(), 0);
    // The tap runs again: it makes up what it missed, and the card's audio goes on unbroken.
    mix();
    EXPECT_NEAR(sdi().storedFrames(), SDIAudioBridge::kProgramLeadFrames, 2);
    for (int f = 0; f < 120; ++f) {
        const double present = source.present();
        const std::vector<long long> got = playFrame();
        // The frame's audio is the audio of its own moment, to a frame of the request's
        // rounding.
        EXPECT_NEAR(static_cast<double>(got.front()), static_cast<double>(frameAt(present)), 1);
        for (long long g : got) EXPECT_EQ(g, expected++);
        if (f % 3 == 0) mix();
    }
    EXPECT_EQ(sdi().underrunFrames(), 0);
    EXPECT_EQ(sdi().droppedFrames(), 0);
}

TEST_F(ProgramAudioFeedTest, TheFeedStartsAgainAtThePresentAfterRunningDryOrAReset) {
    mix();
    // Held up for 0.5 s, beyond the lead: the card plays silence once the lead is spent...
    for (int f = 0; f < 30; ++f) playFrame();
    EXPECT_GT(sdi().underrunFrames(), 0);
    // ...and the feed does not go on from where it stopped (that audio would now be late):
    // the next frame plays the audio of its moment.
    long long presentFrame = frameAt(source.present());
    mix();
    EXPECT_EQ(playFrame().front(), presentFrame);

    // The output restarts (the ring is emptied): fed from the present again, a full lead.
    sdi().setActive(true);
    presentFrame = frameAt(source.present());
    mix();
    EXPECT_NEAR(sdi().storedFrames(), SDIAudioBridge::kProgramLeadFrames, 1);
    EXPECT_EQ(playFrame().front(), presentFrame);

    // The movie pauses while the output plays on through what was fed ahead; when it plays
    // again, its audio follows at once, not a lead later.
    mix();
    source.pause();
    for (int f = 0; f < 30; ++f) playFrame();
    source.resume();
    presentFrame = frameAt(source.present());
    mix();
    EXPECT_EQ(playFrame().front(), presentFrame);

    // Nothing decoded ahead: only what there is, and the rest at the next block.
    sdi().setActive(true);
    source.heldAhead = 0.1;
    mix();
    EXPECT_EQ(sdi().storedFrames(), frameAt(0.1));
    source.heldAhead = 1.5;
    mix();
    EXPECT_NEAR(sdi().storedFrames(), SDIAudioBridge::kProgramLeadFrames, 1);
    EXPECT_EQ(sdi().underrunFrames(), 0);

    // A restart while the feed is less than half a lead ahead: the emptied ring looks like
    // what a pulling output leaves, so only the bridge's reset tells the feed to start again.
    sdi().setActive(true);
    source.heldAhead = 0.1;
    mix();
    clock.advance(0.02);
    sdi().setActive(true);
    presentFrame = frameAt(source.present());
    mix();
    EXPECT_EQ(sdi().storedFrames(), frameAt(0.1));
    EXPECT_EQ(playFrame().front(), presentFrame);
}

TEST_F(ProgramAudioFeedTest, AStoppedMovieTakesBackWhatItFedAhead) {
    AudioLevelTap tap;
    auto feed = [&] {
        std::vector<float> data(512);
        AudioBufferList list;
        list.count = 1;
        list.buffers[0] = {2, data.size() * sizeof(float), data.data()};
        AudioLevelTap::process(tap.levels(), source, list, 256);
    };
    tap.setOutput(1.0f, false);
    feed();
    EXPECT_EQ(sdi().storedFrames(), 0);  // not routed: nothing fed
    tap.discardFedAhead();
    EXPECT_EQ(sdi().droppedFrames(), 0);

    tap.setOutput(1.0f, true);
    feed();
    playFrame();
    source.pause();
    tap.discardFedAhead();
    // The output falls silent with the picture instead of playing the lead on.
    const std::vector<long long> after = playFrame();
    EXPECT_EQ(std::count(after.begin(), after.end(), -1), static_cast<long>(after.size()));
    // Playing again, the sound follows at once.
    source.resume();
    long long presentFrame = frameAt(source.present());
    feed();
    EXPECT_EQ(playFrame().front(), presentFrame);
    // A seek 0.2 s on while running: from there on each moment's sound at its moment, not what
    // was fed from before the seek, nor the sound from where the old feed got to.
    feed();
    source.jump(0.2);
    tap.discardFedAhead();
    presentFrame = frameAt(source.present());
    feed();
    EXPECT_NEAR(static_cast<double>(playFrame().front()), static_cast<double>(presentFrame), 1);
}

// The local output uses up the present block of the player's ring, and after a pause what it
// had used up is gone: the outputs still get every moment's sound at that moment, a gap of
// silence standing in for what is gone.
TEST_F(ProgramAudioFeedTest, OutputsKeepTimeWhenTheLocalOutputUsedTheSoundUp) {
    source.fetchUsesUp = true;
    // Silence, then the sound of each moment, to a frame of the request's rounding.
    const auto inTime = [&](long long presentFrame, const std::vector<long long>& got) {
        const auto first =
            std::find_if(got.begin(), got.end(), [](long long g) { return g != -1; });
        if (first == got.end()) return false;
        const long long at = presentFrame + (first - got.begin());
        for (auto it = first; it != got.end(); ++it)
            if (*it != *first + (it - first)) return false;
        return std::llabs(*first - at) <= 1;
    };
    long long presentFrame = frameAt(source.present());
    mix();
    const std::vector<long long> start = playFrame();
    EXPECT_EQ(start.front(), presentFrame);  // fed before the local output used its block up
    EXPECT_TRUE(inTime(presentFrame, start));
    // Paused a moment after a block was used up, the lead taken back; played on from there.
    mix();
    source.pause();
    sdi().discardNewest(SDIAudioBridge::kProgramLeadFrames);
    playFrame();
    source.resume();
    presentFrame = frameAt(source.present());
    mix();
    const std::vector<long long> got = playFrame();
    EXPECT_EQ(got.front(), -1);  // what the local output used up: silence
    EXPECT_TRUE(inTime(presentFrame, got));
    mix();
    presentFrame = frameAt(source.present());
    EXPECT_TRUE(inTime(presentFrame, playFrame()));
}

TEST_F(ProgramAudioFeedTest, ABridgeFedAheadTrimsOnlyBeyondItsLead) {
    const int lead = SDIAudioBridge::kProgramLeadFrames;
    SDIAudioBridge bridge(lead);
    bridge.setActive(true);
    std::vector<float> block(static_cast<std::size_t>(lead + 10000) * 2, 0.25f);
    AudioBufferList list;
    list.count = 1;
    list.buffers[0] = {2, block.size() * sizeof(float), block.data()};
    std::vector<float> out(3200);

    bridge.push(list, lead + 7296, kRate);  // lead + 2n + 4096 for n = 1600: kept whole
    bridge.pullPlanar(out.data(), 1600);
    EXPECT_EQ(bridge.droppedFrames(), 0);
    EXPECT_EQ(bridge.storedFrames(), lead + 5696);

    bridge.setActive(true);
    bridge.push(list, lead + 10000, kRate);  // beyond: the newest lead + n + 2048 survive
    bridge.pullPlanar(out.data(), 1600);
    EXPECT_EQ(bridge.droppedFrames(), 6352);
    EXPECT_EQ(bridge.storedFrames(), lead + 2048);
}

}  // namespace
}  // namespace velmar
