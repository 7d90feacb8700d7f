// The 10-bit packers' sizes, the v210 packer's refusals that record nothing, its black row and
// pixel buffer, and the size checks of copy(). Packed values: v210_ffmpeg_test.
#include "render/v210_packer.h"

#include "platform/gpu/pixel_buffer.h"
#include "render/ay10_packer.h"
#include "render/pack_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmar {
namespace {

using test::PackRig;

constexpr uint32_t kBlackWords[4] = {0x20010200, 0x04080040, 0x20010200, 0x04080040};

TEST(V210Packer, CreationAndRowBytesOfBothPackers) {
    PackRig rig;
    const struct {
        int width, height;
        size_t v210, ay10;  // row bytes; 0: refused
    } cases[] = {{1920, 1080, 5120, 7680},
                 {1280, 720, 3456, 5120},
                 {1, 1, 128, 256},
                 {48, 2, 128, 256},
                 {49, 2, 256, 256},
                 {65, 2, 256, 512},
                 {0, 10, 0, 0},
                 {10, 0, 0, 0},
                 {-5, 10, 0, 0},
                 {gpu::kMaxTextureSide + 1, 4, 0, 0}};
    for (const auto& c : cases) {
        auto v210 = V210Packer::create(rig.device, c.width, c.height);
        auto ay10 = AY10Packer::create(rig.device, c.width, c.height);
        EXPECT_EQ(v210 ? v210->rowBytes() : 0, c.v210) << c.width;
        EXPECT_EQ(ay10 ? ay10->rowBytes() : 0, c.ay10) << c.width;
    }
    EXPECT_FALSE(V210Packer::create(nullptr, 16, 16));
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
        {"RGBA source", rig.texture(w, h, px, gpu::PixelFormat::RGBA8Unorm),
         rig.buffer(bytes, 0xAB)},
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

// A new pixel buffer holds black rows.
TEST(V210Packer, BlackRowCoversThePictureGroupsOnly) {
    const struct {
        int width;
        size_t rowBytes;
        size_t blackGroups;
    } cases[] = {{1920, 5120, 320}, {7, 128, 2}, {6, 128, 1}, {1, 256, 1},
                 {60, 64, 4},       {0, 128, 0}, {-3, 128, 0}};
    for (const auto& c : cases) {
        const auto row = V210Packer::blackRow(c.width, c.rowBytes);
        ASSERT_EQ(row.size(), c.rowBytes / 4);
        for (size_t i = 0; i < row.size(); ++i)
            ASSERT_EQ(row[i], i < 4 * c.blackGroups ? kBlackWords[i % 4] : 0u)
                << c.width << " word " << i;
    }
    PackRig rig;
    auto pb = V210Packer::create(rig.device, 97, 2)->makePixelBuffer();
    ASSERT_TRUE(pb && pb->bytesPerRow() >= 256 && pb->height() == 2);
    const auto black = V210Packer::blackRow(97, pb->bytesPerRow());
    for (int y = 0; y < 2; ++y)
        EXPECT_EQ(0, std::memcmp(pb->baseAddress() + size_t(y) * pb->bytesPerRow(), black.data(),
                                 pb->bytesPerRow()));
}

// copy(): every size is checked before anything is written.
TEST(V210Packer, CopyChecksEverySizeAndWritesNothingWhenRefused) {
    PackRig rig;
    const int w = 50, h = 4;
    auto packer = V210Packer::create(rig.device, w, h);
    const size_t rb = packer->rowBytes();  // 256
    auto rows = rig.buffer(rb * h, 0x11);
    auto wrapped = [&](int pw, int ph, uint32_t format, size_t bytesPerRow) {
        std::shared_ptr<uint8_t> memory(new uint8_t[bytesPerRow * size_t(ph)],
                                        std::default_delete<uint8_t[]>());
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
            before.assign(c.destination->baseAddress(),
                          c.destination->baseAddress() + c.destination->dataSize());
        EXPECT_FALSE(packer->copy(c.rows, c.destination)) << c.what;
        if (c.destination) {
            EXPECT_TRUE(std::equal(before.begin(), before.end(), c.destination->baseAddress()))
                << c.what;
        }
    }
    // Rows of exactly rowBytes take one copy; longer rows get their tail cleared.
    for (const size_t bytesPerRow : {rb, rb + 64}) {
        auto pb = wrapped(w, h, gpu::kPixelFormat422YpCbCr10, bytesPerRow);
        ASSERT_TRUE(packer->copy(rows, pb)) << bytesPerRow;
        for (int y = 0; y < h; ++y) {
            const uint8_t* line = pb->baseAddress() + size_t(y) * bytesPerRow;
            for (size_t i = 0; i < bytesPerRow; ++i)
                ASSERT_EQ(line[i], i < rb ? 0x11 : 0) << y << " " << i;
        }
    }
}

}  // namespace
}  // namespace velmar
