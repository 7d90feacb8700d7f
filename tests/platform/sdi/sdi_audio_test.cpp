#include "platform/sdi/virtual_sdi_card.h"

#include "sdi_test_support.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(SdiAudio, RequestCadenceFollowsTheExactFrameRate) {
    struct Case {
        long long scale, duration;
        long long perFiveFrames;
    };
    for (const Case t : {Case{60000, 1001, 4004}, Case{30000, 1001, 8008}, Case{25, 1, 9600},
                         Case{24000, 1001, 10010}}) {
        SCOPED_TRACE(std::to_string(t.scale) + "/" + std::to_string(t.duration));
        VirtualSdiCard card(test::manualCard({test::smallMode(t.scale, t.duration)}));
        auto output = card.deviceAtIndex(0)->output();
        const SdiDisplayMode mode = output->displayModes()[0];
        std::vector<std::pair<long long, std::uint32_t>> requests;  // stream time, frames
        output->setAudioRequestHandler([&](std::int32_t* buffer, std::uint32_t frames, long long at) {
            requests.emplace_back(at, frames);
            for (std::uint32_t i = 0; i < 2 * frames; ++i) buffer[i] = static_cast<std::int32_t>(at + i / 2);
        });
        ASSERT_EQ(output->enableAudioOutput(48000, 32, 2, true), SdiResult::ok);
        test::PlaybackClient client(*output, mode, SdiPixelFormat::bgra8);
        ASSERT_EQ(client.start(), SdiResult::ok);
        long long total = 0;
        for (long long k = 1; k <= 600; ++k) {
            output->step();
            total = 0;
            for (auto [at, frames] : requests) {
                ASSERT_EQ(at, total);  // contiguous, time-stamped from 0
                total += frames;
            }
            ASSERT_EQ(total, static_cast<long long>(static_cast<__int128>(k) * t.duration * 48000 / t.scale)) << k;
            ASSERT_EQ(total, mode.audioSamplesThrough(k));
            if (k % 5 == 0) {
                ASSERT_EQ(total, k / 5 * t.perFiveFrames);
            }
        }
        const SdiOutputCounters c = output->counters();
        EXPECT_EQ(c.audioSamplesPlayed, total);
        EXPECT_EQ(c.audioSamplesMissing + c.audioDiscontinuities, 0);
    }
}

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
    EXPECT_EQ(output->scheduleAudioSamples(samples.data(), 1000, 0, 48000, &written), SdiResult::notEnabled);
    ASSERT_EQ(output->enableAudioOutput(48000, 32, 2, true), SdiResult::ok);
    EXPECT_EQ(output->scheduleAudioSamples(samples.data(), 1000, 0, 48000, &written), SdiResult::ok);
    EXPECT_EQ(written, 1000u);
    EXPECT_EQ(output->scheduleAudioSamples(samples.data(), 10, 500, 48000, &written), SdiResult::invalidArgument);
    EXPECT_EQ(output->scheduleAudioSamples(samples.data(), 10, 2001, 96000, &written), SdiResult::invalidArgument);
    EXPECT_EQ(output->scheduleAudioSamples(nullptr, 10, 1000, 48000, &written), SdiResult::invalidArgument);
    // 1200 in 48 kHz written as 2400 of 96000: a gap of 200 sample frames of silence.
    EXPECT_EQ(output->scheduleAudioSamples(samples.data(), 100, 2400, 96000, &written), SdiResult::ok);
    EXPECT_EQ(output->counters().audioDiscontinuities, 1);
    // The buffer holds two seconds: of 100000 more only the room is taken.
    std::vector<std::int32_t> lots(2 * 100000, 7);
    EXPECT_EQ(output->scheduleAudioSamples(lots.data(), 100000, 1300, 48000, &written), SdiResult::ok);
    EXPECT_EQ(written, 96000u - 1300u);

    test::PlaybackClient client(*output, output->displayModes()[0], SdiPixelFormat::bgra8);
    ASSERT_EQ(client.start(), SdiResult::ok);
    output->step(1);
    ASSERT_EQ(played.size(), 2u * 1920);
    // Index -> sample: the first block, the gap, the second block from its own start, the rest.
    for (auto [at, want] : {std::pair{0, 1}, {1999, 2000}, {2000, 0}, {2399, 0}, {2400, 1}, {2599, 200}, {2600, 7}})
        EXPECT_EQ(played[size_t(at)], want) << at;
    output->step(60);  // runs out of audio: the rest is silence and counted missing
    const SdiOutputCounters c = output->counters();
    EXPECT_EQ(c.audioSamplesPlayed, 61 * 1920);
    EXPECT_EQ(c.audioSamplesMissing, 61 * 1920 - 96000);
}

}  // namespace
}  // namespace velmar
