// The device: pixel-buffer sizes (views over them are seen through the SDI controller),
// command-buffer ordering and completion, encoding errors, compute dispatch, quad coverage and
// determinism over thread counts and kernel tables. Drawn layer pixels: render/metal_renderer_test.
#include "platform/gpu/device.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/kernels.h"
#include "platform/gpu/kernels_scalar.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace velmar::gpu {
namespace {

using Corners = std::array<Float2, 4>;
constexpr Corners kFull = {Float2{-1, -1}, Float2{1, -1}, Float2{-1, 1}, Float2{1, 1}};

struct Fixture {
    std::shared_ptr<Device> device = Device::create(3);
    std::shared_ptr<CommandQueue> queue = device->newCommandQueue();
    std::shared_ptr<Library> library = device->newDefaultLibrary();

    std::shared_ptr<RenderPipelineState> pipeline(const char* fragment, bool blended = false) {
        RenderPipelineDescriptor d;
        d.vertexFunction = library->newFunction("quad_vertex");
        d.fragmentFunction = library->newFunction(fragment);
        if (blended) {
            d.blending.enabled = true;
            d.blending.sourceRGB = BlendFactor::SourceAlpha;
            d.blending.destinationRGB = BlendFactor::OneMinusSourceAlpha;
            d.blending.sourceAlpha = BlendFactor::One;
            d.blending.destinationAlpha = BlendFactor::OneMinusSourceAlpha;
        }
        return device->newRenderPipelineState(d);
    }
    std::shared_ptr<Texture> target(int w, int h) {
        return device->newTexture({PixelFormat::BGRA8Unorm, w, h,
                                   TextureUsageShaderRead | TextureUsageRenderTarget,
                                   StorageMode::Private});
    }
    std::shared_ptr<Texture> source(int w, int h, PixelFormat f, const std::vector<uint32_t>& px) {
        auto t = device->newTexture({f, w, h, TextureUsageShaderRead, StorageMode::Managed});
        t->replaceRegion(px.data(), size_t(w) * 4);
        return t;
    }
    static void run(CommandBuffer& cb) {
        cb.commit();
        cb.waitUntilCompleted();
    }
    // Draws the full-target quad or `corners` with the encoder's pipeline.
    static void quad(RenderCommandEncoder* enc, const Corners& corners = kFull) {
        enc->setVertexBytes(corners.data(), sizeof(corners), 0);
        enc->drawPrimitives(PrimitiveType::TriangleStrip, 0, 4);
    }
    std::vector<uint32_t> pixels(const Texture& t) {
        std::vector<uint32_t> out(size_t(t.width()) * size_t(t.height()));
        t.getBytes(out.data(), size_t(t.width()) * 4);
        return out;
    }
    std::shared_ptr<RenderPipelineState> canvas = pipeline("canvas_fragment");
};

TEST(PixelBufferTest, FormatsAndSizes) {
    Fixture f;
    EXPECT_EQ(PixelBuffer::minimumBytesPerRow(1920, kPixelFormat422YpCbCr10), 5120u);
    EXPECT_EQ(PixelBuffer::minimumBytesPerRow(1280, kPixelFormat422YpCbCr10), 3456u);
    EXPECT_EQ(PixelBuffer::minimumBytesPerRow(1920, kPixelFormatAy10), 7680u);
    EXPECT_EQ(PixelBuffer::create(33, 5, kPixelFormat32BGRA)->bytesPerRow(), 192u);  // 64-aligned
    EXPECT_FALSE(PixelBuffer::create(0, 4, kPixelFormat32BGRA));
    EXPECT_FALSE(PixelBuffer::create(4, 4, fourCC('x', 'x', 'x', 'x')));
    auto v210 = PixelBuffer::create(64, 4, kPixelFormat422YpCbCr10);
    ASSERT_TRUE(v210);
    EXPECT_FALSE(f.device->newTexture({PixelFormat::BGRA8Unorm, 64, 4}, v210));
    auto half = PixelBuffer::create(8, 2, kPixelFormat64RGBAHalf);
    EXPECT_FALSE(f.device->newTexture({PixelFormat::BGRA8Unorm, 8, 2}, half));
    EXPECT_TRUE(f.device->newTexture({PixelFormat::RGBA16Float, 8, 2}, half));
    auto memory = std::shared_ptr<uint8_t>(new uint8_t[4 * 100], std::default_delete<uint8_t[]>());
    EXPECT_FALSE(PixelBuffer::wrap(100, 1, kPixelFormat32BGRA, 399, memory));  // row too short
    EXPECT_TRUE(PixelBuffer::wrap(100, 1, kPixelFormat32BGRA, 400, memory));
}

TEST(CommandBufferTest, RunsInCommitOrderWithHandlersBeforeWaitReturns) {
    Fixture f;
    auto target = f.target(64, 64);
    std::mutex m;
    std::vector<int> order;
    std::vector<std::shared_ptr<CommandBuffer>> buffers;
    for (int i = 0; i < 40; ++i) {
        auto cb = f.queue->commandBuffer();
        RenderPassDescriptor pass;
        pass.texture = target;
        pass.clearColor = {0, 0, double(i) / 255.0, 1};
        cb->renderCommandEncoder(pass)->endEncoding();
        cb->addCompletedHandler([&, i](CommandBuffer& done) {
            EXPECT_EQ(done.status(), CommandBufferStatus::Completed);
            std::lock_guard lock(m);
            order.push_back(i);
        });
        cb->addCompletedHandler([&, i](CommandBuffer&) {
            std::lock_guard lock(m);
            order.push_back(1000 + i);
        });
        cb->commit();
        buffers.push_back(cb);
    }
    buffers.back()->waitUntilCompleted();
    std::vector<int> expected;
    for (int i = 0; i < 40; ++i) {
        expected.push_back(i);
        expected.push_back(1000 + i);
    }
    std::lock_guard lock(m);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(f.pixels(*target)[0], 0xff000027u);  // the last clear won: blue = 39
}

// With the worker held inside a buffer, buffers of every priority are committed behind it:
// once it is free, card frames run first, then screen frames, then the rest, each priority in
// commit order; and a reused buffer starts at normal again.
TEST(CommandBufferTest, OutputFramesRunBeforeWorkCommittedEarlier) {
    Fixture f;
    std::mutex m;
    std::condition_variable cv;
    bool holding = false;
    bool released = false;
    std::vector<int> order;
    auto holder = f.queue->commandBuffer();
    holder->addCompletedHandler([&](CommandBuffer&) {
        std::unique_lock lock(m);
        holding = true;
        cv.notify_all();
        cv.wait(lock, [&] { return released; });
    });
    holder->commit();
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return holding; });
    }
    using P = CommandPriority;
    const P priorities[] = {P::normal, P::normal,     P::screenOutput, P::cardOutput,
                            P::normal, P::cardOutput, P::screenOutput};
    std::vector<std::shared_ptr<CommandBuffer>> buffers;
    for (int i = 0; i < 7; ++i) {
        auto cb = f.queue->commandBuffer();
        RenderPassDescriptor pass;
        pass.texture = f.target(4, 4);
        cb->renderCommandEncoder(pass)->endEncoding();
        cb->setPriority(priorities[i]);
        cb->addCompletedHandler([&, i](CommandBuffer&) {
            std::lock_guard lock(m);
            order.push_back(i);
        });
        cb->commit();
        buffers.push_back(cb);
    }
    {
        std::lock_guard lock(m);
        released = true;
    }
    cv.notify_all();
    for (auto& cb : buffers) cb->waitUntilCompleted();
    {
        std::lock_guard lock(m);
        EXPECT_EQ(order, (std::vector<int>{3, 5, 2, 6, 0, 1, 4}));
    }
    holder.reset();
    buffers.clear();
    std::vector<std::shared_ptr<CommandBuffer>> reused;  // held, so each call takes another
    for (int i = 0; i < 8; ++i) {
        reused.push_back(f.queue->commandBuffer());
        EXPECT_EQ(reused.back()->priority(), CommandPriority::normal) << i;
    }
}

TEST(CommandBufferTest, WaitOnAnUncommittedBufferReturnsAndHandlersAfterCompletionRun) {
    Fixture f;
    auto cb = f.queue->commandBuffer();
    cb->waitUntilCompleted();  // never committed: must not hang
    EXPECT_EQ(cb->status(), CommandBufferStatus::NotEnqueued);
    cb->commit();
    cb->waitUntilCompleted();
    bool ran = false;
    cb->addCompletedHandler([&](CommandBuffer&) { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(cb->renderCommandEncoder({f.target(2, 2)}), nullptr);  // after commit
}

TEST(CommandBufferTest, EncodingMistakesEndInErrorWithoutExecuting) {
    Fixture f;
    auto target = f.target(8, 8);
    std::memset(target->bytes(), 0x11, target->bytesPerRow() * 8);
    struct Case {
        const char* name;
        std::function<void(CommandBuffer&)> encode;
    };
    auto texture = f.source(2, 2, PixelFormat::RGBA8Unorm, std::vector<uint32_t>(4, 0xffffffffu));
    const Case cases[] = {
        {"no pipeline",
         [&](CommandBuffer& cb) {
             auto* e = cb.renderCommandEncoder({target});
             Fixture::quad(e);
             e->endEncoding();
         }},
        {"no texture",
         [&](CommandBuffer& cb) {
             auto* e = cb.renderCommandEncoder({target});
             e->setRenderPipelineState(f.canvas);
             const float block[4] = {1, 1, 0, 0};
             e->setFragmentBytes(block, 16, 0);
             Fixture::quad(e);
             e->endEncoding();
         }},
        {"attachment not a render target",
         [&](CommandBuffer& cb) { EXPECT_EQ(cb.renderCommandEncoder({texture}), nullptr); }},
        {"encoder left open", [&](CommandBuffer& cb) { cb.renderCommandEncoder({target}); }},
    };
    for (const auto& c : cases) {
        auto cb = f.queue->commandBuffer();
        bool handled = false;
        cb->addCompletedHandler([&](CommandBuffer&) { handled = true; });
        c.encode(*cb);
        Fixture::run(*cb);
        EXPECT_EQ(cb->status(), CommandBufferStatus::Error) << c.name;
        EXPECT_FALSE(cb->error().empty()) << c.name;
        EXPECT_TRUE(handled) << c.name;
        EXPECT_EQ(f.pixels(*target)[0], 0x11111111u) << c.name;  // nothing executed
    }
}

// A kernel writing y * 1000 + x into a buffer of uint32, for each grid position.
void gridKernel(const ComputeArguments& args, uint32_t y0, uint32_t y1) {
    auto* out = reinterpret_cast<uint32_t*>(args.buffers[0]);
    uint32_t add = 0;
    std::memcpy(&add, args.buffers[1], 4);
    for (uint32_t y = y0; y < y1; ++y)
        for (uint32_t x = 0; x < args.gridSize.width; ++x)
            if (x < 37 && y < 29) out[y * 37 + x] += y * 1000 + x + add;
}

TEST(ComputeTest, DispatchCoversTheGridOnceWithItsArguments) {
    Fixture f;
    registerComputeKernel("test_grid", gridKernel);
    EXPECT_FALSE(f.library->newFunction("no_such_kernel"));
    auto pipeline = f.device->newComputePipelineState(f.library->newFunction("test_grid"));
    ASSERT_TRUE(pipeline);
    EXPECT_FALSE(f.device->newComputePipelineState(f.library->newFunction("canvas_fragment")));
    auto buffer = f.device->newBuffer(37 * 29 * 4);
    auto cb = f.queue->commandBuffer();
    auto* enc = cb->computeCommandEncoder();
    enc->setComputePipelineState(pipeline);
    enc->setBuffer(buffer, 0, 0);
    const uint32_t add = 7;
    enc->setBytes(&add, 4, 1);
    enc->dispatchThreadgroups({5, 4, 1}, {8, 8, 1});  // 40 x 32 threads, some outside
    enc->endEncoding();
    Fixture::run(*cb);
    ASSERT_EQ(cb->status(), CommandBufferStatus::Completed);
    const auto* v = reinterpret_cast<const uint32_t*>(buffer->contents());
    for (uint32_t y = 0; y < 29; ++y)
        for (uint32_t x = 0; x < 37; ++x) ASSERT_EQ(v[y * 37 + x], y * 1000 + x + 7);
}

// A kernel adding the grid width to a counter per grid row (rows past its buffer are not
// counted), and the grid it was given.
void rowCountingKernel(const ComputeArguments& args, uint32_t y0, uint32_t y1) {
    auto* rows = reinterpret_cast<uint32_t*>(args.buffers[0]);
    const size_t capacity = args.bufferLengths[0] / 4;
    for (uint32_t y = y0; y < y1 && y < capacity; ++y) rows[y] += args.gridSize.width;
}

// Whole thread groups cover exactly groups x group size rows and columns: the packers size their
// groups so that every line of a picture is in them, the last group included.
TEST(ComputeTest, ThreadgroupDispatchCoversExactlyTheGroupsTimesTheirSize) {
    Fixture f;
    registerComputeKernel("test_rows", rowCountingKernel);
    auto pipeline = f.device->newComputePipelineState(f.library->newFunction("test_rows"));
    ASSERT_TRUE(pipeline);
    struct Case {
        Size3 groups, perGroup;
    };
    for (const Case c : {Case{{3, 4, 1}, {8, 8, 1}}, Case{{1, 1, 1}, {32, 32, 1}},
                         Case{{4, 34, 1}, {32, 32, 1}}, Case{{2, 5, 1}, {7, 3, 1}}}) {
        const uint32_t width = c.groups.width * c.perGroup.width;
        const uint32_t height = c.groups.height * c.perGroup.height;
        auto rows = f.device->newBuffer((height + 8) * 4);
        auto cb = f.queue->commandBuffer();
        auto* enc = cb->computeCommandEncoder();
        enc->setComputePipelineState(pipeline);
        enc->setBuffer(rows, 0, 0);
        enc->dispatchThreadgroups(c.groups, c.perGroup);
        enc->endEncoding();
        Fixture::run(*cb);
        ASSERT_EQ(cb->status(), CommandBufferStatus::Completed);
        const auto* counted = reinterpret_cast<const uint32_t*>(rows->contents());
        for (uint32_t y = 0; y < height + 8; ++y)
            ASSERT_EQ(counted[y], y < height ? width : 0u) << "row " << y << " of " << height;
    }
}

TEST(RasterTest, QuadsMeetingOnASlantedEdgeDrawEachPixelOnce) {
    // Two trapezoids (not parallelograms: drawn as triangles) sharing a slanted edge, both drawn
    // half transparent with blending: a pixel drawn twice would come out brighter.
    Fixture f;
    auto blended = f.pipeline("preview_fragment", true);
    auto white = f.source(1, 1, PixelFormat::BGRA8Unorm, {0x80ffffffu});
    auto target = f.target(50, 40);
    auto cb = f.queue->commandBuffer();
    RenderPassDescriptor pass;
    pass.texture = target;
    pass.clearColor = {0, 0, 0, 1};
    auto* enc = cb->renderCommandEncoder(pass);
    enc->setRenderPipelineState(blended);
    enc->setFragmentTexture(white, 0);
    const Corners left = {Float2{-1, -1}, Float2{0.13f, -1}, Float2{-1, 1}, Float2{-0.31f, 1}};
    const Corners right = {Float2{0.13f, -1}, Float2{1, -1}, Float2{-0.31f, 1}, Float2{1, 1}};
    for (const auto& c : {left, right}) Fixture::quad(enc, c);
    enc->endEncoding();
    Fixture::run(*cb);
    const auto out = f.pixels(*target);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], 0xff808080u) << i;
}

TEST(RasterTest, ResultsDoNotDependOnThreadsOrKernelTable) {
    std::vector<std::vector<uint32_t>> results;
    for (int variant = 0; variant < 3; ++variant) {
        Fixture f;
        f.device->setThreadCount(variant == 0 ? 0 : 4);  // 0 is taken as 1
        kernels::forcePortable(variant == 2);
        std::mt19937 rng(11);
        std::vector<uint32_t> px(64 * 48);
        for (auto& p : px) {
            const uint32_t a = rng() % 256, c = a == 0 ? 0 : rng() % (a + 1);
            p = a << 24 | c << 16 | (c / 2) << 8 | (a - c);
        }
        auto src = f.source(64, 48, PixelFormat::RGBA8Unorm, px);
        auto target = f.target(200, 150);
        auto cb = f.queue->commandBuffer();
        const float s = std::sin(0.7f) * 0.6f, c = std::cos(0.7f) * 0.6f;
        const Corners rotated = {Float2{-c + s, -s - c}, Float2{c + s, s - c},
                                 Float2{-c - s, -s + c}, Float2{c - s, s + c}};
        auto* enc = cb->renderCommandEncoder({target});
        enc->setRenderPipelineState(f.canvas);
        const float block[4] = {0.8f, 1, 0, 0};
        enc->setFragmentBytes(block, sizeof(block), 0);
        enc->setFragmentTexture(src, 0);
        Fixture::quad(enc, rotated);
        enc->endEncoding();
        Fixture::run(*cb);
        results.push_back(f.pixels(*target));
    }
    kernels::forcePortable(false);
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0], results[2]);
    size_t drawn = 0;
    for (auto p : results[0]) drawn += p != 0;
    EXPECT_GT(drawn, 5000u);
}

// The preview draw of an RGBA or BGRA texture blended over a solid background, scaled 2x and
// placed 1:1 at (4, 2), against per-pixel bilinear sampling and the blend's formula. Texels
// cover every alpha class: clear (colour must not leak), opaque (runs of eight and more, which
// the blend copies) and in between.
TEST(RasterTest, PreviewBlendsOverLikeSampleAndFormula) {
    using kernels::scalar::div255;
    Fixture f;
    std::mt19937 rng(5);
    std::vector<uint32_t> texels(32 * 16);
    for (size_t i = 0; i < texels.size(); ++i)
        texels[i] = (i % 4 == 0 ? 0 : i % 4 == 1 ? 255 : rng() % 256) << 24 | (rng() & 0xffffffu);
    for (size_t i = 32 * 5; i < 32 * 7; ++i) texels[i] |= 0xff000000u;  // two opaque rows
    const Corners shifted = {Float2{-0.8f, -0.8f}, Float2{0.8f, -0.8f}, Float2{-0.8f, 0.8f},
                             Float2{0.8f, 0.8f}};
    for (const PixelFormat format : {PixelFormat::RGBA8Unorm, PixelFormat::BGRA8Unorm})
        for (const bool scaled : {true, false}) {
            SCOPED_TRACE(int(format));
            auto src = f.source(32, 16, format, texels);
            const kernels::SampledTexture t{src->bytes(), src->bytesPerRow(), 32, 16,
                                            src->pixelFormat()};
            const bool swap = format != PixelFormat::BGRA8Unorm;
            const int w = scaled ? 64 : 40, h = scaled ? 32 : 20;
            auto target = f.target(w, h);
            auto cb = f.queue->commandBuffer();
            auto* enc = cb->renderCommandEncoder({target});
            enc->setRenderPipelineState(f.pipeline("checker_fragment"));
            const float solid[4] = {0, 0.2f, 0.6f, 1};  // 0xff3399ff
            enc->setFragmentBytes(solid, sizeof(solid), 0);
            Fixture::quad(enc);
            enc->setRenderPipelineState(f.pipeline("preview_fragment", true));
            enc->setFragmentTexture(src, 0);
            Fixture::quad(enc, scaled ? kFull : shifted);
            enc->endEncoding();
            Fixture::run(*cb);
            const auto out = f.pixels(*target);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    uint32_t expected = 0xff3399ffu;
                    if (scaled || (x >= 4 && x < 36 && y >= 2 && y < 18)) {
                        const uint32_t read =
                            scaled ? kernels::scalar::sample(t, 0.5f * (float(x) + 0.5f) - 0.5f,
                                                             0.5f * (float(y) + 0.5f) - 0.5f)
                                   : texels[size_t((y - 2) * 32 + x - 4)];
                        const uint32_t s = swap ? kernels::scalar::swapRB(read) : read;
                        const int sa = int(s >> 24);
                        expected = 0xff000000u;
                        for (int c = 0; c < 24; c += 8)
                            expected |= uint32_t(div255(int((s >> c) & 255) * sa) +
                                                 div255(int((0xff3399ffu >> c) & 255) * (255 - sa)))
                                        << c;
                    }
                    ASSERT_EQ(out[size_t(y * w + x)], expected) << scaled << " " << x << "," << y;
                }
        }
}

// Square sizes of whole, fractional and sub-pixel points: pixel (x, y) lies in square
// floor((x + 0.5) / size) along each side, lighter grey where the two add up even.
TEST(RasterTest, CheckerSquaresFollowPixelCentres) {
    Fixture f;
    for (const float size : {2.0f, 2.6f, 7.3f, 0.4f, 100.0f}) {
        SCOPED_TRACE(size);
        auto target = f.target(41, 6);
        auto cb = f.queue->commandBuffer();
        auto* enc = cb->renderCommandEncoder({target});
        enc->setRenderPipelineState(f.pipeline("checker_fragment"));
        const float block[4] = {size, 0, 0, 1};
        enc->setFragmentBytes(block, sizeof(block), 0);
        Fixture::quad(enc);
        enc->endEncoding();
        Fixture::run(*cb);
        const auto px = f.pixels(*target);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 41; ++x) {
                const auto square = [&](int v) {
                    return int(std::floor((v + 0.5) / double(size)));
                };
                ASSERT_EQ(px[size_t(y * 41 + x)],
                          (square(x) + square(y)) % 2 == 0 ? 0xff4d4d4du : 0xff333333u)
                    << x << "," << y;
            }
    }
}

}  // namespace
}  // namespace velmar::gpu
