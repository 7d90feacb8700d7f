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

    // A BGRA8 texture whose pixel (x, y) is (x, y, 7, 255).
    std::shared_ptr<gpu::Texture> patterned(
        int w, int h, gpu::PixelFormat format = gpu::PixelFormat::BGRA8Unorm) {
        gpu::TextureDescriptor d;
        d.pixelFormat = format;
        d.width = w;
        d.height = h;
        d.usage = gpu::TextureUsageShaderRead | gpu::TextureUsageRenderTarget;
        auto t = device->newTexture(d);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w && format == gpu::PixelFormat::BGRA8Unorm; ++x) {
                uint8_t* p = t->row(y) + x * 4;
                p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = 7, p[3] = 255;
            }
        return t;
    }

    void commitAndWait(gpu::CommandBuffer& cb) {
        cb.commit();
        cb.waitUntilCompleted();
        ASSERT_EQ(cb.status(), gpu::CommandBufferStatus::Completed) << cb.error();
    }
};

TEST_F(TextureServerTest, ClientReceivesTheRegionBottomRowFirstUnlessTheTextureIsFlipped) {
    struct Case {
        const char* name;
        gpu::BlitRegion region;
        bool flipped;
    };
    const Case cases[] = {
        {"whole texture, flipped", {0, 0, 6, 4}, true},
        {"whole texture, as is", {0, 0, 6, 4}, false},
        {"inner region, flipped", {1, 2, 3, 2}, true},
    };
    auto server = TextureServer::create("rows", device);
    TextureClient client("rows");
    const auto texture = patterned(6, 4);
    uint64_t lastNumber = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto cb = queue->commandBuffer();
        ASSERT_TRUE(server->publishFrameTexture(texture, *cb, c.region, c.flipped));
        commitAndWait(*cb);
        const auto frame = client.latestFrame();
        ASSERT_TRUE(frame);
        EXPECT_GT(frame->number, lastNumber);
        lastNumber = frame->number;
        ASSERT_EQ(frame->width, c.region.width);
        ASSERT_EQ(frame->height, c.region.height);
        for (int row = 0; row < frame->height; ++row) {
            // Served row `row` counts from the bottom; it shows texture row y.
            const int y = c.region.y + (c.flipped ? frame->height - 1 - row : row);
            for (int x = 0; x < frame->width; ++x)
                EXPECT_EQ(
                    0, std::memcmp(frame->pixel(x, row), texture->row(y) + (c.region.x + x) * 4, 4))
                    << "served row " << row << " column " << x;
        }
    }
}

TEST_F(TextureServerTest, OnlyCompletedCommandBuffersServeFrames) {
    auto server = TextureServer::create("frames", device);
    TextureClient client("frames");
    const auto first = patterned(4, 4);
    {
        auto dropped = queue->commandBuffer();
        ASSERT_TRUE(server->publishFrameTexture(first, *dropped, {0, 0, 4, 4}, false));
    }  // never committed
    EXPECT_FALSE(client.latestFrame());

    // The copy is taken when the command buffer runs, after the work encoded before it.
    auto later = patterned(4, 4);
    auto cb = queue->commandBuffer();
    ASSERT_TRUE(server->publishFrameTexture(later, *cb, {0, 0, 4, 4}, false));
    std::memset(later->row(0), 0x55, 4);  // changed after encoding, before execution
    commitAndWait(*cb);
    const auto frame = client.latestFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->number, 1u);
    EXPECT_EQ(frame->pixel(0, 0)[0], 0x55);
}

TEST_F(TextureServerTest, ClientsAreCountedAndStopDisconnectsThem) {
    auto server = TextureServer::create("count", device);
    EXPECT_FALSE(server->hasClients());
    auto a = std::make_unique<TextureClient>("count");
    TextureClient b("count");
    TextureClient elsewhere("another");
    EXPECT_EQ(server->clientCount(), 2);
    EXPECT_FALSE(elsewhere.isConnected());
    a.reset();
    EXPECT_EQ(server->clientCount(), 1);

    // A newer server of the same name is the one new clients find; the old one stopping
    // leaves it listed.
    auto newer = TextureServer::create("count", device);
    server->stop();
    EXPECT_FALSE(b.isConnected());
    EXPECT_EQ(TextureServer::find("count"), newer);

    auto cb = queue->commandBuffer();
    EXPECT_FALSE(server->publishFrameTexture(patterned(2, 2), *cb, {0, 0, 2, 2}, true));
    newer->stop();
    EXPECT_EQ(TextureServer::find("count"), nullptr);
    EXPECT_FALSE(TextureClient("count").isConnected());
}

TEST_F(TextureServerTest, RefusedTexturesAndRegionsEncodeNothing) {
    auto server = TextureServer::create("refuse", device);
    const auto texture = patterned(4, 4);
    auto cb = queue->commandBuffer();
    EXPECT_FALSE(server->publishFrameTexture(nullptr, *cb, {0, 0, 4, 4}, true));
    EXPECT_FALSE(server->publishFrameTexture(patterned(4, 4, gpu::PixelFormat::RGBA16Float), *cb,
                                             {0, 0, 4, 4}, true));
    EXPECT_FALSE(server->publishFrameTexture(texture, *cb, {2, 0, 3, 4}, true));
    EXPECT_FALSE(server->publishFrameTexture(texture, *cb, {0, 0, 0, 4}, true));

    auto blit = cb->makeBlitCommandEncoder();
    auto buffer = device->newBuffer(4 * 4 * 4);
    EXPECT_FALSE(blit->copyTextureToBuffer(texture, {0, 0, 4, 4}, buffer, 4, 16, 0))
        << "buffer too short from that offset";
    EXPECT_FALSE(blit->copyTextureToBuffer(texture, {0, 0, 4, 4}, buffer, 0, 12, 0))
        << "rows shorter than the region";
    EXPECT_FALSE(blit->copyTextureToTexture(texture, patterned(4, 3)));
    EXPECT_TRUE(blit->copyTextureToTexture(texture, patterned(4, 4)));
    blit->endEncoding();
    EXPECT_FALSE(blit->copyTextureToBuffer(texture, {0, 0, 4, 4}, buffer, 0, 16, 0)) << "after end";
    EXPECT_EQ(TextureServer::create("", device), nullptr);
}

TEST_F(TextureServerTest, TextureToTextureCopyRunsInOrder) {
    const auto source = patterned(5, 3);
    const auto destination = patterned(5, 3);
    std::memset(destination->bytes(), 0, destination->bytesPerRow() * 3);
    auto cb = queue->commandBuffer();
    auto blit = cb->makeBlitCommandEncoder();
    ASSERT_TRUE(blit->copyTextureToTexture(source, destination));
    blit->endEncoding();
    commitAndWait(*cb);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(0, std::memcmp(source->row(y), destination->row(y), 20));
}

}  // namespace
}  // namespace velmar::texshare
