// The v210 packer: creation, the parameter rules seen in the packed words, refusals that
// record nothing, the black row and pixel buffer, and the size checks of copy().
#include "render/v210_packer.h"

#include "platform/gpu/pixel_buffer.h"
#include "render/pack_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmar {
namespace {

using test::PackRig;

constexpr uint32_t kBlack[4] = {0x20010200, 0x04080040, 0x20010200, 0x04080040};

TEST(V210Packer, CreationAndRowBytes) {
    PackRig rig;
    const struct {
        int width, height;
        size_t rowBytes;  // 0: refused
    } cases[] = {{1920, 1080, 5120}, {1280, 720, 3456}, {1, 1, 128}, {48, 2, 128}, {49, 2, 256},
                 {0, 10, 0}, {10, 0, 0}, {-5, 10, 0}, {gpu::kMaxTextureSide + 1, 4, 0}};
    for (const auto& c : cases) {
        auto packer = V210Packer::create(rig.device, c.width, c.height);
        ASSERT_EQ(bool(packer), c.rowBytes != 0) << c.width << "x" << c.height;
        if (!packer) continue;
        EXPECT_EQ(packer->rowBytes(), c.rowBytes);
    }
    EXPECT_FALSE(V210Packer::create(nullptr, 16, 16));
}

TEST(V210Packer, HeightChoosesRec709From720LinesUp) {
    // A pure red frame: Rec. 709 red is Y' 250, Rec. 601 red Y' 326 (Cr 960 in both).
    PackRig rig;
    const struct {
        int height;
        int luma;
    } cases[] = {{576, 326}, {719, 326}, {720, 250}, {1080, 250}};
    for (const auto& c : cases) {
        const int w = 12;
        auto packer = V210Packer::create(rig.device, w, c.height);
        ASSERT_TRUE(packer);
        auto out = rig.buffer(packer->rowBytes() * size_t(c.height), 0);
        ASSERT_TRUE(rig.pack(*packer, rig.texture(w, c.height, std::vector<uint32_t>(size_t(w * c.height), 0xffff0000)), out));
        const auto p = test::v210Pixel(out->contents() + size_t(c.height - 1) * packer->rowBytes(), 7);
        EXPECT_EQ(p.y, c.luma) << c.height;
        EXPECT_EQ(p.cr, 960) << c.height;
    }
}

TEST(V210Packer, EncodeRefusesWithoutRecordingAnything) {
    PackRig rig;
    const int w = 20, h = 6;
    auto packer = V210Packer::create(rig.device, w, h);
    ASSERT_TRUE(packer);
    const size_t bytes = packer->rowBytes() * size_t(h);
    const std::vector<uint32_t> px(size_t(w * (h + 1)), 0xff808080);
    auto good = rig.texture(w, h, px);
    struct Case {
        const char* what;
        std::shared_ptr<gpu::Texture> source;
        std::shared_ptr<gpu::Buffer> buffer;
    };
    const Case cases[] = {
        {"narrower source", rig.texture(w - 1, h, px), rig.buffer(bytes, 0xAB)},
        {"taller source", rig.texture(w, h + 1, px), rig.buffer(bytes, 0xAB)},
        {"RGBA source", rig.texture(w, h, px, gpu::PixelFormat::RGBA8Unorm), rig.buffer(bytes, 0xAB)},
        {"no source", nullptr, rig.buffer(bytes, 0xAB)},
        {"short buffer", good, rig.buffer(bytes - 1, 0xAB)},
        {"no buffer", good, nullptr},
    };
    for (const Case& c : cases) {
        auto cb = rig.queue->commandBuffer();
        EXPECT_FALSE(packer->encode(c.source, c.buffer, *cb)) << c.what;
        cb->commit();
        cb->waitUntilCompleted();
        if (c.buffer) {
            for (size_t i = 0; i < c.buffer->length(); ++i)
                ASSERT_EQ(c.buffer->contents()[i], 0xAB) << c.what;
        }
    }
    // An encoder already open on the command buffer: refused as well.
    auto cb = rig.queue->commandBuffer();
    ASSERT_NE(cb->computeCommandEncoder(), nullptr);
    EXPECT_FALSE(packer->encode(good, rig.buffer(bytes, 0), *cb));
}

TEST(V210Packer, BlackRowCoversThePictureGroupsOnly) {
    const struct {
        int width;
        size_t rowBytes;
        size_t blackGroups;
    } cases[] = {{1920, 5120, 320}, {7, 128, 2}, {6, 128, 1}, {1, 256, 1}, {60, 64, 4}, {0, 128, 0}, {-3, 128, 0}};
    for (const auto& c : cases) {
        const auto row = V210Packer::blackRow(c.width, c.rowBytes);
        ASSERT_EQ(row.size(), c.rowBytes / 4);
        for (size_t i = 0; i < row.size(); ++i)
            ASSERT_EQ(row[i], i < 4 * c.blackGroups ? kBlack[i % 4] : 0u) << c.width << " word " << i;
    }
}

// Packed black and a new pixel buffer both equal the black row.
TEST(V210Packer, PackedBlackAndNewPixelBuffersMatchTheBlackRow) {
    PackRig rig;
    for (const int w : {7, 50, 97}) {
        auto packer = V210Packer::create(rig.device, w, 2);
        auto out = rig.buffer(packer->rowBytes() * 2, 0xCD);
        ASSERT_TRUE(rig.pack(*packer, rig.texture(w, 2, std::vector<uint32_t>(size_t(2 * w), 0xff000000)), out));
        const auto black = V210Packer::blackRow(w, packer->rowBytes());
        EXPECT_EQ(0, std::memcmp(out->contents(), black.data(), packer->rowBytes())) << w;
        auto pb = packer->makePixelBuffer();
        ASSERT_TRUE(pb && pb->bytesPerRow() >= packer->rowBytes() && pb->height() == 2);
        const auto blackRow = V210Packer::blackRow(w, pb->bytesPerRow());
        for (int y = 0; y < 2; ++y)
            EXPECT_EQ(0, std::memcmp(pb->baseAddress() + size_t(y) * pb->bytesPerRow(), blackRow.data(), pb->bytesPerRow()));
    }
}

// copy(): every size is checked before anything is written.
TEST(V210Packer, CopyChecksEverySizeAndWritesNothingWhenRefused) {
    PackRig rig;
    const int w = 50, h = 4;
    auto packer = V210Packer::create(rig.device, w, h);
    const size_t rb = packer->rowBytes();  // 256
    auto rows = rig.buffer(rb * h, 0x11);
    auto wrapped = [&](int pw, int ph, uint32_t format, size_t bytesPerRow) {
        std::shared_ptr<uint8_t> memory(new uint8_t[bytesPerRow * size_t(ph)], std::default_delete<uint8_t[]>());
        std::memset(memory.get(), 0xEE, bytesPerRow * size_t(ph));
        // Made directly, unchecked, as memory owned elsewhere might describe itself.
        return std::make_shared<gpu::PixelBuffer>(pw, ph, format, bytesPerRow, memory);
    };
    struct Case {
        const char* what;
        std::shared_ptr<gpu::Buffer> rows;
        std::shared_ptr<gpu::PixelBuffer> destination;
    };
    const Case refused[] = {
        {"short rows", rig.buffer(rb * h - 1, 0x11), packer->makePixelBuffer()},
        {"no rows", nullptr, packer->makePixelBuffer()},
        {"fewer lines", rows, V210Packer::create(rig.device, w, h - 1)->makePixelBuffer()},
        {"more lines", rows, V210Packer::create(rig.device, w, h + 1)->makePixelBuffer()},
        {"other width", rows, wrapped(w - 1, h, gpu::kPixelFormat422YpCbCr10, rb)},
        {"BGRA", rows, wrapped(w, h, gpu::kPixelFormat32BGRA, rb)},
        {"short destination rows", rows, wrapped(w, h, gpu::kPixelFormat422YpCbCr10, rb - 128)},
        {"no destination", rows, nullptr},
    };
    for (const Case& c : refused) {
        std::vector<uint8_t> before;
        if (c.destination)
            before.assign(c.destination->baseAddress(), c.destination->baseAddress() + c.destination->dataSize());
        EXPECT_FALSE(packer->copy(c.rows, c.destination)) << c.what;
        if (c.destination) {
            EXPECT_TRUE(std::equal(before.begin(), before.end(), c.destination->baseAddress())) << c.what;
        }
    }
    // Rows of exactly rowBytes take one copy; longer rows get their tail cleared.
    for (const size_t bytesPerRow : {rb, rb + 64}) {
        auto pb = wrapped(w, h, gpu::kPixelFormat422YpCbCr10, bytesPerRow);
        ASSERT_TRUE(packer->copy(rows, pb)) << bytesPerRow;
        for (int y = 0; y < h; ++y) {
            const uint8_t* line = pb->baseAddress() + size_t(y) * bytesPerRow;
            for (size_t i = 0; i < bytesPerRow; ++i) ASSERT_EQ(line[i], i < rb ? 0x11 : 0) << y << " " << i;
        }
    }
}

}  // namespace
}  // namespace velmar
