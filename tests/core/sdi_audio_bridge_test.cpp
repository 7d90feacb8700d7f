#include "core/sdi_audio_bridge.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmar {
namespace {

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

TEST(SDIAudioBridge, IgnoresPushesWhileInactiveOrEmpty) {
    SDIAudioBridge bridge;
    std::vector<float> samples{0.1f, 0.2f, 0.3f, 0.4f};
    bridge.push(interleaved(samples, 2), 2, 48000);
    EXPECT_EQ(bridge.storedFrames(), 0);
    bridge.setActive(true);
    bridge.push(interleaved(samples, 2), 0, 48000);
    bridge.push(interleaved(samples, 2), 2, 0);
    AudioBufferList none;
    bridge.push(none, 2, 48000);
    EXPECT_EQ(bridge.storedFrames(), 0);
    bridge.push(interleaved(samples, 2), 2, 48000);
    EXPECT_EQ(stored(bridge), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
}

TEST(SDIAudioBridge, ReadsInterleavedMonoAndPlanarLayouts) {
    SDIAudioBridge bridge;
    bridge.setActive(true);
    std::vector<float> mono{0.5f, -0.5f};
    bridge.push(interleaved(mono, 1), 2, 48000);
    EXPECT_EQ(stored(bridge), (std::vector<float>{0.5f, 0.5f, -0.5f, -0.5f}));

    bridge.setActive(true);  // empties the ring
    std::vector<float> left{1, 2}, right{3, 4}, third{9, 9};
    AudioBufferList planar;
    planar.count = 3;
    planar.buffers[0] = {1, 8, left.data()};
    planar.buffers[1] = {1, 8, right.data()};
    planar.buffers[2] = {1, 8, third.data()};
    bridge.push(planar, 2, 48000);
    EXPECT_EQ(stored(bridge), (std::vector<float>{1, 3, 2, 4}));
}

TEST(SDIAudioBridge, FullRingDropsTheOldestFrames) {
    SDIAudioBridge bridge;
    bridge.setActive(true);
    std::vector<float> samples;
    for (int i = 0; i < SDIAudioBridge::ringFrames + 10; ++i) {
        samples.push_back(static_cast<float>(i));
        samples.push_back(0);
    }
    bridge.push(interleaved(samples, 2), SDIAudioBridge::ringFrames + 10, 48000);
    EXPECT_EQ(bridge.storedFrames(), SDIAudioBridge::ringFrames);
    EXPECT_EQ(bridge.droppedFrames(), 10);
    float first[2];
    bridge.copyStored(first, 1);
    EXPECT_EQ(first[0], 10.0f);  // the eleventh frame pushed
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
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(got[static_cast<std::size_t>(2 * i)], expectLeft[i]);

    // A new rate restarts the position: the first frame is the previous block's last.
    std::vector<float> next{0.8f, 0.8f};
    bridge.push(interleaved(next, 2), 1, 44100);
    got = stored(bridge);
    EXPECT_FLOAT_EQ(got[8], 0.4f);
}

}  // namespace
}  // namespace velmar
