// The row kernels: the AVX2 table against the portable one on random input (bit for bit), and
// the alpha rules that compositing must keep.
#include "platform/gpu/kernels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace velmar::gpu::kernels {
namespace {

uint32_t pixel(int c0, int c1, int c2, int a) {
    return uint32_t(c0) | uint32_t(c1) << 8 | uint32_t(c2) << 16 | uint32_t(a) << 24;
}

// Random pixels, mixing fully transparent, fully opaque, nearly opaque (254 or 255) and
// in-between runs so that the vector paths' shortcuts are exercised and must tell a run that
// is all opaque from one that is not; premultiplied when asked (colour <= alpha).
std::vector<uint32_t> randomPixels(std::mt19937& rng, size_t n, bool premultiplied) {
    std::vector<uint32_t> out(n);
    std::uniform_int_distribution<int> byte(0, 255), mode(0, 4);
    int runMode = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i % 8 == 0) runMode = mode(rng);
        const int a = runMode == 0   ? 0
                      : runMode == 1 ? 255
                      : runMode == 2 ? 254 + int(rng() % 2)
                                     : byte(rng);
        int c[3];
        for (int& v : c) v = premultiplied ? (a == 0 ? 0 : byte(rng) % (a + 1)) : byte(rng);
        out[i] = pixel(c[0], c[1], c[2], a);
    }
    return out;
}

class Avx2AgreesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (avx2() == nullptr) GTEST_SKIP() << "no AVX2 on this processor";
    }
    std::mt19937 rng{12345};
    std::uniform_real_distribution<float> unit{0, 1};

    struct Placement {
        float rowX = 0, dxdx = 0, rowY = 0, dydx = 0;
        int x0 = 0, x1 = 0;
    };
    // Samples one row of a random w x h texture of `format` (8-bit ones hold pixels of every
    // alpha class) with random layer parameters and the placement `place` gives, with both
    // tables, which must agree.
    template <class Place>
    void sampleBoth(int round, int w, int h, PixelFormat format, Place place) {
        const bool half = format == PixelFormat::RGBA16Float;
        const size_t stride = size_t(w) * (half ? 8 : 4) + 4 * (rng() % 3);
        std::vector<uint8_t> texels(stride * size_t(h));
        for (auto& b : texels) b = uint8_t(rng());
        if (!half) {
            const auto px = randomPixels(rng, size_t(w) * size_t(h), round % 3 != 0);
            for (int y = 0; y < h; ++y)
                std::memcpy(texels.data() + size_t(y) * stride, px.data() + size_t(y) * size_t(w),
                            size_t(w) * 4);
        }
        const SampledTexture t{texels.data(), stride, w, h, format};
        LayerParams p;
        p.opacity = round % 4 == 0 ? 255 : int(rng() % 256);
        p.sourcePremultiplied = rng() % 2;
        p.premultiplyOutput = rng() % 2;
        p.swapRedBlue = format != PixelFormat::BGRA8Unorm;
        const Placement r = place();
        std::vector<uint32_t> a(size_t(r.x1 - r.x0) + 1, 0xdeadbeef), b = a;
        portable().canvasSampledRow(t, r.rowX, r.dxdx, r.rowY, r.dydx, r.x0, r.x1, p, a.data());
        avx2()->canvasSampledRow(t, r.rowX, r.dxdx, r.rowY, r.dydx, r.x0, r.x1, p, b.data());
        ASSERT_EQ(a, b) << "round " << round;
    }
};

TEST_F(Avx2AgreesTest, SampledRowsMatchPortableBitForBit) {
    for (int round = 0; round < 300 && !HasFatalFailure(); ++round) {
        const int w = 1 + int(rng() % 70), h = 1 + int(rng() % 40);
        const PixelFormat format = round % 5 == 4 ? PixelFormat::RGBA16Float
                                   : round % 2    ? PixelFormat::RGBA8Unorm
                                                  : PixelFormat::BGRA8Unorm;
        // Placements from identity-like to rotated, scaled and far outside the texture.
        sampleBoth(round, w, h, format, [&] {
            const float angle = unit(rng) * 6.3f, scale = 0.2f + unit(rng) * 3;
            Placement r;
            r.dxdx = round % 7 == 0 ? 1.0f : std::cos(angle) * scale;
            r.dydx = round % 7 == 0 ? 0.0f : std::sin(angle) * scale;
            r.rowX = (unit(rng) - 0.3f) * float(w) * 2;
            r.rowY = (unit(rng) - 0.3f) * float(h) * 2;
            r.x0 = int(rng() % 20);
            r.x1 = r.x0 + int(rng() % 90);
            return r;
        });
    }
}

// Scaled and flipped placements without a turn (dydx zero, of either sign), which read every
// pixel of a row from the same two source rows, including rows above, below and at the edges.
TEST_F(Avx2AgreesTest, RowsWithoutTurnMatchPortableBitForBit) {
    for (int round = 0; round < 400 && !HasFatalFailure(); ++round) {
        const int w = 2 + int(rng() % 90), h = 1 + int(rng() % 30);
        const PixelFormat format = round % 2 ? PixelFormat::RGBA8Unorm : PixelFormat::BGRA8Unorm;
        sampleBoth(round, w, h, format, [&] {
            Placement r;
            r.dxdx = (round % 5 == 0 ? -1.0f : 1.0f) * (0.1f + unit(rng) * 3);
            r.dydx = round % 2 ? 0.0f : -0.0f;
            r.rowX = (unit(rng) - 0.3f) * float(w) * 2;
            r.rowY = round % 9 == 0 ? -0.0f : (unit(rng) - 0.2f) * float(h) * 1.5f;
            r.x0 = int(rng() % 20);
            r.x1 = r.x0 + int(rng() % 120);
            return r;
        });
    }
}

TEST_F(Avx2AgreesTest, DirectCompositeAndBlendRowsMatchPortableBitForBit) {
    for (int round = 0; round < 400; ++round) {
        const size_t n = 1 + rng() % 100;
        const auto src = randomPixels(rng, n, round % 2 == 0);
        const auto key = randomPixels(rng, n, false);
        LayerParams p;
        p.opacity = round % 3 == 0 ? 255 : int(rng() % 256);
        p.sourcePremultiplied = rng() % 2;
        p.premultiplyOutput = rng() % 2;
        p.swapRedBlue = rng() % 2;
        std::vector<uint32_t> a(n), b(n);
        portable().canvasDirectRow(src.data(), int(n), p, a.data());
        avx2()->canvasDirectRow(src.data(), int(n), p, b.data());
        ASSERT_EQ(a, b) << "direct, round " << round;
        const bool premultiplied = rng() % 2;
        portable().compositeRow(src.data(), key.data(), int(n), premultiplied, a.data());
        avx2()->compositeRow(src.data(), key.data(), int(n), premultiplied, b.data());
        ASSERT_EQ(a, b) << "composite, round " << round;
        a = b = key;
        portable().blendOverRow(src.data(), a.data(), int(n));
        avx2()->blendOverRow(src.data(), b.data(), int(n));
        ASSERT_EQ(a, b) << "blend over, round " << round;
    }
    // A whole row of a frame (aligned, 512 pixels and more) goes out with streaming stores.
    const auto program = randomPixels(rng, 1000, false), keyer = randomPixels(rng, 1000, false);
    alignas(32) static uint32_t a[1000], b[1000];
    for (bool premultiplied : {false, true}) {
        portable().compositeRow(program.data(), keyer.data(), 1000, premultiplied, a);
        avx2()->compositeRow(program.data(), keyer.data(), 1000, premultiplied, b);
        ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << "whole row, premultiplied " << premultiplied;
    }
}

// The alpha rules, checked on both tables.
class AlphaRulesTest : public ::testing::TestWithParam<int> {
  protected:
    const KernelTable& table() const {
        if (GetParam() == 1 && avx2() != nullptr) return *avx2();
        return portable();
    }
    uint32_t composite(uint32_t program, uint32_t keyer, bool premultipliedOut) const {
        // Eight copies so that the vector body, not only the tail, runs.
        std::vector<uint32_t> p(9, program), k(9, keyer), out(9);
        table().compositeRow(p.data(), k.data(), 9, premultipliedOut, out.data());
        EXPECT_EQ(out[0], out[8]);
        return out[0];
    }
    uint32_t layer(uint32_t source, LayerParams params) const {
        std::vector<uint32_t> s(9, source), out(9);
        table().canvasDirectRow(s.data(), 9, params, out.data());
        return out[0];
    }
};

TEST_P(AlphaRulesTest, WhiteStaysWhiteAnOpaqueKeyerReplacesAndTheKeyIsAlphaNeverLuma) {
    const uint32_t white = pixel(255, 255, 255, 255), opaque = pixel(10, 20, 30, 255);
    for (bool premultipliedOut : {false, true}) {
        for (int ka : {1, 64, 127, 128, 200, 254})
            EXPECT_EQ(composite(white, pixel(255, 255, 255, ka), premultipliedOut), white) << ka;
        EXPECT_EQ(composite(pixel(200, 100, 50, 77), opaque, premultipliedOut), opaque);
    }
    // A straight 50 % white layer drawn from a premultiplied still keeps its white colour.
    EXPECT_EQ(layer(pixel(128, 128, 128, 128), {255, true, false, false}),
              pixel(255, 255, 255, 128));
    // The output alpha depends on the alphas only, whatever the colours.
    for (uint32_t colour : {0x000000u, 0xffffffu, 0x804020u}) {
        EXPECT_EQ(composite(pixel(0, 0, 0, 100) | colour, pixel(0, 0, 0, 60) | colour, false) >> 24,
                  composite(pixel(0, 0, 0, 100), pixel(0, 0, 0, 60), false) >> 24);
        EXPECT_EQ(layer(pixel(0, 0, 0, 200) | colour, {128, false, false, false}) >> 24, 100u);
    }
    // Black fill that is fully opaque keys fully; white fill with alpha 0 keys nothing.
    EXPECT_EQ(composite(0, pixel(0, 0, 0, 255), false) >> 24, 255u);
    EXPECT_EQ(composite(0, pixel(255, 255, 255, 0), false), 0u);
}

TEST_P(AlphaRulesTest, TransparentKeyerShowsExactlyTheBackground) {
    std::mt19937 rng(7);
    for (int i = 0; i < 500; ++i) {
        const int pa = 1 + int(rng() % 255);
        const uint32_t program = pixel(int(rng() % 256), int(rng() % 256), int(rng() % 256), pa);
        const uint32_t keyer = pixel(int(rng() % 256), int(rng() % 256), int(rng() % 256), 0);
        ASSERT_EQ(composite(program, keyer, false), program);
    }
    EXPECT_EQ(composite(pixel(9, 9, 9, 0), pixel(0, 0, 0, 0), false), 0u);
}

TEST_P(AlphaRulesTest, LayerOutputFollowsTheFlags) {
    struct Case {
        uint32_t source;
        LayerParams params;
        uint32_t expected;
    };
    const Case cases[] = {
        // Straight source, straight out: colour kept, key scaled by the opacity.
        {pixel(200, 100, 50, 255), {128, false, false, false}, pixel(200, 100, 50, 128)},
        // Straight source, premultiplied out.
        {pixel(200, 100, 50, 255), {128, false, true, false}, pixel(100, 50, 25, 128)},
        // Premultiplied source, straight out: unpremultiplied.
        {pixel(100, 50, 25, 128), {255, true, false, false}, pixel(199, 100, 50, 128)},
        // Premultiplied source, premultiplied out at half opacity.
        {pixel(100, 50, 24, 128), {128, true, true, false}, pixel(50, 25, 12, 64)},
        // A key of 0 is transparent black, whatever the colour.
        {pixel(200, 100, 50, 0), {255, false, false, false}, 0},
        {pixel(200, 100, 50, 255), {0, false, false, false}, 0},
        // Byte order: an RGBA source on a BGRA target.
        {pixel(1, 2, 3, 255), {255, true, false, true}, pixel(3, 2, 1, 255)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(layer(c.source, c.params), c.expected) << std::hex << c.source;
}

INSTANTIATE_TEST_SUITE_P(Tables, AlphaRulesTest, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "portable" : "avx2"; });

TEST(KernelHelpersTest, OpacityAndHalfConversion) {
    EXPECT_EQ(opacityToByte(0.5f), 128);
    EXPECT_EQ(opacityToByte(-1), 0);
    EXPECT_EQ(opacityToByte(NAN), 0);
    EXPECT_EQ(opacityToByte(7), 255);
    EXPECT_EQ(halfToFloat(0x3c00), 1.0f);
    EXPECT_EQ(halfToFloat(0x3800), 0.5f);
    EXPECT_EQ(halfToFloat(0xc000), -2.0f);
    EXPECT_EQ(halfToFloat(0x0001), std::ldexp(1.0f, -24));
}

}  // namespace
}  // namespace velmar::gpu::kernels
