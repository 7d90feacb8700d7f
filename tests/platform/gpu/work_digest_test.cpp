// CommandBuffer::workDigest: equal digests only for work that leaves the same bytes behind.
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace velmar::gpu {
namespace {

constexpr std::array<Float2, 4> kFull = {Float2{-1, -1}, Float2{1, -1}, Float2{-1, 1},
                                         Float2{1, 1}};

struct WorkDigestTest : ::testing::Test {
    std::shared_ptr<Device> device = Device::create(1);
    std::shared_ptr<CommandQueue> queue = device->newCommandQueue();
    std::shared_ptr<RenderPipelineState> preview = pipeline("preview_fragment");
    std::shared_ptr<Texture> layer = device->newTexture(
        {PixelFormat::BGRA8Unorm, 8, 8, TextureUsageShaderRead | TextureUsageRenderTarget,
         StorageMode::Private});
    std::shared_ptr<Texture> out = device->newTexture(
        {PixelFormat::BGRA8Unorm, 8, 8, TextureUsageShaderRead | TextureUsageRenderTarget});
    std::shared_ptr<Texture> still =
        upload(device->newTexture({PixelFormat::BGRA8Unorm, 8, 8, TextureUsageShaderRead}));

    std::shared_ptr<RenderPipelineState> pipeline(const char* fragment) {
        auto library = device->newDefaultLibrary();
        RenderPipelineDescriptor d;
        d.vertexFunction = library->newFunction("quad_vertex");
        d.fragmentFunction = library->newFunction(fragment);
        return device->newRenderPipelineState(d);
    }
    static std::shared_ptr<Texture> upload(std::shared_ptr<Texture> t) {
        const std::vector<uint32_t> pixels(64, 0xff204080u);
        t->replaceRegion(pixels.data(), 32);
        return t;
    }
    static void draw(CommandBuffer& cb, const std::shared_ptr<Texture>& into,
                     const std::shared_ptr<RenderPipelineState>& p,
                     const std::shared_ptr<Texture>& source, LoadAction load = LoadAction::Clear) {
        RenderPassDescriptor pass;
        pass.texture = into;
        pass.loadAction = load;
        RenderCommandEncoder* e = cb.renderCommandEncoder(pass);
        e->setRenderPipelineState(p);
        e->setVertexBytes(kFull.data(), sizeof kFull, 0);
        e->setFragmentTexture(source, 0);
        e->drawPrimitives(PrimitiveType::TriangleStrip, 0, 4);
        e->endEncoding();
    }
    // The still into the private layer, the layer onto the output.
    void twoPasses(CommandBuffer& cb) {
        draw(cb, layer, preview, still);
        draw(cb, out, preview, layer);
    }
    // The digest of `encode`, then that buffer run to completion.
    std::vector<uint64_t> digestThenRun(const std::function<void(CommandBuffer&)>& encode) {
        auto cb = queue->commandBuffer();
        encode(*cb);
        auto digest = cb->workDigest();
        cb->commit();
        cb->waitUntilCompleted();
        EXPECT_EQ(cb->status(), CommandBufferStatus::Completed) << cb->error();
        return digest;
    }
};

TEST_F(WorkDigestTest, RepeatedWorkIsEqualUntilASourceOrTheWorkChanges) {
    const auto first = digestThenRun([&](CommandBuffer& cb) { twoPasses(cb); });
    ASSERT_FALSE(first.empty());
    // The layer was drawn again by the first buffer; drawn in the same buffer, it counts by id.
    EXPECT_EQ(digestThenRun([&](CommandBuffer& cb) { twoPasses(cb); }), first);

    upload(still);  // same bytes, but a new upload: the still may have changed
    EXPECT_NE(digestThenRun([&](CommandBuffer& cb) { twoPasses(cb); }), first);

    // Read before this buffer draws it, the layer holds what the run before drew.
    auto readsFirst = [&](CommandBuffer& cb) {
        draw(cb, out, preview, layer);
        draw(cb, layer, preview, still);
    };
    const auto readFirst = digestThenRun(readsFirst);
    EXPECT_NE(digestThenRun(readsFirst), readFirst);

    const auto again = digestThenRun([&](CommandBuffer& cb) { twoPasses(cb); });
    EXPECT_NE(digestThenRun([&](CommandBuffer& cb) {
                  draw(cb, layer, preview, still);
                  RenderPassDescriptor pass;
                  pass.texture = out;
                  RenderCommandEncoder* e = cb.renderCommandEncoder(pass);
                  e->setRenderPipelineState(preview);
                  const std::array<Float2, 4> half = {Float2{-1, -1}, Float2{0, -1}, Float2{-1, 1},
                                                      Float2{0, 1}};
                  e->setVertexBytes(half.data(), sizeof half, 0);
                  e->setFragmentTexture(layer, 0);
                  e->drawPrimitives(PrimitiveType::TriangleStrip, 0, 4);
                  e->endEncoding();
              }),
              again);
}

TEST_F(WorkDigestTest, WorkThatCannotBeNamedHasNoDigest) {
    const auto buffer = PixelBuffer::create(8, 8, kPixelFormat32BGRA);
    ASSERT_TRUE(buffer);
    const auto movieFrame =
        device->newTexture({PixelFormat::BGRA8Unorm, 8, 8, TextureUsageShaderRead}, buffer);
    ASSERT_TRUE(movieFrame);
    struct Case {
        const char* name;
        std::function<void(CommandBuffer&)> encode;
    };
    const Case cases[] = {
        {"nothing recorded", [](CommandBuffer&) {}},
        {"a source written outside the device",
         [&](CommandBuffer& cb) { draw(cb, out, preview, movieFrame); }},
        {"a pass that keeps its target's bytes",
         [&](CommandBuffer& cb) { draw(cb, out, preview, still, LoadAction::Load); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto cb = queue->commandBuffer();
        c.encode(*cb);
        EXPECT_TRUE(cb->workDigest().empty());
    }
}

}  // namespace
}  // namespace velmar::gpu
