// The Ay10 packer: row length, and the words of a keyed picture in straight and
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

// Sizes and refusals are shared with V210Packer (its tests); the row length is Ay10's own.
TEST(AY10Packer, RowBytes) {
    PackRig rig;
    const std::pair<int, size_t> cases[] = {{1920, 7680}, {1, 256}, {64, 256}, {65, 512}};
    for (auto [width, rowBytes] : cases) {
        auto packer = AY10Packer::create(rig.device, width, 2);
        ASSERT_TRUE(packer) << width;
        EXPECT_EQ(packer->rowBytes(), rowBytes) << width;
    }
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
        ASSERT_TRUE(rig.pack(
            *packer, rig.texture(w, h, std::vector<uint32_t>(size_t(w * h), c.pixel)), out));
        for (int x = 0; x < w; ++x) {
            const uint32_t word =
                test::wordAt(out->contents() + packer->rowBytes() * (h - 1), size_t(x));
            ASSERT_EQ(word, ay10Word(c.luma, 512, c.key)) << c.what << " x " << x;
        }
        // The padding after the picture stays zero.
        EXPECT_EQ(test::wordAt(out->contents(), size_t(w)), 0u) << c.what;
    }
    EXPECT_EQ(ay10Word(64, 512, 0), kAy10Black);
}

}  // namespace
}  // namespace velmar
