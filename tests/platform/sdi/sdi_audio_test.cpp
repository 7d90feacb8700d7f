#include "platform/sdi/virtual_sdi_card.h"

#include "sdi_test_support.h"

// The request cadence at each rate is checked through the bridge (zr_deck_link_audio_test).
#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(SdiAudio, ScheduledSamplesArePlacedByTimeStamp) {
    VirtualSdiCard card(test::manualCard({test::smallMode(25, 1)}));
    auto output = card.deviceAtIndex(0)->output();
    std::vector<std::int32_t> played;
    output->setAudioCapture([&](const std::int32_t* s, std::uint32_t frames, long long at) {
        EXPECT_EQ(at, static_cast<long long>(played.size() / 2));
        played.insert(played.end(), s, s + 2 * frames);
    });
    std::vector<std::int32_t> samples(2 * 1000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int32_t>(i + 1);
    std::uint32_t written = 0;
    EXPECT_EQ(output->scheduleAudioSamples(samples.data(), 1000, 0, 48000, &written),
              SdiResult::notEnabled);
    ASSERT_EQ(output->enableAudioOutput(48000, 32, 2, true), SdiResult::ok);
    EXPECT_EQ(output->scheduleAudioSamples(samples.data(), 1000, 0, 48000, &written),
              SdiResult::ok);
    EXPECT_EQ(written, 1000u);
    EXPECT_EQ(output->scheduleAudioSamples(samples.data(), 10, 500, 48000, &written),
              SdiResult::invalidArgument);
    EXPECT_EQ(output->scheduleAudioSamples(samples.data(), 10, 2001, 96000, &written),
              SdiResult::invalidArgument);
    EXPECT_EQ(output->scheduleAudioSamples(nullptr, 10, 1000, 48000, &written),
              SdiResult::invalidArgument);
    // 1200 in 48 kHz written as 2400 of 96000: a gap of 200 sample frames of silence.
    EXPECT_EQ(output->scheduleAudioSamples(samples.data(), 100, 2400, 96000, &written),
              SdiResult::ok);
    EXPECT_EQ(output->counters().audioDiscontinuities, 1);
    // The buffer holds two seconds: of 100000 more only the room is taken.
    std::vector<std::int32_t> lots(2 * 100000, 7);
    EXPECT_EQ(output->scheduleAudioSamples(lots.data(), 100000, 1300, 48000, &written),
              SdiResult::ok);
    EXPECT_EQ(written, 96000u - 1300u);

    test::PlaybackClient client(*output, output->displayModes()[0], SdiPixelFormat::bgra8);
    ASSERT_EQ(client.start(), SdiResult::ok);
    output->step(1);
    ASSERT_EQ(played.size(), 2u * 1920);
    // Index -> sample: the first block, the gap, the second block from its own start, the rest.
    for (auto [at, want] :
         {std::pair{0, 1}, {1999, 2000}, {2000, 0}, {2399, 0}, {2400, 1}, {2599, 200}, {2600, 7}})
        EXPECT_EQ(played[size_t(at)], want) << at;
    output->step(60);  // runs out of audio: the rest is silence and counted missing
    const SdiOutputCounters c = output->counters();
    EXPECT_EQ(c.audioSamplesPlayed, 61 * 1920);
    EXPECT_EQ(c.audioSamplesMissing, 61 * 1920 - 96000);
}

}  // namespace
}  // namespace velmar
