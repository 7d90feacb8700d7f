#include "platform/sdi/virtual_sdi_card.h"

#include "sdi_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace velmar {
namespace {

// Iteration, names, keyers and the per-format mode check are seen through the bridge's listing
// (zr_deck_link_listing_test); fault injection through the bridge's start.
TEST(SdiDevice, StandardModesHaveExactRationalRatesAndDistinctCodes) {
    VirtualSdiConfig config;
    config.devices.resize(1);  // a device without modes of its own has the standard ones
    VirtualSdiCard card(config);
    const auto modes = card.deviceAtIndex(0)->output()->displayModes();
    auto find = [&](long long w, long long h, long long scale, long long duration) {
        return std::any_of(modes.begin(), modes.end(), [&](const SdiDisplayMode& m) {
            return m.width == w && m.height == h && m.timeScale == scale &&
                   m.frameDuration == duration;
        });
    };
    EXPECT_TRUE(find(1920, 1080, 60000, 1001) && find(1920, 1080, 30000, 1001) &&
                find(1920, 1080, 25000, 1000) && find(1280, 720, 50000, 1000) &&
                find(3840, 2160, 60000, 1000));
    EXPECT_FALSE(find(1280, 720, 25000, 1000));
    std::set<std::uint32_t> codes;
    for (const auto& m : modes) codes.insert(m.code);
    EXPECT_EQ(codes.size(), modes.size());
}

TEST(SdiDevice, RowBytesPerFormat) {
    // v210: 48 pixels in 128 bytes, rows a multiple of 128; Ay10: 4 bytes a pixel, rows a
    // multiple of 256.
    const struct {
        SdiPixelFormat format;
        long long width;
        std::size_t bytes;
    } cases[] = {{SdiPixelFormat::bgra8, 1920, 7680}, {SdiPixelFormat::v210, 1920, 5120},
                 {SdiPixelFormat::v210, 1280, 3456},  {SdiPixelFormat::v210, 1, 128},
                 {SdiPixelFormat::ay10, 1280, 5120},  {SdiPixelFormat::ay10, 65, 512},
                 {SdiPixelFormat::bgra8, 0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(sdiMinimumRowBytes(c.format, c.width), c.bytes)
            << fourCCString(uint32_t(c.format)) << " " << c.width;
}

TEST(SdiDevice, FramesAreValidatedLikeAStrictDriver) {
    VirtualSdiCard card(test::manualCard({test::smallMode(25, 1)}));
    auto output = card.deviceAtIndex(0)->output();
    const auto bgra = static_cast<std::uint32_t>(SdiPixelFormat::bgra8);
    const auto v210 = static_cast<std::uint32_t>(SdiPixelFormat::v210);
    const auto ay10 = static_cast<std::uint32_t>(SdiPixelFormat::ay10);
    struct Case {
        long long w, h, rowBytes;
        std::uint32_t format;
        SdiResult want;
    };
    const Case cases[] = {
        {12, 4, 48, bgra, SdiResult::ok},
        {12, 4, 47, bgra, SdiResult::invalidArgument},
        {12, 4, 128, v210, SdiResult::ok},
        {12, 4, 127, v210, SdiResult::invalidArgument},
        {12, 4, 256, ay10, SdiResult::ok},
        {12, 4, 255, ay10, SdiResult::invalidArgument},
        {0, 4, 48, bgra, SdiResult::invalidArgument},
        {12, -1, 48, bgra, SdiResult::invalidArgument},
        {12, 4, 48, fourCC("2vuy"), SdiResult::invalidArgument},
        {20000, 4, 80000, bgra, SdiResult::invalidArgument},
    };
    for (const Case& t : cases) {
        std::shared_ptr<SdiVideoFrame> frame;
        EXPECT_EQ(output->createVideoFrame(t.w, t.h, t.rowBytes, t.format, &frame), t.want)
            << t.w << "x" << t.h << " " << t.rowBytes << " " << fourCCString(t.format);
        EXPECT_EQ(frame != nullptr, t.want == SdiResult::ok);
    }
    std::shared_ptr<SdiVideoFrame> wrapped;
    auto memory = std::make_shared<std::vector<std::uint8_t>>(64 * 4);
    EXPECT_EQ(output->wrapVideoFrame(12, 4, 64, bgra, memory, memory->data(), &wrapped),
              SdiResult::ok);
    EXPECT_TRUE(wrapped->wrapsCallerMemory());
    EXPECT_EQ(output->wrapVideoFrame(12, 4, 64, bgra, nullptr, memory->data(), &wrapped),
              SdiResult::invalidArgument);
    EXPECT_EQ(output->wrapVideoFrame(12, 4, 64, bgra, memory, nullptr, &wrapped),
              SdiResult::invalidArgument);
}

TEST(SdiDevice, SchedulingRefusesWhatDoesNotFit) {
    VirtualSdiConfig config = test::manualCard({test::smallMode(30000, 1001)});
    config.devices.push_back(config.devices[0]);
    config.devices[1].modes[0].mode.width = 13;  // the same mode one pixel wider
    VirtualSdiCard card(config);
    auto output = card.deviceAtIndex(0)->output();
    auto make = [&](long long w, SdiPixelFormat format) {
        std::shared_ptr<SdiVideoFrame> frame;
        output->createVideoFrame(w, 4, static_cast<long long>(sdiMinimumRowBytes(format, w)),
                                 static_cast<std::uint32_t>(format), &frame);
        return frame;
    };
    auto good = make(12, SdiPixelFormat::bgra8);
    EXPECT_EQ(output->scheduleVideoFrame(good, 0, 1001, 30000), SdiResult::notEnabled);
    ASSERT_EQ(output->enableVideoOutput(fourCC("T001")), SdiResult::ok);
    EXPECT_EQ(output->enableVideoOutput(fourCC("T001")), SdiResult::busy);
    EXPECT_EQ(card.deviceAtIndex(1)->output()->enableVideoOutput(fourCC("ZZZZ")),
              SdiResult::unsupported);

    EXPECT_EQ(output->scheduleVideoFrame(make(11, SdiPixelFormat::bgra8), 0, 1001, 30000),
              SdiResult::invalidArgument);  // one pixel narrower than the mode
    EXPECT_EQ(output->scheduleVideoFrame(make(12, SdiPixelFormat::ay10), 0, 1001, 30000),
              SdiResult::invalidArgument);  // fill and key without the keyer on
    EXPECT_EQ(output->scheduleVideoFrame(good, 500, 1001, 30000), SdiResult::invalidArgument);
    EXPECT_EQ(output->scheduleVideoFrame(good, 0, 1000, 30000), SdiResult::invalidArgument);
    EXPECT_EQ(output->scheduleVideoFrame(good, 0, 1001, 0), SdiResult::invalidArgument);
    EXPECT_EQ(output->scheduleVideoFrame(nullptr, 0, 1001, 30000), SdiResult::invalidArgument);
    // Another time scale on the same grid is fine: 2002 in 60000 is one frame.
    EXPECT_EQ(output->scheduleVideoFrame(good, 2002, 2002, 60000), SdiResult::ok);
    EXPECT_EQ(output->scheduleVideoFrame(good, 2002, 1001, 30000),
              SdiResult::invalidArgument);  // held
    auto other = make(12, SdiPixelFormat::v210);
    EXPECT_EQ(output->scheduleVideoFrame(other, 1001, 1001, 30000),
              SdiResult::invalidArgument);  // same time
    EXPECT_EQ(output->scheduleVideoFrame(other, 0, 1001, 30000), SdiResult::ok);

    auto keyer = card.deviceAtIndex(0)->keyer();
    ASSERT_EQ(keyer->enable(true), SdiResult::ok);
    EXPECT_EQ(keyer->setLevel(256), SdiResult::invalidArgument);
    EXPECT_EQ(keyer->setLevel(255), SdiResult::ok);
    EXPECT_EQ(output->scheduleVideoFrame(make(12, SdiPixelFormat::ay10), 2002, 1001, 30000),
              SdiResult::ok);
    EXPECT_EQ(output->counters().framesScheduled, 3);
    EXPECT_EQ(output->counters().schedulesRefused, 9);

    EXPECT_EQ(output->enableAudioOutput(44100, 32, 2, true), SdiResult::invalidArgument);
    EXPECT_EQ(output->enableAudioOutput(48000, 16, 2, true), SdiResult::invalidArgument);
    EXPECT_EQ(output->enableAudioOutput(48000, 32, 8, true), SdiResult::invalidArgument);
    EXPECT_EQ(output->enableAudioOutput(48000, 32, 2, false), SdiResult::invalidArgument);
    EXPECT_EQ(output->enableAudioOutput(48000, 32, 2, true), SdiResult::ok);
    EXPECT_EQ(output->startScheduledPlayback(0, 30000, 2.0), SdiResult::unsupported);
    EXPECT_EQ(output->startScheduledPlayback(7, 30000, 1.0), SdiResult::invalidArgument);
}

}  // namespace
}  // namespace velmar
