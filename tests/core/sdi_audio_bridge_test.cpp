#include "core/sdi_audio_bridge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace velmar {
namespace {

constexpr std::int32_t kMax = 2147483647;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

AudioBufferList interleaved(std::vector<float>& samples, int channels) {
    AudioBufferList list;
    list.count = 1;
    list.buffers[0] = {channels, samples.size() * sizeof(float), samples.data()};
    return list;
}

std::vector<float> stored(const SDIAudioBridge& bridge) {
    std::vector<float> out(static_cast<std::size_t>(bridge.storedFrames()) * 2);
    bridge.copyStored(out.data(), bridge.storedFrames());
    return out;
}

// Pushes `frames` stereo frames at 48 kHz: left is the index times `scale`, right its negation.
void pushRamp(SDIAudioBridge& bridge, int frames, float scale = 1.0f) {
    std::vector<float> samples;
    for (int i = 0; i < frames; ++i) samples.insert(samples.end(), {i * scale, -i * scale});
    bridge.push(interleaved(samples, 2), frames, 48000);
}

std::vector<float> pullPlanar(SDIAudioBridge& bridge, long long frames) {
    std::vector<float> out(static_cast<std::size_t>(frames) * 2, 9.0f);
    bridge.pullPlanar(out.data(), frames);
    return out;
}

struct ActiveBridge : SDIAudioBridge {
    ActiveBridge() { setActive(true); }
};

TEST(SDIAudioBridge, IgnoresPushesWhileInactiveOrEmpty) {
    SDIAudioBridge bridge;
    std::vector<float> samples{0.1f, 0.2f, 0.3f, 0.4f};
    bridge.push(interleaved(samples, 2), 2, 44100);
    EXPECT_EQ(bridge.storedFrames(), 0);
    bridge.setActive(true);
    bridge.push(interleaved(samples, 2), 0, 48000);
    bridge.push(interleaved(samples, 2), 2, 0);
    bridge.push(AudioBufferList{}, 2, 48000);
    EXPECT_EQ(bridge.storedFrames(), 0);
    bridge.push(interleaved(samples, 2), 2, 48000);
    // The inactive push at 44.1 kHz did not change the source rate: no resampling here.
    EXPECT_EQ(stored(bridge), samples);
}

TEST(SDIAudioBridge, ReadsNoMoreFramesThanTheBuffersHold) {
    std::vector<float> four{0.1f, 0.2f, 0.3f, 0.4f}, mono{0.5f, -0.5f}, left{1, 2, 3}, right{4, 5};
    std::vector<float> six{1, 2, 7, 7, 7, 7, 3, 4, 7, 7, 7, 7}, third{9, 9};
    AudioBufferList planar;
    planar.count = 3;  // a third buffer is ignored
    planar.buffers[0] = {1, 3 * sizeof(float), left.data()};
    planar.buffers[1] = {1, 2 * sizeof(float), right.data()};
    planar.buffers[2] = {1, 2 * sizeof(float), third.data()};
    AudioBufferList nullRight = planar;
    nullRight.buffers[1].data = nullptr;
    AudioBufferList empty = interleaved(four, 2);
    empty.buffers[0].byteSize = 0;
    AudioBufferList negativeCount = interleaved(four, 2), shortTail = interleaved(four, 2);
    negativeCount.count = -1;
    shortTail.buffers[0].byteSize = 3 * sizeof(float);  // one whole frame and half of one
    struct Case {
        const char* what;
        AudioBufferList list;
        int frames;
        std::vector<float> expected;
    };
    const Case cases[] = {
        {"mono on both sides", interleaved(mono, 1), 2, {0.5f, 0.5f, -0.5f, -0.5f}},
        {"six channels give the first two", interleaved(six, 6), 2, {1, 2, 3, 4}},
        {"count beyond the interleaved buffer", interleaved(four, 2), 1000, four},
        {"count beyond the shorter planar buffer", planar, 1000, {1, 4, 2, 5}},
        {"planar buffer without data", nullRight, 2, {}},
        {"buffer of no bytes", empty, 2, {}},
        {"more channels than samples", interleaved(four, 8), 1, {}},
        {"channel count 0 reads as mono",
         interleaved(four, 0),
         9,
         {0.1f, 0.1f, 0.2f, 0.2f, 0.3f, 0.3f, 0.4f, 0.4f}},
        {"negative buffer count", negativeCount, 2, {}},
        {"partial last frame", shortTail, 2, {0.1f, 0.2f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ActiveBridge bridge;
        bridge.push(c.list, c.frames, 48000);
        EXPECT_EQ(stored(bridge), c.expected);
        bridge.setActive(true);  // resampled pushes obey the same limit
        bridge.push(c.list, c.frames, 24000);
        EXPECT_EQ(bridge.storedFrames(), static_cast<int>(c.expected.size()));
    }
}

TEST(SDIAudioBridge, FullRingDropsTheOldestFrames) {
    ActiveBridge bridge;
    pushRamp(bridge, SDIAudioBridge::kRingFrames + 10, 1.0f / 65536);
    EXPECT_EQ(bridge.storedFrames(), SDIAudioBridge::kRingFrames);
    EXPECT_EQ(bridge.droppedFrames(), 10);
    EXPECT_EQ(stored(bridge)[0], 10.0f / 65536);  // the eleventh frame pushed
    const std::vector<float> all = pullPlanar(bridge, SDIAudioBridge::kRingFrames);  // wraps
    EXPECT_EQ(all[SDIAudioBridge::kRingFrames - 1], (SDIAudioBridge::kRingFrames + 9.0f) / 65536);
    bridge.setActive(false);  // resets the ring and the counters
    EXPECT_EQ(bridge.storedFrames(), 0);
    EXPECT_EQ(bridge.droppedFrames(), 0);
}

TEST(SDIAudioBridge, RoundTripsAt48kHzInBothLayoutsAndUnderrunsToSilence) {
    ActiveBridge bridge;
    pushRamp(bridge, 7, 0.125f);
    // Planar: left in the first half, right in the second.
    EXPECT_EQ(pullPlanar(bridge, 3), (std::vector<float>{0, 0.125f, 0.25f, 0, -0.125f, -0.25f}));
    std::vector<std::int32_t> ints(12, 7);
    bridge.pull(ints.data(), 6);
    const auto q = [](double x) { return static_cast<std::int32_t>(x * kMax); };
    EXPECT_EQ(ints, (std::vector<std::int32_t>{q(0.375), q(-0.375), q(0.5), q(-0.5), q(0.625),
                                               q(-0.625), q(0.75), q(-0.75), 0, 0, 0, 0}));
    EXPECT_EQ(bridge.underrunFrames(), 2);
    // Inactive: silence, and no underrun counted.
    bridge.setActive(false);
    EXPECT_EQ(pullPlanar(bridge, 3), std::vector<float>(6, 0.0f));
    EXPECT_EQ(bridge.underrunFrames(), 0);
}

TEST(SDIAudioBridge, ConvertsSamplesToFullScaleAndNotANumberToZero) {
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float sample;
        std::int32_t asInt;
        float asFloat;
    };
    const Case cases[] = {
        {0.0f, 0, 0.0f},       {0.5f, 1073741823, 0.5f}, {-0.5f, -1073741823, -0.5f},
        {1.0f, kMax, 1.0f},    {1.5f, kMax, 1.0f},       {-1.0f, -kMax, -1.0f},
        {-3.0f, -kMax, -1.0f}, {inf, kMax, 1.0f},        {-inf, -kMax, -1.0f},
        {kNaN, 0, 0.0f},       {-kNaN, 0, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        ActiveBridge bridge;
        std::vector<float> block(4, c.sample);
        bridge.push(interleaved(block, 2), 2, 48000);
        std::int32_t ints[2] = {7, 7};
        bridge.pull(ints, 1);
        EXPECT_EQ(ints[0], c.asInt);
        EXPECT_EQ(ints[1], c.asInt);
        EXPECT_EQ(pullPlanar(bridge, 1), std::vector<float>(2, c.asFloat));
    }
}

TEST(SDIAudioBridge, AppliesTheProgramGainExactly) {
    // {gain, result for a sample of 0.5}
    for (auto [gain, want] : {std::pair{1.0f, 0.5f},
                              {0.5f, 0.25f},
                              {0.25f, 0.125f},
                              {0.0f, 0.0f},
                              {2.0f, 0.5f},
                              {-1.0f, 0.0f},
                              {kNaN, 0.0f}}) {
        ActiveBridge bridge;
        bridge.setProgramGain(gain);
        std::vector<float> block{0.5f, -0.5f};
        bridge.push(interleaved(block, 2), 1, 48000);
        EXPECT_EQ(pullPlanar(bridge, 1), (std::vector<float>{want, -want})) << gain;
    }
}

TEST(SDIAudioBridge, PullsIgnoreEmptyRequestsAndMissingBuffers) {
    ActiveBridge bridge;
    pushRamp(bridge, 4);
    std::int32_t ints[2] = {7, 7};
    float floats[2] = {7, 7};
    for (long long frames : {0LL, -1LL, -1000000LL}) {
        bridge.pull(ints, frames);
        bridge.pullPlanar(floats, frames);
    }
    bridge.pull(nullptr, 4);
    bridge.pullPlanar(nullptr, 4);
    EXPECT_EQ(ints[0] + floats[0], 14);  // untouched
    EXPECT_EQ(bridge.storedFrames(), 4);
    EXPECT_EQ(bridge.underrunFrames(), 0);
}

TEST(SDIAudioBridge, TrimsABacklogToOneRequestPlus2048Frames) {
    struct Case {
        int stored;
        long long request, dropped;  // dropped frames are also the index of the first frame read
        int left;                    // stored after the request
    };
    const Case cases[] = {
        {10000, 1600, 6352, 2048},  // beyond 2n + 4096: the newest n + 2048 survive
        {7296, 1600, 0, 5696},      // exactly 2n + 4096: untouched
        {7297, 1600, 3649, 2048},
        {40000, 1, 37951, 2048},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        ActiveBridge bridge;
        pushRamp(bridge, c.stored, 1.0f / 65536.0f);
        const std::vector<float> out = pullPlanar(bridge, c.request);
        EXPECT_EQ(bridge.droppedFrames(), c.dropped);
        EXPECT_EQ(out[0], static_cast<float>(c.dropped) / 65536.0f);
        EXPECT_EQ(bridge.storedFrames(), c.left);
    }
}

TEST(SDIAudioBridge, ResamplesLinearlyFromSilenceAndRestartsOnANewRate) {
    ActiveBridge bridge;
    std::vector<float> block{0.2f, 0.2f, 0.4f, 0.4f}, next{0.8f, 0.8f};
    bridge.push(interleaved(block, 2), 2, 36000);  // every 0.75 input frame, 0.25 left over
    bridge.push(interleaved(next, 2), 1, 44100);   // restarts at the previous block's last frame
    const std::vector<float> got = stored(bridge);
    const float want[] = {0.0f, 0.15f, 0.3f, 0.4f, 0.7675f};
    ASSERT_EQ(got.size(), 10u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_NEAR(got[2 * i], want[i], 1e-6) << i;
}

TEST(SDIAudioBridge, ResamplesA44kMonoRampInBlocksToAContinuous48kRamp) {
    ActiveBridge bridge;
    // Half a second of a mono ramp at 44.1 kHz in blocks of 441 frames; input frame i is i / 44100.
    constexpr int kBlocks = 50, kBlock = 441;
    for (int b = 0; b < kBlocks; ++b) {
        std::vector<float> mono(kBlock);
        for (int i = 0; i < kBlock; ++i)
            mono[static_cast<std::size_t>(i)] = (b * kBlock + i) / 44100.0f;
        bridge.push(interleaved(mono, 1), kBlock, 44100);
    }
    const int frames = bridge.storedFrames();
    EXPECT_NEAR(frames, 24000, 1);
    const std::vector<float> out = pullPlanar(bridge, frames);
    // Output frame j lies at input position j × 44100 / 48000, interpolated from the frame
    // before: (position − 1) / 44100 once past the first input frame; both sides alike.
    const double step = 44100.0 / 48000.0;
    for (int j = 2; j < frames; ++j) {
        ASSERT_NEAR(out[static_cast<std::size_t>(j)], (j * step - 1.0) / 44100.0, 2e-6) << j;
        ASSERT_EQ(out[static_cast<std::size_t>(j)], out[static_cast<std::size_t>(frames + j)]) << j;
    }
}

TEST(SDIAudioBridge, IgnoresSourceRatesTooLowToBeAudio) {
    ActiveBridge bridge;
    std::vector<float> block(2048, 0.5f);
    for (double rate : {1e-300, 0.001, 1.0, 999.0}) bridge.push(interleaved(block, 2), 1024, rate);
    EXPECT_EQ(bridge.storedFrames(), 0);
    bridge.push(interleaved(block, 2), 1024, 8000);  // the lowest common audio rate works
    EXPECT_NEAR(bridge.storedFrames(), 6144, 1);
}

// Pushes from an audio thread while the test holds the bridge's lock (a pull or a setter).
void pushWhileBusy(SDIAudioBridge& bridge, std::vector<float>& samples, int frames,
                   double rate = 48000) {
    std::lock_guard held(bridge.lock());
    std::thread audio([&] { bridge.push(interleaved(samples, 2), frames, rate); });
    audio.join();
}

TEST(SDIAudioBridge, APushMeetingABusyLockIsKeptAndAppendedInOrder) {
    {
        // Two blocks that meet a busy lock, then one that finds it free: all arrive in order.
        ActiveBridge bridge;
        std::vector<float> first{0.1f, -0.1f, 0.2f, -0.2f}, second{0.3f, -0.3f}, third{0.4f, -0.4f};
        pushWhileBusy(bridge, first, 2);
        pushWhileBusy(bridge, second, 1);
        EXPECT_EQ(bridge.storedFrames(), 0);
        bridge.push(interleaved(third, 2), 1, 48000);
        EXPECT_EQ(stored(bridge),
                  (std::vector<float>{0.1f, -0.1f, 0.2f, -0.2f, 0.3f, -0.3f, 0.4f, -0.4f}));
        EXPECT_EQ(bridge.droppedFrames(), 0);
    }
    {
        // A pull takes a parked block first; a block beyond the side buffer's room is dropped
        // and counted; a parked block does not survive a restart of the output.
        ActiveBridge bridge;
        std::vector<float> block(static_cast<std::size_t>(SDIAudioBridge::kScratchFrames + 10) * 2,
                                 0.5f);
        pushWhileBusy(bridge, block, SDIAudioBridge::kScratchFrames + 10);
        EXPECT_EQ(bridge.droppedFrames(), 10);
        EXPECT_EQ(pullPlanar(bridge, 1), (std::vector<float>{0.5f, 0.5f}));
        EXPECT_EQ(bridge.underrunFrames(), 0);
        std::vector<float> small{0.25f, 0.25f};
        pushWhileBusy(bridge, small, 1);
        bridge.setActive(false);
        bridge.setActive(true);
        pullPlanar(bridge, 1);
        EXPECT_EQ(bridge.underrunFrames(), 1);
    }
    {
        // Inactive: a block that meets a busy lock is ignored like any other.
        SDIAudioBridge bridge;
        std::vector<float> block(4, 0.5f);
        pushWhileBusy(bridge, block, 2);
        bridge.setActive(true);
        EXPECT_EQ(bridge.storedFrames(), 0);
        EXPECT_EQ(bridge.droppedFrames(), 0);
    }
}

TEST(SDIAudioBridge, ATonePlaysInsteadOfProgramAudio) {
    constexpr long long kRequest = SDIAudioBridge::kScratchFrames + 1808;  // beyond the scratch
    ActiveBridge bridge;
    bridge.setProgramGain(0.0f);  // the gain does not apply to the tone
    pushRamp(bridge, kRequest + 100, 1e-5f);
    bridge.setTone(std::make_unique<ToneGenerator>(ReferenceToneKind::sine1k20Left, 48000));
    ToneGenerator reference(ReferenceToneKind::sine1k20Left, 48000);
    std::vector<float> expected(2 * kRequest);
    reference.render(expected.data(), expected.data() + kRequest, kRequest);
    EXPECT_EQ(pullPlanar(bridge, kRequest), expected);
    EXPECT_EQ(bridge.storedFrames(), 100);  // the program frames of the request were discarded

    // Past the stored program audio the tone goes on and no underrun is counted.
    std::vector<std::int32_t> ints(2 * 148);
    bridge.pull(ints.data(), 148);
    EXPECT_EQ(bridge.storedFrames(), 0);
    EXPECT_EQ(bridge.underrunFrames(), 0);
    reference.render(expected.data(), expected.data() + 148, 148);
    for (std::size_t i = 0; i < 148; ++i) {
        ASSERT_EQ(ints[2 * i], static_cast<std::int32_t>(static_cast<double>(expected[i]) * kMax))
            << i;
        ASSERT_EQ(ints[2 * i + 1], 0) << i;
    }
    bridge.setTone(nullptr);
    bridge.setProgramGain(1.0f);
    pushRamp(bridge, 2, 0.25f);
    EXPECT_EQ(pullPlanar(bridge, 2), (std::vector<float>{0, 0.25f, 0, -0.25f}));
}

}  // namespace
}  // namespace velmar
