#include "core/audio_level_tap.h"

#include "core/sdi_audio_bridge.h"
#include "platform/player/movie_player.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "support/test_media.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace velmar {
namespace {

using Levels = AudioLevelTap::AudioLevels;

// A source that hands out fixed samples, or fails.
class FixedSource final : public AudioTapSource {
  public:
    std::vector<float> samples;
    bool fails = false;
    bool fetch(AudioBufferList& buffers, int frames, int* delivered) override {
        *delivered = 0;
        if (fails) return false;
        if (!samples.empty())
            std::memcpy(buffers.buffers[0].data, samples.data(),
                        std::min(buffers.buffers[0].byteSize, samples.size() * 4));
        *delivered = frames;
        return true;
    }
};

struct Block {
    std::vector<float> data;
    AudioBufferList list;
    Block(int frames, int channels) : data(static_cast<std::size_t>(frames * channels), 0.0f) {
        list.count = 1;
        list.buffers[0] = {channels, data.size() * 4, data.data()};
    }
};

// Resets the process-wide bridges around each test.
class AudioLevelTapTest : public testing::Test {
  protected:
    void SetUp() override { resetBridges(); }
    void TearDown() override { resetBridges(); }
    static void resetBridges() {
        for (SDIAudioBridge* bridge : SDIAudioBridge::all()) bridge->setActive(false);
        SDIAudioBridge::shared().setMuteLocalWhileActive(true);
    }
};

TEST_F(AudioLevelTapTest, SmoothsRisingAndFallingPeaks) {
    Levels levels;
    for (float expected : {0.5f, 0.75f, 0.875f}) {
        levels.update(1.0f, 1.0f);
        EXPECT_FLOAT_EQ(levels.meter().left, expected);
    }
    for (int i = 0; i < 20; ++i) levels.update(1.0f, 0.0f);  // settle at 1
    const float start = levels.meter().left;
    for (float factor : {0.92f, 0.92f * 0.92f}) {
        levels.update(0.0f, 0.0f);
        EXPECT_FLOAT_EQ(levels.meter().left, start * factor);
    }

    Levels loud;
    loud.update(1.5f, 0.0f);
    loud.update(1.5f, 0.0f);
    EXPECT_EQ(loud.meter().left, 1.0f);                   // clamped on the meter
    EXPECT_FLOAT_EQ(loud.smoothingState().left, 1.125f);  // kept unclamped
}

TEST_F(AudioLevelTapTest, MeasuresTheFirstTwoChannelsOfEveryLayout) {
    struct Case {
        const char* name;
        int channels;
        std::vector<float> samples;
        float left, right;
    };
    const Case cases[] = {
        {"stereo", 2, {0.1f, -0.6f, -0.4f, 0.2f}, 0.4f, 0.6f},
        {"six channels", 6, {0.2f, 0.4f, 0.9f, 0.9f, 0.9f, 0.9f}, 0.2f, 0.4f},
        {"mono", 1, {0.3f, -0.8f}, 0.8f, 0.8f},
        {"more channels than samples", 4, {0.9f, 0.9f}, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Levels levels;
        FixedSource source;
        source.samples = c.samples;
        std::vector<float> data(c.samples.size(), 0.0f);
        AudioBufferList list;
        list.count = 1;
        list.buffers[0] = {c.channels, data.size() * 4, data.data()};
        AudioLevelTap::process(levels, source, list,
                               std::max<int>(1, int(c.samples.size()) / c.channels));
        // One update from 0: half the peak.
        EXPECT_FLOAT_EQ(levels.smoothingState().left, c.left * 0.5f);
        EXPECT_FLOAT_EQ(levels.smoothingState().right, c.right * 0.5f);
    }
    // Planar: buffer 0 is left, buffer 1 right, further buffers are ignored.
    Levels levels;
    std::vector<float> l{0.2f, -0.3f}, r{0.7f, 0.1f}, x{1.0f, 1.0f};
    AudioBufferList planar;
    planar.count = 3;
    planar.buffers[0] = {1, 8, l.data()};
    planar.buffers[1] = {1, 8, r.data()};
    planar.buffers[2] = {1, 8, x.data()};
    FixedSource untouched;  // no samples: leaves the buffers as they are
    AudioLevelTap::process(levels, untouched, planar, 2);
    EXPECT_FLOAT_EQ(levels.smoothingState().left, 0.15f);
    EXPECT_FLOAT_EQ(levels.smoothingState().right, 0.35f);
}

TEST_F(AudioLevelTapTest, RoutesUnscaledAudioAndMutesLocallyWhileSDIIsActive) {
    SDIAudioBridge& sdi = SDIAudioBridge::shared();
    SDIAudioBridge& ndi = SDIAudioBridge::ndi();
    FixedSource source;
    source.samples = {0.5f, -0.5f, 0.25f, -0.25f};

    struct Case {
        const char* name;
        bool route, sdiActive, ndiActive, mute;
        float gain;
        float local;  // first local sample after the tap
        int sdiFrames, ndiFrames;
    };
    const Case cases[] = {
        {"not routed", false, true, true, true, 0.5f, 0.25f, 0, 0},
        {"routed, SDI muting local", true, true, true, true, 0.5f, 0.0f, 2, 2},
        {"routed, mute off", true, true, false, false, 0.5f, 0.25f, 2, 0},
        {"routed, SDI idle", true, false, true, true, 1.0f, 0.5f, 0, 2},
        {"gain just below one", false, false, false, true, 0.99999994f, 0.5f * 0.99999994f, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sdi.setActive(c.sdiActive);
        ndi.setActive(c.ndiActive);
        sdi.setMuteLocalWhileActive(c.mute);
        Levels levels;
        levels.setOutput(c.gain, c.route);
        Block block(2, 2);
        AudioLevelTap::process(levels, source, block.list, 2);
        EXPECT_EQ(block.data[0], c.local);
        EXPECT_EQ(sdi.storedFrames(), c.sdiFrames);
        EXPECT_EQ(ndi.storedFrames(), c.ndiFrames);
        if (c.sdiFrames > 0) {
            float first[2];
            sdi.copyStored(first, 1);
            EXPECT_EQ(first[0], 0.5f);  // the bridges get the audio before any gain
        }
    }
}

TEST_F(AudioLevelTapTest, FailedFetchPlaysSilenceAndForwardsNothing) {
    SDIAudioBridge::shared().setActive(true);
    Levels levels;
    levels.setOutput(0.5f, true);
    levels.update(0.8f, 0.8f);
    const auto before = levels.smoothingState();
    FixedSource source;
    source.fails = true;
    Block block(2, 2);
    std::fill(block.data.begin(), block.data.end(), 0.7f);  // stale samples of a former block
    AudioLevelTap::process(levels, source, block.list, 2);
    for (float s : block.data) EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(SDIAudioBridge::shared().storedFrames(), 0);
    EXPECT_EQ(levels.smoothingState().left, before.left);
}

TEST_F(AudioLevelTapTest, OnlyTheLatestInstallAttaches) {
    test::TestMedia::MovieOptions options{64, 36};
    options.audio = true;
    const QString path = test::TestMedia::movie("mov", options);
    test::FakeClock clock;
    auto player = std::make_shared<MoviePlayer>(path.toStdString(), clock);
    AudioLevelTap tap;
    tap.install(player);
    tap.install(player);
    test::waitFor([&] { return tap.isAttached(); });
    tap.remove();
    EXPECT_FALSE(tap.isAttached());

    tap.install(player);
    tap.remove();  // before the attach it queued has run
    test::drainMainQueue();
    EXPECT_FALSE(tap.isAttached());

    auto silent = std::make_shared<MoviePlayer>(test::TestMedia::movie("mp4").toStdString(), clock);
    AudioLevelTap none;
    none.install(silent);
    test::waitFor([&] { return silent->status() != MoviePlayer::Status::Unknown; });
    test::drainMainQueue();           // the track was known before the status
    EXPECT_FALSE(none.isAttached());  // no audio track: no tap
}

}  // namespace
}  // namespace velmar
