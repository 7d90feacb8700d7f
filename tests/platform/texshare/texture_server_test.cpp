#include "platform/texshare/texture_server.h"
#include "platform/gpu/blit_encoder.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/texture.h"
#include "platform/texshare/texture_client.h"

#include <gtest/gtest.h>

#include <cstring>

namespace velmar::texshare {
namespace {

struct TextureServerTest : ::testing::Test {
    std::shared_ptr<gpu::Device> device = gpu::Device::create(2);
    std::shared_ptr<gpu::CommandQueue> queue = device->newCommandQueue();

    // A texture whose pixel (x, y) is B = x, G = y.
    std::shared_ptr<gpu::Texture> patterned(int w, int h,
                                            gpu::PixelFormat f = gpu::PixelFormat::BGRA8Unorm) {
        gpu::TextureDescriptor d{f, w, h, gpu::TextureUsageShaderRead, gpu::StorageMode::Shared};
        auto t = device->newTexture(d);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w && f == gpu::PixelFormat::BGRA8Unorm; ++x)
                std::memcpy(t->row(y) + x * 4,
                            std::array<uint8_t, 4>{uint8_t(x), uint8_t(y), 7, 255}.data(), 4);
        return t;
    }
    void commitAndWait(gpu::CommandBuffer& cb) {
        cb.commit();
        cb.waitUntilCompleted();
        ASSERT_EQ(cb.status(), gpu::CommandBufferStatus::Completed) << cb.error();
    }
};

TEST_F(TextureServerTest, ClientsReceiveTheRegionBottomRowFirstFromCompletedBuffersOnly) {
    auto server = TextureServer::create("rows", device);
    TextureClient client("rows");
    const auto texture = patterned(6, 4);
    {
        auto dropped = queue->commandBuffer();
        ASSERT_TRUE(server->publishFrameTexture(texture, *dropped, {0, 0, 6, 4}, true));
    }  // never committed: serves nothing
    EXPECT_FALSE(client.latestFrame());

    for (bool flipped : {true, false}) {
        SCOPED_TRACE(flipped ? "flipped" : "as is");
        const gpu::BlitRegion region{1, 2, 3, 2};
        auto cb = queue->commandBuffer();
        ASSERT_TRUE(server->publishFrameTexture(texture, *cb, region, flipped));
        texture->row(2)[4] = flipped ? 0x55 : 1;  // changed after encoding: the copy runs in order
        commitAndWait(*cb);
        const auto frame = client.latestFrame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->number, flipped ? 1u : 2u);
        ASSERT_EQ(frame->width * 10 + frame->height, 32);
        for (int row = 0; row < 2; ++row) {  // served rows count from the bottom
            const int y = region.y + (flipped ? 1 - row : row);
            EXPECT_EQ(0, std::memcmp(frame->pixel(0, row), texture->row(y) + 4, 12)) << row;
        }
    }
}

TEST_F(TextureServerTest, RefusedTexturesAndCopiesEncodeNothing) {
    auto server = TextureServer::create("refuse", device);
    const auto texture = patterned(4, 4);
    auto cb = queue->commandBuffer();
    EXPECT_FALSE(server->publishFrameTexture(nullptr, *cb, {0, 0, 4, 4}, true));
    EXPECT_FALSE(server->publishFrameTexture(patterned(4, 4, gpu::PixelFormat::RGBA16Float), *cb,
                                             {0, 0, 4, 4}, true));
    EXPECT_FALSE(server->publishFrameTexture(texture, *cb, {2, 0, 3, 4}, true));
    EXPECT_EQ(TextureServer::create("", device), nullptr);

    auto blit = cb->makeBlitCommandEncoder();
    auto buffer = device->newBuffer(4 * 4 * 4);
    EXPECT_FALSE(blit->copyTextureToBuffer(texture, {0, 0, 4, 4}, buffer, 4, 16, 0)) << "too short";
    EXPECT_FALSE(blit->copyTextureToTexture(texture, patterned(4, 3)));
    const auto copy = patterned(4, 4);
    std::memset(copy->row(3), 0, 16);
    EXPECT_TRUE(blit->copyTextureToTexture(texture, copy));
    blit->endEncoding();
    EXPECT_FALSE(blit->copyTextureToBuffer(texture, {0, 0, 4, 4}, buffer, 0, 16, 0)) << "after end";
    commitAndWait(*cb);
    EXPECT_EQ(0, std::memcmp(copy->row(3), texture->row(3), 16));
}

}  // namespace
}  // namespace velmar::texshare
