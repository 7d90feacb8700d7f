#include "platform/player/audio_sample_ring.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmar {
namespace {

// Frame i of the written audio reads (i, -i).
std::vector<float> ramp(int frames, int first = 0) {
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        samples[static_cast<std::size_t>(2 * i)] = static_cast<float>(first + i);
        samples[static_cast<std::size_t>(2 * i + 1)] = -static_cast<float>(first + i);
    }
    return samples;
}

TEST(AudioSampleRing, CopiesAudioAheadWithoutTakingItFromThePlayer) {
    AudioSampleRing ring(48000);
    const std::vector<float> written = ramp(9600);  // 0.2 s from item time 2 s
    ring.write(written.data(), 9600, 2.0);

    std::vector<float> out(2 * 4800, -1.0f);
    double from = 2.1;  // 4800 frames in
    EXPECT_EQ(ring.tryCopy(out.data(), 4000, &from), 4000);
    EXPECT_EQ(from, 2.1);
    EXPECT_EQ(out[0], 4800.0f);
    EXPECT_EQ(out[1], -4800.0f);
    EXPECT_EQ(out[2 * 3999], 8799.0f);
    EXPECT_EQ(ring.storedFrames(), 9600);  // nothing taken

    // Only what is held: the copy stops at the newest frame, and beyond it there is none.
    EXPECT_EQ(ring.tryCopy(out.data(), 4800, &from), 4800);
    from = 2.19;
    EXPECT_EQ(ring.tryCopy(out.data(), 4800, &from), 480);
    from = 2.2;
    EXPECT_EQ(ring.tryCopy(out.data(), 4800, &from), 0);

    // The player plays the first 0.1 s: a copy from before what is left starts at the oldest
    // frame still held, and says so.
    std::vector<float> played(2 * 4800);
    ASSERT_TRUE(ring.tryRead(played.data(), 4800, 2.0));
    from = 2.05;
    EXPECT_EQ(ring.tryCopy(out.data(), 10, &from), 10);
    EXPECT_DOUBLE_EQ(from, 2.1);
    EXPECT_EQ(out[0], 4800.0f);
}

}  // namespace
}  // namespace velmar
