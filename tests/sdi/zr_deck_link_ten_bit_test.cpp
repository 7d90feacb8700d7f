#include "sdi/zr_deck_link_output.h"

#include "sdi_bridge_test_support.h"

// v210 fill-only playback, its fallback black and content checks are covered end to end by the
// controller tests (deck_link_controller_test, deck_link_controller_output_test).
#include <gtest/gtest.h>

namespace velmar {
namespace {

std::uint32_t word(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

TEST(ZRDeckLinkTenBit, BlackFillsOfEachFormat) {
    // v210: 16-byte groups (six pixels) while they fit the row; the rest of the row stays zero.
    const long long w = 12;
    const std::size_t v210Row = ZRDeckLinkOutput::rowBytesFor(SdiPixelFormat::v210, w);
    ASSERT_EQ(v210Row, 128u);
    std::vector<std::uint8_t> v210(v210Row * 3, 0xFF);
    ZRDeckLinkOutput::fillBlack(SdiPixelFormat::v210, v210.data(), w, 3, v210Row);
    for (int y = 0; y < 3; ++y) {
        const std::uint8_t* row = v210.data() + y * v210Row;
        const std::uint32_t group[4] = {0x20010200, 0x04080040, 0x20010200, 0x04080040};
        for (int i = 0; i < 8; ++i) EXPECT_EQ(word(row + 4 * i), group[i % 4]) << y << " " << i;
        for (std::size_t i = 32; i < v210Row; ++i) EXPECT_EQ(row[i], 0) << y << " " << i;
    }
    EXPECT_TRUE(sdiFrameContentIsValid(SdiPixelFormat::v210, v210.data(), w, 3, v210Row));

    // Ay10: one word per pixel, in pairs, so an odd width fills one pixel more.
    const long long odd = 5;
    const std::size_t ay10Row = ZRDeckLinkOutput::rowBytesFor(SdiPixelFormat::ay10, odd);
    ASSERT_EQ(ay10Row, 256u);
    std::vector<std::uint8_t> ay10(ay10Row * 2, 0xFF);
    ZRDeckLinkOutput::fillBlack(SdiPixelFormat::ay10, ay10.data(), odd, 2, ay10Row);
    for (int y = 0; y < 2; ++y) {
        const std::uint8_t* row = ay10.data() + y * ay10Row;
        for (int i = 0; i < 6; ++i) EXPECT_EQ(word(row + 4 * i), 0x00080040u);
        EXPECT_EQ(word(row + 24), 0u);
    }
    EXPECT_TRUE(sdiFrameContentIsValid(SdiPixelFormat::ay10, ay10.data(), odd, 2, ay10Row));

    // A row too short for a whole group is left zero rather than overrun.
    std::vector<std::uint8_t> tight(12, 0xFF);
    ZRDeckLinkOutput::fillBlack(SdiPixelFormat::v210, tight.data(), 6, 1, tight.size());
    EXPECT_EQ(std::count(tight.begin(), tight.end(), 0), 12);
}

// Ay10 content of a picture number: every pixel the same valid word.
std::uint32_t ay10For(std::uint32_t n) {
    return ay10Word(64 + n, 512, 1023);
}

TEST(ZRDeckLinkTenBit, FillAndKeyCopiesEachRenderedBufferIntoTheCardsFrames) {
    VirtualSdiCard card(test::bridgeCard());
    auto output = card.deviceAtIndex(0)->output();
    std::vector<SdiCapturedFrame> shown;
    output->setFrameCapture([&](const SdiCapturedFrame& f) { shown.push_back(f); });
    // Wider rows than needed: only the frame's row bytes of each line are copied.
    const std::size_t rowBytes =
        ZRDeckLinkOutput::rowBytesFor(SdiPixelFormat::ay10, test::kWidth) + 64;
    auto ring = test::makeRing(SdiPixelFormat::bgra8, rowBytes);
    long long requests = 0;
    auto request = [&]() -> long long {
        const long long n = ++requests;
        if (n == 5) return -1;
        ZRFrameBuffer& b = ring[static_cast<std::size_t>((n - 1) % 4)];
        for (long long y = 0; y < b.height; ++y) {
            for (long long x = 0; x < b.width; ++x) {
                const std::uint32_t v = ay10For(static_cast<std::uint32_t>(n));
                std::memcpy(b.row(y) + 4 * x, &v, 4);
            }
            std::memset(b.row(y) + rowBytes - 64, 0xFF, 64);  // padding the card must never see
        }
        return (n - 1) % 4;
    };
    ZRDeckLinkOutput bridge(&card);
    ASSERT_TRUE(bridge.start(0, test::kMode25, ring, true, true, request, {}));
    output->step(6);
    ASSERT_EQ(shown.size(), 6u);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const SdiCapturedFrame& f = shown[i];
        const std::uint32_t expected =
            i == 4 ? kAy10Black : ay10For(static_cast<std::uint32_t>(i + 1));
        EXPECT_EQ(word(f.bytes.data()), expected) << i;
        const std::size_t lastPixel = (f.height - 1) * f.rowBytes + (f.width - 1) * 4;
        EXPECT_EQ(word(f.bytes.data() + lastPixel), expected) << i;
    }
    EXPECT_EQ(output->counters().invalidContentFrames, 0);
    EXPECT_EQ(bridge.droppedFrameCount(), 1u);
}

TEST(ZRDeckLinkTenBit, AnAy10CopyIntoAFrameStillOnTheCardIsRefused) {
    // A client that answers the same slot twice in a row would overwrite a frame still on the
    // card: black goes out instead.
    VirtualSdiCard card(test::bridgeCard());
    auto output = card.deviceAtIndex(0)->output();
    const std::size_t rowBytes = ZRDeckLinkOutput::rowBytesFor(SdiPixelFormat::ay10, test::kWidth);
    auto ring = test::makeRing(SdiPixelFormat::bgra8, rowBytes);
    for (ZRFrameBuffer& b : ring)
        ZRDeckLinkOutput::fillBlack(SdiPixelFormat::ay10, b.bytes(), b.width, b.height, b.rowBytes);
    long long requests = 0;
    auto request = [&]() -> long long { return ++requests == 2 ? 0 : (requests - 1) % 4; };
    ZRDeckLinkOutput bridge(&card);
    ASSERT_TRUE(bridge.start(0, test::kMode25, ring, true, true, request, {}));
    EXPECT_EQ(bridge.droppedFrameCount(), 1u);
    EXPECT_EQ(bridge.framesInFlight(), 3);
    EXPECT_EQ(output->counters().schedulesRefused, 0);
}

}  // namespace
}  // namespace velmar
