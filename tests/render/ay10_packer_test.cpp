// The Ay10 packer: creation, refusals, and the words of a keyed picture in straight and
// premultiplied colour checked against the card's own word layout.
#include "render/ay10_packer.h"

#include "platform/gpu/pack_kernels.h"
#include "platform/sdi/sdi_pixel_format.h"
#include "render/pack_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmar {
namespace {

using test::PackRig;

TEST(AY10Packer, CreationAndRowBytes) {
    PackRig rig;
    const struct {
        int width, height;
        size_t rowBytes;
    } cases[] = {{1920, 1080, 7680}, {1280, 720, 5120}, {1, 1, 256}, {64, 1, 256}, {65, 1, 512},
                 {0, 1, 0}, {1, 0, 0}, {gpu::kMaxTextureSide + 1, 1, 0}};
    for (const auto& c : cases) {
        auto packer = AY10Packer::create(rig.device, c.width, c.height);
        ASSERT_EQ(bool(packer), c.rowBytes != 0) << c.width << "x" << c.height;
        if (packer) {
            EXPECT_EQ(packer->rowBytes(), c.rowBytes);
        }
    }
}

TEST(AY10Packer, EncodeRefusesWrongSourcesAndShortBuffers) {
    PackRig rig;
    const int w = 10, h = 3;
    auto packer = AY10Packer::create(rig.device, w, h);
    const std::vector<uint32_t> px(size_t(w * h + w), 0xffffffff);
    const size_t bytes = packer->rowBytes() * h;
    auto shortBuffer = rig.buffer(bytes - 4, 0x5A);
    EXPECT_FALSE(rig.pack(*packer, rig.texture(w, h + 1, px), rig.buffer(bytes, 0)));
    EXPECT_FALSE(rig.pack(*packer, rig.texture(w, h, px, gpu::PixelFormat::RGBA8Unorm), rig.buffer(bytes, 0)));
    EXPECT_FALSE(rig.pack(*packer, rig.texture(w, h, px), shortBuffer));
    for (size_t i = 0; i < shortBuffer->length(); ++i) ASSERT_EQ(shortBuffer->contents()[i], 0x5A);
}

// A keyed picture: the key is the alpha alone (full range), the fill is the colour as given.
TEST(AY10Packer, KeyIsAlphaAndFillIsTheColourAsGiven) {
    PackRig rig;
    const int w = 8, h = 720;  // Rec. 709
    const struct {
        const char* what;
        uint32_t pixel;  // BGRA word
        uint32_t luma, key;
    } cases[] = {
        {"opaque white", 0xffffffff, 940, 1023},
        {"half white, premultiplied", 0x80808080, 504, 514},
        {"half white, straight", 0x80ffffff, 940, 514},
        {"straight colour under a transparent key", 0x00ffffff, 940, 0},
        {"faint key", 0x01000000, 64, 4},
    };
    auto packer = AY10Packer::create(rig.device, w, h);
    for (const auto& c : cases) {
        auto out = rig.buffer(packer->rowBytes() * h, 0);
        ASSERT_TRUE(rig.pack(*packer, rig.texture(w, h, std::vector<uint32_t>(size_t(w * h), c.pixel)), out));
        for (int x = 0; x < w; ++x) {
            const uint32_t word = test::wordAt(out->contents() + packer->rowBytes() * (h - 1), size_t(x));
            ASSERT_EQ(word, ay10Word(c.luma, 512, c.key)) << c.what << " x " << x;
        }
        // The padding after the picture stays zero.
        EXPECT_EQ(test::wordAt(out->contents(), size_t(w)), 0u) << c.what;
    }
    EXPECT_EQ(ay10Word(64, 512, 0), kAy10Black);
}

}  // namespace
}  // namespace velmar
