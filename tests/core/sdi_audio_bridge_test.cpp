#include "core/sdi_audio_bridge.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace velmar {
namespace {

constexpr std::int32_t kMax = 2147483647;

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

// Pushes `frames` stereo frames at 48 kHz whose left sample is its index times `scale` and
// whose right sample is the negated left.
void pushRamp(SDIAudioBridge& bridge, int frames, float scale = 1.0f) {
    std::vector<float> samples;
    samples.reserve(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        samples.push_back(static_cast<float>(i) * scale);
        samples.push_back(-static_cast<float>(i) * scale);
    }
    bridge.push(interleaved(samples, 2), frames, 48000);
}

std::vector<float> pullPlanar(SDIAudioBridge& bridge, long long frames) {
    std::vector<float> out(static_cast<std::size_t>(frames) * 2, 9.0f);
    bridge.pullPlanar(out.data(), frames);
    return out;
}

TEST(SDIAudioBridge, IgnoresPushesWhileInactiveOrEmpty) {
    SDIAudioBridge bridge;
    std::vector<float> samples{0.1f, 0.2f, 0.3f, 0.4f};
    bridge.push(interleaved(samples, 2), 2, 44100);
    EXPECT_EQ(bridge.storedFrames(), 0);
    bridge.setActive(true);
    bridge.push(interleaved(samples, 2), 0, 48000);
    bridge.push(interleaved(samples, 2), 2, 0);
    AudioBufferList none;
    bridge.push(none, 2, 48000);
    EXPECT_EQ(bridge.storedFrames(), 0);
    bridge.push(interleaved(samples, 2), 2, 48000);
    // The inactive push at 44.1 kHz did not change the source rate: no resampling here.
    EXPECT_EQ(stored(bridge), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
}

TEST(SDIAudioBridge, ReadsInterleavedMonoAndPlanarLayouts) {
    SDIAudioBridge bridge;
    bridge.setActive(true);
    std::vector<float> mono{0.5f, -0.5f};
    bridge.push(interleaved(mono, 1), 2, 48000);
    EXPECT_EQ(stored(bridge), (std::vector<float>{0.5f, 0.5f, -0.5f, -0.5f}));

    bridge.setActive(true);  // empties the ring
    std::vector<float> six{1, 2, 7, 7, 7, 7, 3, 4, 7, 7, 7, 7};
    bridge.push(interleaved(six, 6), 2, 48000);
    EXPECT_EQ(stored(bridge), (std::vector<float>{1, 2, 3, 4}));

    bridge.setActive(true);
    std::vector<float> left{1, 2}, right{3, 4}, third{9, 9};
    AudioBufferList planar;
    planar.count = 3;
    planar.buffers[0] = {1, 8, left.data()};
    planar.buffers[1] = {1, 8, right.data()};
    planar.buffers[2] = {1, 8, third.data()};
    bridge.push(planar, 2, 48000);
    EXPECT_EQ(stored(bridge), (std::vector<float>{1, 3, 2, 4}));
}

TEST(SDIAudioBridge, ReadsNoMoreFramesThanTheBuffersHold) {
    std::vector<float> four{0.1f, 0.2f, 0.3f, 0.4f};  // two stereo frames
    std::vector<float> left{1, 2, 3}, right{4, 5};
    struct Case {
        const char* what;
        AudioBufferList list;
        int frames;
        std::vector<float> expected;
    };
    AudioBufferList planar;
    planar.count = 2;
    planar.buffers[0] = {1, 3 * sizeof(float), left.data()};
    planar.buffers[1] = {1, 2 * sizeof(float), right.data()};
    AudioBufferList nullRight = planar;
    nullRight.buffers[1].data = nullptr;
    AudioBufferList empty = interleaved(four, 2);
    empty.buffers[0].byteSize = 0;
    AudioBufferList tooManyChannels = interleaved(four, 8);
    AudioBufferList zeroChannels = interleaved(four, 0);
    AudioBufferList negativeCount = interleaved(four, 2);
    negativeCount.count = -1;
    AudioBufferList shortTail = interleaved(four, 2);
    shortTail.buffers[0].byteSize = 3 * sizeof(float);  // one whole frame and half of one

    const Case cases[] = {
        {"count beyond the interleaved buffer",
         interleaved(four, 2),
         1000,
         {0.1f, 0.2f, 0.3f, 0.4f}},
        {"count beyond the shorter planar buffer", planar, 1000, {1, 4, 2, 5}},
        {"planar buffer without data", nullRight, 2, {}},
        {"buffer of no bytes", empty, 2, {}},
        {"more channels than samples", tooManyChannels, 1, {}},
        {"channel count 0 reads as mono",
         zeroChannels,
         9,
         {0.1f, 0.1f, 0.2f, 0.2f, 0.3f, 0.3f, 0.4f, 0.4f}},
        {"negative buffer count", negativeCount, 2, {}},
        {"partial last frame", shortTail, 2, {0.1f, 0.2f}},
    };
    for (const Case& c : cases) {
        SDIAudioBridge bridge;
        bridge.setActive(true);
        bridge.push(c.list, c.frames, 48000);
        EXPECT_EQ(stored(bridge), c.expected) << c.what;
        // Resampled pushes obey the same limit.
        bridge.setActive(true);
        bridge.push(c.list, c.frames, 24000);
        EXPECT_EQ(bridge.storedFrames(), static_cast<int>(c.expected.size())) << c.what;
    }
}

TEST(SDIAudioBridge, FullRingDropsTheOldestFrames) {
    SDIAudioBridge bridge;
    bridge.setActive(true);
    pushRamp(bridge, SDIAudioBridge::ringFrames + 10);
    EXPECT_EQ(bridge.storedFrames(), SDIAudioBridge::ringFrames);
    EXPECT_EQ(bridge.droppedFrames(), 10);
    float first[2];
    bridge.copyStored(first, 1);
    EXPECT_EQ(first[0], 10.0f);  // the eleventh frame pushed

    bridge.setActive(false);  // resets the ring and the counters
    EXPECT_EQ(bridge.storedFrames(), 0);
    EXPECT_EQ(bridge.droppedFrames(), 0);
}

TEST(SDIAudioBridge, RoundTripsAt48kHzInBothLayouts) {
    SDIAudioBridge bridge;
    bridge.setActive(true);
    pushRamp(bridge, 6, 0.125f);
    // Planar: left in the first half, right in the second.
    EXPECT_EQ(pullPlanar(bridge, 3), (std::vector<float>{0, 0.125f, 0.25f, 0, -0.125f, -0.25f}));
    std::vector<std::int32_t> ints(6, 7);
    bridge.pull(ints.data(), 3);
    const auto q = [](double x) { return static_cast<std::int32_t>(x * kMax); };
    EXPECT_EQ(ints, (std::vector<std::int32_t>{q(0.375), q(-0.375), q(0.5), q(-0.5), q(0.625),
                                               q(-0.625)}));
    EXPECT_EQ(bridge.storedFrames(), 0);
    EXPECT_EQ(bridge.underrunFrames(), 0);
}

TEST(SDIAudioBridge, ConvertsSamplesToFullScaleAndNotANumberToZero) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float sample;
        std::int32_t asInt;
        float asFloat;
    };
    const Case cases[] = {
        {0.0f, 0, 0.0f},       {0.5f, 1073741823, 0.5f}, {-0.5f, -1073741823, -0.5f},
        {1.0f, kMax, 1.0f},    {1.5f, kMax, 1.0f},       {-1.0f, -kMax, -1.0f},
        {-3.0f, -kMax, -1.0f}, {inf, kMax, 1.0f},        {-inf, -kMax, -1.0f},
        {nan, 0, 0.0f},        {-nan, 0, 0.0f},
    };
    for (const Case& c : cases) {
        SDIAudioBridge bridge;
        bridge.setActive(true);
        std::vector<float> block{c.sample, c.sample, c.sample, c.sample};
        bridge.push(interleaved(block, 2), 2, 48000);
        std::int32_t ints[2] = {7, 7};
        bridge.pull(ints, 1);
        EXPECT_EQ(ints[0], c.asInt) << c.sample;
        EXPECT_EQ(ints[1], c.asInt) << c.sample;
        float floats[2] = {7, 7};
        bridge.pullPlanar(floats, 1);
        EXPECT_EQ(floats[0], c.asFloat) << c.sample;
        EXPECT_EQ(floats[1], c.asFloat) << c.sample;
    }
}

TEST(SDIAudioBridge, AppliesTheProgramGainExactly) {
    struct Case {
        float gain;
        float expected;  // of a sample of 0.5
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const Case& c : {Case{1.0f, 0.5f}, Case{0.5f, 0.25f}, Case{0.25f, 0.125f},
                          Case{0.0f, 0.0f}, Case{2.0f, 0.5f}, Case{-1.0f, 0.0f}, Case{nan, 0.0f}}) {
        SDIAudioBridge bridge;
        bridge.setActive(true);
        bridge.setProgramGain(c.gain);
        std::vector<float> block{0.5f, -0.5f};
        bridge.push(interleaved(block, 2), 1, 48000);
        EXPECT_EQ(pullPlanar(bridge, 1), (std::vector<float>{c.expected, -c.expected})) << c.gain;
    }
}

TEST(SDIAudioBridge, UnderrunGivesSilenceCountedOnlyWhileActive) {
    SDIAudioBridge bridge;
    bridge.setActive(true);
    std::vector<float> one{0.25f, 0.5f};
    bridge.push(interleaved(one, 2), 1, 48000);
    std::vector<std::int32_t> ints(6, 7);
    bridge.pull(ints.data(), 3);
    EXPECT_EQ(ints, (std::vector<std::int32_t>{static_cast<std::int32_t>(0.25 * kMax),
                                               static_cast<std::int32_t>(0.5 * kMax), 0, 0, 0, 0}));
    EXPECT_EQ(bridge.underrunFrames(), 2);

    bridge.setActive(false);
    EXPECT_EQ(bridge.underrunFrames(), 0);
    EXPECT_EQ(pullPlanar(bridge, 3), std::vector<float>(6, 0.0f));
    EXPECT_EQ(bridge.underrunFrames(), 0);
}

TEST(SDIAudioBridge, PullsIgnoreEmptyRequestsAndMissingBuffers) {
    SDIAudioBridge bridge;
    bridge.setActive(true);
    pushRamp(bridge, 4);
    std::int32_t ints[2] = {7, 7};
    float floats[2] = {7, 7};
    for (long long frames : {0LL, -1LL, -1000000LL}) {
        bridge.pull(ints, frames);
        bridge.pullPlanar(floats, frames);
    }
    bridge.pull(nullptr, 4);
    bridge.pullPlanar(nullptr, 4);
    EXPECT_EQ(ints[0], 7);
    EXPECT_EQ(floats[0], 7.0f);
    EXPECT_EQ(bridge.storedFrames(), 4);
    EXPECT_EQ(bridge.underrunFrames(), 0);
}

TEST(SDIAudioBridge, TrimsABacklogToOneRequestPlus2048Frames) {
    struct Case {
        int stored;
        long long request;
        long long dropped;
        int firstOut;  // index of the first frame read
        int left;      // stored after the request
    };
    const Case cases[] = {
        {10000, 1600, 6352, 6352, 2048},  // beyond 2n + 4096: the newest n + 2048 survive
        {7296, 1600, 0, 0, 5696},         // exactly 2n + 4096: untouched
        {7297, 1600, 3649, 3649, 2048},
        {40000, 1, 37951, 37951, 2048},
    };
    for (const Case& c : cases) {
        SDIAudioBridge bridge;
        bridge.setActive(true);
        pushRamp(bridge, c.stored, 1.0f / 65536.0f);
        const std::vector<float> out = pullPlanar(bridge, c.request);
        EXPECT_EQ(bridge.droppedFrames(), c.dropped) << c.stored;
        EXPECT_EQ(out[0], static_cast<float>(c.firstOut) / 65536.0f) << c.stored;
        EXPECT_EQ(bridge.storedFrames(), c.left) << c.stored;
    }
}

TEST(SDIAudioBridge, ResamplesLinearlyAcrossBlocks) {
    SDIAudioBridge bridge;
    bridge.setActive(true);
    // 24 kHz: two output frames per input frame, halfway values between neighbours.
    std::vector<float> block{0.2f, 0.2f, 0.4f, 0.4f};
    bridge.push(interleaved(block, 2), 2, 24000);
    std::vector<float> got = stored(bridge);
    ASSERT_EQ(got.size(), 8u);
    const float expectLeft[] = {0.0f, 0.1f, 0.2f, 0.3f};  // starts from silence
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(got[static_cast<std::size_t>(2 * i)], expectLeft[i]);

    // A new rate restarts the position: the first frame is the previous block's last.
    std::vector<float> next{0.8f, 0.8f};
    bridge.push(interleaved(next, 2), 1, 44100);
    got = stored(bridge);
    EXPECT_FLOAT_EQ(got[8], 0.4f);
}

TEST(SDIAudioBridge, ResamplesA44kMonoRampInBlocksToAContinuous48kRamp) {
    SDIAudioBridge bridge;
    bridge.setActive(true);
    // Half a second of a mono ramp at 44.1 kHz in blocks of 441 frames; input frame i is i / 44100.
    constexpr int kBlocks = 50, kBlock = 441;
    for (int b = 0; b < kBlocks; ++b) {
        std::vector<float> mono(kBlock);
        for (int i = 0; i < kBlock; ++i)
            mono[static_cast<std::size_t>(i)] = static_cast<float>(b * kBlock + i) / 44100.0f;
        bridge.push(interleaved(mono, 1), kBlock, 44100);
    }
    const int frames = bridge.storedFrames();
    EXPECT_NEAR(frames, 24000, 1);
    const std::vector<float> out = pullPlanar(bridge, frames);
    // Output frame j lies at input position j × 44100 / 48000, interpolated from the frame
    // before: (position − 1) / 44100 once past the first input frame; both sides alike.
    const double step = 44100.0 / 48000.0;
    for (int j = 2; j < frames; ++j) {
        const double expected = (j * step - 1.0) / 44100.0;
        ASSERT_NEAR(out[static_cast<std::size_t>(j)], expected, 2e-6) << j;
        ASSERT_EQ(out[static_cast<std::size_t>(j)], out[static_cast<std::size_t>(frames + j)]) << j;
    }
}

TEST(SDIAudioBridge, IgnoresSourceRatesTooLowToBeAudio) {
    SDIAudioBridge bridge;
    bridge.setActive(true);
    std::vector<float> block(2048, 0.5f);
    const auto start = std::chrono::steady_clock::now();
    for (double rate : {1e-300, 0.001, 1.0, 999.0}) bridge.push(interleaved(block, 2), 1024, rate);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
    EXPECT_EQ(bridge.storedFrames(), 0);
    bridge.push(interleaved(block, 2), 1024, 8000);  // the lowest common audio rate works
    EXPECT_NEAR(bridge.storedFrames(), 6144, 1);
}

// Pushes from an audio thread while the test holds the bridge's lock (a pull or a setter).
void pushWhileBusy(SDIAudioBridge& bridge, std::vector<float>& samples, int frames, double rate = 48000) {
    std::lock_guard held(bridge.lock());
    std::thread audio([&] { bridge.push(interleaved(samples, 2), frames, rate); });
    audio.join();
}

TEST(SDIAudioBridge, APushMeetingABusyLockIsKeptAndAppendedInOrder) {
    {
        // Two blocks that meet a busy lock, then one that finds it free: all arrive in order.
        SDIAudioBridge bridge;
        bridge.setActive(true);
        std::vector<float> first{0.1f, -0.1f, 0.2f, -0.2f};
        std::vector<float> second{0.3f, -0.3f};
        std::vector<float> third{0.4f, -0.4f};
        pushWhileBusy(bridge, first, 2);
        pushWhileBusy(bridge, second, 1);
        EXPECT_EQ(bridge.storedFrames(), 0);
        bridge.push(interleaved(third, 2), 1, 48000);
        EXPECT_EQ(stored(bridge), (std::vector<float>{0.1f, -0.1f, 0.2f, -0.2f, 0.3f, -0.3f, 0.4f, -0.4f}));
        EXPECT_EQ(bridge.droppedFrames(), 0);
    }
    {
        // A pull takes a parked block first; a block beyond the side buffer's room is dropped
        // and counted; a parked block does not survive a restart of the output.
        SDIAudioBridge bridge;
        bridge.setActive(true);
        std::vector<float> block(static_cast<std::size_t>(SDIAudioBridge::scratchFrames + 10) * 2, 0.5f);
        pushWhileBusy(bridge, block, SDIAudioBridge::scratchFrames + 10);
        EXPECT_EQ(bridge.droppedFrames(), 10);
        const std::vector<float> out = pullPlanar(bridge, 1);
        EXPECT_EQ(out, (std::vector<float>{0.5f, 0.5f}));
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
    SDIAudioBridge bridge;
    bridge.setActive(true);
    bridge.setProgramGain(0.0f);  // the gain does not apply to the tone
    pushRamp(bridge, 100, 0.001f);
    bridge.setTone(std::make_unique<ToneGenerator>(ReferenceToneKind::sine1k20Left, 48000));
    EXPECT_TRUE(bridge.hasTone());
    ToneGenerator reference(ReferenceToneKind::sine1k20Left, 48000);
    std::vector<float> left(48), right(48);
    reference.render(left.data(), right.data(), 48);

    const std::vector<float> out = pullPlanar(bridge, 48);
    EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + 48), left);
    EXPECT_EQ(std::vector<float>(out.begin() + 48, out.end()), right);
    EXPECT_EQ(bridge.storedFrames(), 52);  // the program frames of the request were discarded

    // Past the stored program audio the tone goes on and no underrun is counted.
    std::vector<std::int32_t> ints(2 * 100);
    bridge.pull(ints.data(), 100);
    EXPECT_EQ(bridge.storedFrames(), 0);
    EXPECT_EQ(bridge.underrunFrames(), 0);
    reference.render(left.data(), right.data(), 48);
    for (int i = 0; i < 48; ++i) {
        EXPECT_EQ(ints[static_cast<std::size_t>(2 * i)],
                  static_cast<std::int32_t>(static_cast<double>(left[static_cast<std::size_t>(i)]) *
                                            kMax));
        EXPECT_EQ(ints[static_cast<std::size_t>(2 * i + 1)], 0);
    }

    bridge.setTone(nullptr);
    EXPECT_FALSE(bridge.hasTone());
    bridge.setProgramGain(1.0f);
    pushRamp(bridge, 2, 0.25f);
    EXPECT_EQ(pullPlanar(bridge, 2), (std::vector<float>{0, 0.25f, 0, -0.25f}));
}

TEST(SDIAudioBridge, RequestsLargerThanTheScratchBuffersStayContinuous) {
    constexpr long long kRequest = 10000;  // beyond the 8192-frame tone scratch buffers
    SDIAudioBridge bridge;
    bridge.setActive(true);
    pushRamp(bridge, kRequest, 1.0f / 65536.0f);
    std::vector<float> out = pullPlanar(bridge, kRequest);
    for (long long i = 0; i < kRequest; ++i)
        ASSERT_EQ(out[static_cast<std::size_t>(i)], static_cast<float>(i) / 65536.0f) << i;
    EXPECT_EQ(bridge.underrunFrames(), 0);

    pushRamp(bridge, 12000);
    bridge.setTone(std::make_unique<ToneGenerator>(ReferenceToneKind::sine1k18, 48000));
    ToneGenerator reference(ReferenceToneKind::sine1k18, 48000);
    std::vector<float> left(kRequest), right(kRequest);
    reference.render(left.data(), right.data(), kRequest);
    out = pullPlanar(bridge, kRequest);
    EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + kRequest), left);
    EXPECT_EQ(std::vector<float>(out.begin() + kRequest, out.end()), right);
    EXPECT_EQ(bridge.storedFrames(), 2000);  // min(request, stored) program frames discarded
}

}  // namespace
}  // namespace velmar
