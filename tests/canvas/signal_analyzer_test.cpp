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

// The colour a scope cell of intensity t gets with the given factors.
Pixel traced(double t, double fr, double fg, double fb) {
    auto c = [t](double f) { return int(std::min(255.0, t * f * 255.0)); };
    return {c(fr), c(fg), c(fb), 255};
}

TEST(SignalCaptureTest, CopiesEveryStepthRowAndRefusesWhatItCannotRead) {
    struct Case {
        int width, height, step, rows;
    } cases[] = {{640, 360, 1, 360},   {641, 5, 2, 3}, {1920, 1080, 3, 360},
                 {4096, 2160, 7, 309}, {1, 1, 1, 1},   {720, 486, 2, 243}};
    for (const Case& c : cases) {
        auto buffer = bgraBuffer(c.width, c.height, [](int x, int y) {
            return Pixel{x % 256, y % 256, (x + y) % 256, 255};
        });
        SignalCapture capture;
        ASSERT_TRUE(SignalCapture::copy(*buffer, capture)) << c.width;
        EXPECT_EQ(capture.step, c.step) << c.width;
        EXPECT_EQ(capture.rowCount, c.rows) << c.width;
        ASSERT_EQ(capture.bytes.size(), std::size_t(c.rows) * 4 * c.width);
        const int r = c.rows - 1;  // the last copied row is source row r x step, padding dropped
        const std::uint8_t* row = capture.bytes.data() + std::size_t(r) * 4 * c.width;
        EXPECT_EQ(row[4 * (c.width - 1) + 1], (r * c.step) % 256) << c.width;
    }

    SignalCapture kept = solidCapture(4, 2, {9, 9, 9, 9});
    for (std::uint32_t format : {gpu::kPixelFormat422YpCbCr10, gpu::kPixelFormatAy10}) {
        auto other = gpu::PixelBuffer::create(48, 2, format);
        ASSERT_TRUE(other);
        EXPECT_FALSE(SignalCapture::copy(*other, kept));
    }
    auto memory = std::shared_ptr<std::uint8_t>(new std::uint8_t[64](),
                                                std::default_delete<std::uint8_t[]>());
    EXPECT_FALSE(
        SignalCapture::copy(gpu::PixelBuffer(0, 2, gpu::kPixelFormat32BGRA, 16, memory), kept));
    EXPECT_FALSE(
        SignalCapture::copy(gpu::PixelBuffer(4, 0, gpu::kPixelFormat32BGRA, 16, memory), kept));
    EXPECT_FALSE(
        SignalCapture::copy(gpu::PixelBuffer(4, 2, gpu::kPixelFormat32BGRA, 15, memory), kept));
    EXPECT_FALSE(
        SignalCapture::copy(gpu::PixelBuffer(4, 2, gpu::kPixelFormat32BGRA, 16, nullptr), kept));
    EXPECT_EQ(kept.width, 4) << "a refused frame leaves the capture as it was";
    EXPECT_EQ(kept.bytes.size(), 32u);
}

TEST(SignalAnalyzerTest, AnEmptyOrShortGridGivesNothing) {
    SignalCapture capture = solidCapture(4, 2, {});
    capture.width = 0;
    EXPECT_FALSE(analyze(capture));
    capture = solidCapture(4, 2, {});
    capture.rowCount = 0;
    EXPECT_FALSE(analyze(capture));
    capture = solidCapture(4, 2, {});
    capture.bytes.resize(31);
    EXPECT_FALSE(analyze(capture));
}

TEST(SignalAnalyzerTest, KeyFiguresOfTransparentOpaqueAndPremultipliedFrames) {
    // Transparent everywhere, with colour in every other column.
    auto transparent = captureOf(*bgraBuffer(10, 4, [](int x, int) {
        return x % 2 ? Pixel{200, 10, 0, 0} : Pixel{0, 0, 0, 0};
    }));
    for (KeyAlphaMode mode : {KeyAlphaMode::straight, KeyAlphaMode::premultiplied}) {
        auto s = analyze(transparent, mode);
        ASSERT_TRUE(s);
        EXPECT_FALSE(s->stats.keyedLumaMin || s->stats.keyedLumaMax);
        EXPECT_EQ(s->stats.keyTransparent, 1.0);
        EXPECT_EQ(s->stats.keyMin, 0.0);
        EXPECT_EQ(s->stats.keyMax, 0.0);
        EXPECT_EQ(s->stats.fillOutsideKey, 20);
        EXPECT_EQ(s->stats.sampleCount, 40);
        const bool premultiplied = mode == KeyAlphaMode::premultiplied;
        EXPECT_EQ(s->stats.premultipliedViolations, premultiplied ? 20 : 0);
        ASSERT_EQ(s->violations.isNull(), !premultiplied);
        if (premultiplied) {
            EXPECT_EQ(rgbaAt(s->violations, 1, 3), (Pixel{255, 0, 255, 255}));
            EXPECT_EQ(rgbaAt(s->violations, 2, 3), (Pixel{0, 0, 0, 0}));
        }
    }
    // Opaque: no violation in either mode.
    for (KeyAlphaMode mode : {KeyAlphaMode::straight, KeyAlphaMode::premultiplied}) {
        auto s = analyze(solidCapture(6, 3, {255, 255, 255, 255}), mode);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->stats.keyOpaque, 1.0);
        EXPECT_EQ(s->stats.premultipliedViolations, 0);
        EXPECT_TRUE(s->violations.isNull());
    }
    // Premultiplied with A >= max(R, G, B) everywhere, semi-transparent in one half.
    auto semi = captureOf(*bgraBuffer(8, 2, [](int x, int) {
        return x < 4 ? Pixel{100, 50, 128, 128} : Pixel{0, 0, 0, 255};
    }));
    auto s = analyze(semi, KeyAlphaMode::premultiplied);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->stats.premultipliedViolations, 0);
    EXPECT_TRUE(s->violations.isNull());
    EXPECT_DOUBLE_EQ(s->stats.keySemi, 0.5);
    EXPECT_DOUBLE_EQ(s->stats.keyOpaque, 0.5);
    EXPECT_DOUBLE_EQ(s->stats.keyMin, 128 / 255.0);
    ASSERT_TRUE(s->stats.keyedLumaMin);
    EXPECT_EQ(*s->stats.keyedLumaMin, 0.0);
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
    EXPECT_EQ(white->stats.crMin, 0.0);
    EXPECT_EQ(rgbaAt(white->vectorscope, 128, 128), full);
    EXPECT_EQ(rgbaAt(white->vectorscope, 127, 127), traced(0.7, 0.45, 1.0, 0.55))
        << "the eight neighbours get 0.7 of the bin's intensity";
    EXPECT_EQ(rgbaAt(white->vectorscope, 126, 128), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(rgbaAt(white->lumaWaveform, 3, 0), traced(1.0, 0.35, 1.0, 0.45));

    auto black = analyze(solidCapture(4, 4, {0, 0, 0, 255}));
    ASSERT_TRUE(black);
    EXPECT_EQ(rgbaAt(black->lumaWaveform, 0, 255), traced(1.0, 0.35, 1.0, 0.45));
    EXPECT_EQ(rgbaAt(black->lumaWaveform, 0, 254), (Pixel{0, 0, 0, 0}));

    auto red = analyze(solidCapture(4, 4, {255, 0, 0, 255}));
    ASSERT_TRUE(red);
    EXPECT_DOUBLE_EQ(red->stats.lumaMin, 0.2126);
    EXPECT_DOUBLE_EQ(red->stats.crMax, 0.5);
    EXPECT_EQ(rgbaAt(red->vectorscope, 98, 0), full) << "positive Cr at the top";
    // Parade: red at full level in the red panel, green and blue at level 0 in theirs.
    EXPECT_EQ(rgbaAt(red->parade, 2, 0), traced(1.0, 1.0, 0.3, 0.3));
    EXPECT_EQ(rgbaAt(red->parade, 4 + 2, 255), traced(1.0, 0.35, 1.0, 0.4));
    EXPECT_EQ(rgbaAt(red->parade, 8 + 2, 255), traced(1.0, 0.4, 0.55, 1.0));
    EXPECT_EQ(rgbaAt(red->parade, 2, 255), (Pixel{0, 0, 0, 0}));

    auto blue = analyze(solidCapture(4, 4, {0, 0, 255, 255}));
    ASSERT_TRUE(blue);
    EXPECT_DOUBLE_EQ(blue->stats.cbMax, 0.5);
    int lit = -1;
    for (int y = 0; y < 256; ++y)
        if (rgbaAt(blue->vectorscope, 255, y) == full) lit = y;
    EXPECT_GE(lit, 0) << "positive Cb at the right edge";
}

TEST(SignalAnalyzerTest, WaveformIntensityFollowsTheHitCountOfItsColumn) {
    // Column 0: every sample at level 0 but one at 255; the key waveform traces alpha.
    const int rows = 9;
    auto capture = captureOf(*bgraBuffer(2, rows, [](int x, int y) {
        return x == 0 && y == 0 ? Pixel{255, 255, 255, 40} : Pixel{0, 0, 0, 40};
    }));
    auto s = analyze(capture);
    ASSERT_TRUE(s);
    const double once = 0.18 + 0.82 * std::log(2.0) / std::log(1.0 + rows);
    EXPECT_DOUBLE_EQ(SignalAnalyzer::intensity(1, rows), once);
    EXPECT_EQ(SignalAnalyzer::intensity(rows, rows), 1.0);
    EXPECT_EQ(rgbaAt(s->lumaWaveform, 0, 0), traced(once, 0.35, 1.0, 0.45));
    EXPECT_EQ(rgbaAt(s->lumaWaveform, 1, 255), traced(1.0, 0.35, 1.0, 0.45));
    EXPECT_EQ(rgbaAt(s->lumaWaveform, 0, 255),
              traced(SignalAnalyzer::intensity(rows - 1, rows), 0.35, 1.0, 0.45));
    EXPECT_EQ(rgbaAt(s->keyWaveform, 1, 255 - 40), traced(1.0, 0.95, 0.95, 0.95));
    EXPECT_EQ(rgbaAt(s->keyWaveform, 1, 255), (Pixel{0, 0, 0, 0}));
    EXPECT_NEAR(s->stats.lumaAverage, 1.0 / 18, 1e-12);
}

TEST(SignalAnalyzerTest, WideFramesAreSampledEveryStepthColumnWithoutOverflow) {
    // 641 wide: step 2, 321 columns, sample j is source column 2 j.
    auto capture = captureOf(*bgraBuffer(641, 3, [](int x, int) {
        return x == 640 ? Pixel{255, 255, 255, 255} : Pixel{0, 0, 0, 255};
    }));
    auto s = analyze(capture);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->sampleColumns, 321);
    EXPECT_EQ(s->sampleRows, 2);
    EXPECT_EQ(s->lumaWaveform.width(), 321);
    EXPECT_EQ(s->parade.width(), 963);
    EXPECT_EQ(rgbaAt(s->fill, 320, 1), (Pixel{255, 255, 255, 255}));
    EXPECT_EQ(rgbaAt(s->fill, 319, 1), (Pixel{0, 0, 0, 255}));

    // 4096 x 2160 flat grey: 586 x 309 samples, every count in one level of its column.
    auto big = analyze(solidCapture(4096, 2160, {128, 128, 128, 255}), KeyAlphaMode::premultiplied);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->sampleColumns, 586);
    EXPECT_EQ(big->sampleRows, 309);
    EXPECT_EQ(big->frameWidth, 4096);
    EXPECT_EQ(big->stats.sampleCount, 586 * 309);
    EXPECT_EQ(big->stats.premultipliedViolations, 0);
    EXPECT_EQ(rgbaAt(big->vectorscope, 128, 128), traced(1.0, 0.45, 1.0, 0.55));

    auto one = analyze(solidCapture(1, 1, {10, 20, 30, 255}));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->sampleColumns, 1);
    EXPECT_EQ(one->vectorscope.size(), QSize(256, 256));
}

}  // namespace
}  // namespace velmar::test
