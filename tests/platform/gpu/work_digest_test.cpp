// CommandBuffer::workDigest: equal digests only for work that leaves the same bytes behind.
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"

#include <gtest/gtest.h>

#include <vector>

namespace velmar::gpu {
namespace {

using Corners = std::array<Float2, 4>;
constexpr Corners kWholeQuad = {Float2{-1, -1}, Float2{1, -1}, Float2{-1, 1}, Float2{1, 1}};
constexpr Corners kLeft = {Float2{-1, -1}, Float2{0, -1}, Float2{-1, 1}, Float2{0, 1}};

TEST(WorkDigestTest, NamesRepeatedWorkUntilASourceOrADrawChanges) {
    auto device = Device::create(1);
    auto queue = device->newCommandQueue();
    auto library = device->newDefaultLibrary();
    RenderPipelineDescriptor d;
    d.vertexFunction = library->newFunction("quad_vertex");
    d.fragmentFunction = library->newFunction("preview_fragment");
    auto preview = device->newRenderPipelineState(d);
    auto layer = device->newTexture({PixelFormat::BGRA8Unorm, 8, 8,
                                     TextureUsageShaderRead | TextureUsageRenderTarget,
                                     StorageMode::Private});
    auto out = device->newTexture(
        {PixelFormat::BGRA8Unorm, 8, 8, TextureUsageShaderRead | TextureUsageRenderTarget});
    auto still = device->newTexture({PixelFormat::BGRA8Unorm, 8, 8, TextureUsageShaderRead});
    const std::vector<uint32_t> pixels(64, 0xff204080u);
    still->replaceRegion(pixels.data(), 32);
    auto movieFrame = device->newTexture({PixelFormat::BGRA8Unorm, 8, 8, TextureUsageShaderRead},
                                         PixelBuffer::create(8, 8, kPixelFormat32BGRA));
    ASSERT_TRUE(preview && movieFrame);

    // The still into the private layer, the layer onto the output (both passes as given);
    // the digest, then the buffer run.
    auto run = [&](const std::shared_ptr<Texture>& source, const Corners& corners = kWholeQuad,
                   LoadAction load = LoadAction::Clear) {
        auto cb = queue->commandBuffer();
        for (const auto& [into, from] : {std::pair{layer, source}, std::pair{out, layer}}) {
            RenderPassDescriptor pass;
            pass.texture = into;
            pass.loadAction = load;
            RenderCommandEncoder* e = cb->renderCommandEncoder(pass);
            e->setRenderPipelineState(preview);
            e->setVertexBytes(corners.data(), sizeof corners, 0);
            e->setFragmentTexture(from, 0);
            e->drawPrimitives(PrimitiveType::TriangleStrip, 0, 4);
            e->endEncoding();
        }
        auto digest = cb->workDigest();
        cb->commit();
        cb->waitUntilCompleted();
        EXPECT_EQ(cb->status(), CommandBufferStatus::Completed) << cb->error();
        return digest;
    };

    const auto first = run(still);
    ASSERT_FALSE(first.empty());
    // The layer was drawn again by the first run; drawn earlier in the same buffer, it counts
    // by id alone.
    EXPECT_EQ(run(still), first);
    EXPECT_NE(run(still, kLeft), first);
    still->replaceRegion(pixels.data(), 32);  // the same bytes, but the still may have changed
    EXPECT_NE(run(still), first);

    EXPECT_TRUE(run(movieFrame).empty()) << "a source written outside the device";
    EXPECT_TRUE(run(still, kWholeQuad, LoadAction::Load).empty()) << "passes that keep their bytes";
    EXPECT_TRUE(queue->commandBuffer()->workDigest().empty()) << "nothing recorded";
}

}  // namespace
}  // namespace velmar::gpu
