#include "sdi/zr_deck_link_output.h"

#include "sdi_bridge_test_support.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// An audio source whose left samples count up from 0 and right samples count down, so that
// any gap, repeat or reorder shows in what the card plays.
struct CountingSource {
    ZRDeckLinkOutput::AudioRequest request() {
        return [this](std::int32_t* samples, long long frames) {
            calls.push_back(frames);
            for (long long i = 0; i < frames; ++i) {
                samples[2 * i] = static_cast<std::int32_t>(next);
                samples[2 * i + 1] = static_cast<std::int32_t>(-next);
                ++next;
            }
        };
    }
    long long next = 0;
    std::vector<long long> calls;
};

struct CadenceCase {
    const char* name;
    std::uint32_t mode;
    long long timeScale, frameDuration;
    int period;                  // frames of one cadence cycle
    long long samplesPerPeriod;  // stereo sample frames in it
};

TEST(ZRDeckLinkAudio, CadenceFollowsTheExactRateAndNeverDrifts) {
    const CadenceCase cases[] = {
        {"59.94", test::kBridgeMode5994, 60000, 1001, 5, 4004},
        {"29.97", test::kMode2997, 30000, 1001, 5, 8008},
        {"25", test::kMode25, 25, 1, 1, 1920},
        {"23.98", test::kMode2398, 24000, 1001, 5, 10010},
    };
    for (const CadenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualSdiCard card(test::bridgeCard());
        auto output = card.deviceAtIndex(0)->output();
        long long playedUpTo = 0;
        long long outOfOrder = 0;
        output->setAudioCapture([&](const std::int32_t* s, std::uint32_t frames, long long start) {
            for (std::uint32_t i = 0; i < frames; ++i) {
                const long long at = start + i;
                if (s[2 * i] != at || s[2 * i + 1] != -at) ++outOfOrder;
            }
            playedUpTo = start + frames;
        });
        test::RingClient client(test::bgraRing());
        CountingSource source;
        ZRDeckLinkOutput bridge(&card);
        ASSERT_TRUE(bridge.start(0, c.mode, client.ring(), false, false, client.request(),
                                 source.request()));
        ASSERT_TRUE(bridge.audioEnabled());
        auto through = [&](long long frames) {
            return frames * c.frameDuration * 48000 / c.timeScale;
        };
        EXPECT_EQ(source.next, through(3));  // the preroll's audio

        // Frame by frame: every cycle holds exactly the cycle's samples, whatever its phase.
        long long cycleStart = source.next;
        for (int k = 1; k <= 4 * c.period; ++k) {
            output->step();
            ASSERT_EQ(source.next, through(3 + k)) << "after frame " << k;
            if (k % c.period == 0) {
                EXPECT_EQ(source.next - cycleStart, c.samplesPerPeriod);
                cycleStart = source.next;
            }
        }
        if (c.period == 1) {
            EXPECT_EQ(source.calls, std::vector<long long>(7, 1920)) << "one block a frame";
        }
        // A long run stays on the exact total.
        const long long longRun = 20000;
        output->step(longRun);
        const long long frames = 3 + 4 * c.period + longRun;
        EXPECT_EQ(source.next, through(frames));
        for (long long n : source.calls) {
            ASSERT_GE(n, 1);
            ASSERT_LE(n, ZRDeckLinkOutput::kAudioBufferFrames);
        }
        const SdiOutputCounters counters = output->counters();
        EXPECT_EQ(counters.audioSamplesScheduled, through(frames));
        EXPECT_EQ(counters.audioSamplesMissing + counters.audioDiscontinuities + outOfOrder, 0);
        EXPECT_EQ(playedUpTo, through(4 * c.period + longRun));  // three frames of lead remain
    }
}

TEST(ZRDeckLinkAudio, AFrameLongerThanTheBufferIsAskedForInBlocks) {
    // 2 frames a second: 24000 sample frames a frame, asked in blocks of at most 4096.
    VirtualSdiConfig config = test::bridgeCard();
    const std::uint32_t slow = fourCC("slow");
    config.devices[0].modes.push_back(test::bridgeMode(slow, 2, 1));
    VirtualSdiCard card(config);
    test::RingClient client(test::bgraRing());
    CountingSource source;
    ZRDeckLinkOutput bridge(&card);
    ASSERT_TRUE(
        bridge.start(0, slow, client.ring(), false, false, client.request(), source.request()));
    ASSERT_EQ(source.calls.size(), 18u);  // three frames of 4096 x 5 + 3520
    for (int frame = 0; frame < 3; ++frame) {
        for (int i = 0; i < 5; ++i) EXPECT_EQ(source.calls[frame * 6 + i], 4096);
        EXPECT_EQ(source.calls[frame * 6 + 5], 3520);
    }
    EXPECT_EQ(source.next, 72000);
}

}  // namespace
}  // namespace velmar
