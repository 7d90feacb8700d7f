#include "canvas/signal_analyzer.h"

#include "signal_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmar::test {
namespace {

std::shared_ptr<const SignalSnapshot> analyze(const SignalCapture& capture,
                                              KeyAlphaMode mode = KeyAlphaMode::straight) {
    return SignalAnalyzer::analyze(capture, mode, SignalSource::sdi);
}

// The colour of a scope cell of intensity t with the given factors.
Pixel traced(double t, double fr, double fg, double fb) {
    auto c = [t](double f) { return int(std::min(255.0, t * f * 255.0)); };
    return {c(fr), c(fg), c(fb), 255};
}
const Pixel kNone{0, 0, 0, 0};

TEST(SignalCaptureTest, CopiesEveryStepthRowAndRefusesWhatItCannotRead) {
    struct Case {
        int width, height, step, rows;
    } cases[] = {{640, 360, 1, 360}, {641, 5, 2, 3}, {4096, 2160, 7, 309}, {720, 486, 2, 243}};
    for (const Case& c : cases) {
        auto buffer = bgraBuffer(c.width, c.height, [](int, int y) { return Pixel{0, y % 256}; });
        SignalCapture capture;
        ASSERT_TRUE(SignalCapture::copy(*buffer, capture)) << c.width;
        EXPECT_EQ(capture.step, c.step);
        EXPECT_EQ(capture.rowCount, c.rows);
        ASSERT_EQ(capture.bytes.size(), std::size_t(c.rows) * 4 * c.width);
        const int r = c.rows - 1;  // source row r x step, its padding dropped
        EXPECT_EQ(capture.bytes[std::size_t(r + 1) * 4 * c.width - 3], (r * c.step) % 256);
    }

    SignalCapture kept = solidCapture(4, 2, {9, 9, 9, 9});
    auto memory = std::shared_ptr<std::uint8_t>(new std::uint8_t[64](),
                                                std::default_delete<std::uint8_t[]>());
    using gpu::PixelBuffer;
    const PixelBuffer refused[] = {*PixelBuffer::create(48, 2, gpu::kPixelFormat422YpCbCr10),
                                   *PixelBuffer::create(48, 2, gpu::kPixelFormatAy10),
                                   PixelBuffer(0, 2, gpu::kPixelFormat32BGRA, 16, memory),
                                   PixelBuffer(4, 0, gpu::kPixelFormat32BGRA, 16, memory),
                                   PixelBuffer(4, 2, gpu::kPixelFormat32BGRA, 15, memory),
                                   PixelBuffer(4, 2, gpu::kPixelFormat32BGRA, 16, nullptr)};
    for (const PixelBuffer& buffer : refused) EXPECT_FALSE(SignalCapture::copy(buffer, kept));
    EXPECT_EQ(kept.bytes.size(), 32u) << "a refused frame leaves the capture as it was";
}

TEST(SignalAnalyzerTest, AnEmptyOrShortGridGivesNothing) {
    for (int field = 0; field < 3; ++field) {
        SignalCapture capture = solidCapture(4, 2, {});
        if (field == 0) capture.width = 0;
        if (field == 1) capture.rowCount = 0;
        if (field == 2) capture.bytes.resize(31);
        EXPECT_FALSE(analyze(capture)) << field;
    }
}

TEST(SignalAnalyzerTest, KeyFiguresOfTransparentOpaqueAndPremultipliedFrames) {
    // Transparent everywhere, with colour in every other column.
    auto transparent = captureOf(*bgraBuffer(10, 4, [](int x, int) {
        return x % 2 ? Pixel{200, 10, 0, 0} : Pixel{0, 0, 0, 0};
    }));
    for (KeyAlphaMode mode : {KeyAlphaMode::straight, KeyAlphaMode::premultiplied}) {
        auto s = analyze(transparent, mode);
        ASSERT_TRUE(s);
        const bool premultiplied = mode == KeyAlphaMode::premultiplied;
        EXPECT_FALSE(s->stats.keyedLumaMin || s->stats.keyedLumaMax);
        EXPECT_EQ(s->stats.keyTransparent, 1.0);
        EXPECT_EQ(s->stats.keyMax, 0.0);
        EXPECT_EQ(s->stats.fillOutsideKey, 20);
        EXPECT_EQ(s->stats.premultipliedViolations, premultiplied ? 20 : 0);
        ASSERT_EQ(s->violations.isNull(), !premultiplied);
        if (!premultiplied) continue;
        EXPECT_EQ(rgbaAt(s->violations, 1, 3), (Pixel{255, 0, 255, 255}));
        EXPECT_EQ(rgbaAt(s->violations, 2, 3), kNone);
    }
    // Premultiplied with A >= max(R, G, B): half semi-transparent, half opaque black.
    auto s = analyze(
        captureOf(*bgraBuffer(8, 2,
                              [](int x, int) {
                                  return x < 4 ? Pixel{100, 50, 128, 128} : Pixel{0, 0, 0, 255};
                              })),
        KeyAlphaMode::premultiplied);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->stats.premultipliedViolations, 0);
    EXPECT_TRUE(s->violations.isNull());
    EXPECT_DOUBLE_EQ(s->stats.keySemi, 0.5);
    EXPECT_DOUBLE_EQ(s->stats.keyOpaque, 0.5);
    EXPECT_DOUBLE_EQ(s->stats.keyMin, 128 / 255.0);
    EXPECT_EQ(s->stats.keyedLumaMin, 0.0);
    EXPECT_EQ(s->key.constScanLine(0)[0], 128);
    EXPECT_EQ(s->key.constScanLine(1)[7], 255);
}

TEST(SignalAnalyzerTest, PureColoursLandOnTheirScopePlaces) {
    const Pixel full = traced(1.0, 0.45, 1.0, 0.55);
    // White: Y 1, no colour difference; 127.5 rounds away from zero into bin (128, 128).
    auto white = analyze(solidCapture(4, 4, {255, 255, 255, 255}));
    ASSERT_TRUE(white);
    EXPECT_EQ(white->stats.lumaMax, 1.0);
    EXPECT_EQ(white->stats.cbMax, 0.0);
    EXPECT_EQ(rgbaAt(white->vectorscope, 128, 128), full);
    EXPECT_EQ(rgbaAt(white->vectorscope, 127, 127), traced(0.7, 0.45, 1.0, 0.55));
    EXPECT_EQ(rgbaAt(white->vectorscope, 126, 128), kNone);
    // Black: luma level 0 in the bottom row.
    auto black = analyze(solidCapture(4, 4, {0, 0, 0, 255}));
    ASSERT_TRUE(black);
    EXPECT_EQ(rgbaAt(black->lumaWaveform, 0, 255), traced(1.0, 0.35, 1.0, 0.45));
    EXPECT_EQ(rgbaAt(black->lumaWaveform, 0, 254), kNone);
    // Red: Cr 0.5 in the top row; the parade's three panels side by side.
    auto red = analyze(solidCapture(4, 4, {255, 0, 0, 255}));
    ASSERT_TRUE(red);
    EXPECT_DOUBLE_EQ(red->stats.lumaMin, 0.2126);
    EXPECT_DOUBLE_EQ(red->stats.crMax, 0.5);
    EXPECT_EQ(rgbaAt(red->vectorscope, 98, 0), full);
    EXPECT_EQ(rgbaAt(red->parade, 2, 0), traced(1.0, 1.0, 0.3, 0.3));
    EXPECT_EQ(rgbaAt(red->parade, 4 + 2, 255), traced(1.0, 0.35, 1.0, 0.4));
    EXPECT_EQ(rgbaAt(red->parade, 8 + 2, 255), traced(1.0, 0.4, 0.55, 1.0));
    EXPECT_EQ(rgbaAt(red->parade, 2, 255), kNone);
    // Blue: Cb 0.5 in the right-hand column.
    auto blue = analyze(solidCapture(4, 4, {0, 0, 255, 255}));
    ASSERT_TRUE(blue);
    EXPECT_DOUBLE_EQ(blue->stats.cbMax, 0.5);
    EXPECT_EQ(rgbaAt(blue->vectorscope, 255, 139), full);
}

TEST(SignalAnalyzerTest, WaveformIntensityFollowsTheHitCountOfItsColumn) {
    // Column 0: one sample at level 255, eight at 0; column 1: all nine at 0; key 40 throughout.
    const int rows = 9;
    auto s = analyze(captureOf(*bgraBuffer(2, rows, [](int x, int y) {
        return x == 0 && y == 0 ? Pixel{255, 255, 255, 40} : Pixel{0, 0, 0, 40};
    })));
    ASSERT_TRUE(s);
    const double once = 0.18 + 0.82 * std::log(2.0) / std::log(1.0 + rows);
    EXPECT_DOUBLE_EQ(SignalAnalyzer::intensity(1, rows), once);
    EXPECT_EQ(rgbaAt(s->lumaWaveform, 0, 0), traced(once, 0.35, 1.0, 0.45));
    EXPECT_EQ(rgbaAt(s->lumaWaveform, 1, 255), traced(1.0, 0.35, 1.0, 0.45));
    EXPECT_EQ(rgbaAt(s->lumaWaveform, 0, 255),
              traced(SignalAnalyzer::intensity(rows - 1, rows), 0.35, 1.0, 0.45));
    EXPECT_EQ(rgbaAt(s->keyWaveform, 1, 255 - 40), traced(1.0, 0.95, 0.95, 0.95));
    EXPECT_EQ(rgbaAt(s->keyWaveform, 1, 255), kNone);
    EXPECT_NEAR(s->stats.lumaAverage, 1.0 / 18, 1e-12);
}

TEST(SignalAnalyzerTest, WideFramesAreSampledEveryStepthColumnWithoutOverflow) {
    // 641 wide: step 2, 321 columns, sample j is source column 2 j.
    auto s = analyze(captureOf(*bgraBuffer(641, 3, [](int x, int) {
        return x == 640 ? Pixel{255, 255, 255, 255} : Pixel{0, 0, 0, 255};
    })));
    ASSERT_TRUE(s);
    EXPECT_EQ(QSize(s->sampleColumns, s->sampleRows), QSize(321, 2));
    EXPECT_EQ(s->parade.width(), 963);
    EXPECT_EQ(rgbaAt(s->fill, 320, 1), (Pixel{255, 255, 255, 255}));
    EXPECT_EQ(rgbaAt(s->fill, 319, 1), (Pixel{0, 0, 0, 255}));
    // The scopes' last column, alone in its strip of columns, and the one before it.
    EXPECT_EQ(rgbaAt(s->lumaWaveform, 320, 0), traced(1.0, 0.35, 1.0, 0.45));
    EXPECT_EQ(rgbaAt(s->lumaWaveform, 319, 255), traced(1.0, 0.35, 1.0, 0.45));
    EXPECT_EQ(rgbaAt(s->parade, 962, 0), traced(1.0, 0.4, 0.55, 1.0));
    EXPECT_EQ(rgbaAt(s->parade, 962, 255), kNone);

    // 4096 x 2160 flat grey: 586 x 309 samples, all in one vectorscope bin.
    auto big = analyze(solidCapture(4096, 2160, {128, 128, 128, 255}));
    ASSERT_TRUE(big);
    EXPECT_EQ(QSize(big->sampleColumns, big->sampleRows), QSize(586, 309));
    EXPECT_EQ(big->stats.sampleCount, 586 * 309);
    EXPECT_EQ(rgbaAt(big->vectorscope, 128, 128), traced(1.0, 0.45, 1.0, 0.55));
    EXPECT_TRUE(analyze(solidCapture(1, 1, {10, 20, 30, 255})));
}

}  // namespace
}  // namespace velmar::test
