// The frame path's shortcuts: a reusable layer pass is left out only while its target still
// holds exactly what the pass would draw, a layer in motion drawn inside its composite gives
// the composite of the stored layer, and the wide copy gives memcpy's bytes.
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/memory.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <vector>

namespace velmar::gpu {
namespace {

using Corners = std::array<Float2, 4>;
constexpr Corners kFullQuad = {Float2{-1, -1}, Float2{1, -1}, Float2{-1, 1}, Float2{1, 1}};
constexpr Corners kTurned = {Float2{-0.5f, -1}, Float2{1, -0.5f}, Float2{-1, 0.5f},
                             Float2{0.5f, 1}};
constexpr int kSide = 16;
constexpr uint32_t kStale = 0x12345678;  // never drawn by a layer pass

struct ReuseFixture {
    std::shared_ptr<Device> device = Device::create(2);
    std::shared_ptr<CommandQueue> queue = device->newCommandQueue();
    std::shared_ptr<RenderPipelineState> canvas = [&] {
        auto library = device->newDefaultLibrary();
        RenderPipelineDescriptor d;
        d.vertexFunction = library->newFunction("quad_vertex");
        d.fragmentFunction = library->newFunction("canvas_fragment");
        return device->newRenderPipelineState(d);
    }();
    std::shared_ptr<Texture> programStill, keyerStill;
    std::vector<uint32_t> picture = [] {
        std::vector<uint32_t> px(kSide * kSide);
        for (size_t i = 0; i < px.size(); ++i) px[i] = uint32_t(i * 2654435761u) | 0xff000000u;
        return px;
    }();

    std::shared_ptr<Texture> target() {
        return device->newTexture({PixelFormat::BGRA8Unorm, kSide, kSide,
                                   TextureUsageShaderRead | TextureUsageRenderTarget,
                                   StorageMode::Private});
    }
    std::shared_ptr<Texture> still() {
        auto t = device->newTexture(
            {PixelFormat::BGRA8Unorm, kSide, kSide, TextureUsageShaderRead, StorageMode::Managed});
        t->replaceRegion(picture.data(), kSide * 4);
        return t;
    }
    // One layer pass, committed and waited for; `broken` makes the buffer fail to encode.
    void draw(const std::shared_ptr<Texture>& into, const std::shared_ptr<Texture>& src,
              const Corners& corners, float opacity, bool reusable = true, bool broken = false) {
        auto cb = queue->commandBuffer();
        RenderPassDescriptor pass;
        pass.texture = into;
        pass.reusable = reusable;
        auto* enc = cb->renderCommandEncoder(pass);
        enc->setRenderPipelineState(canvas);
        const float block[4] = {opacity, 1, 0, 0};
        enc->setFragmentBytes(block, sizeof(block), 0);
        enc->setFragmentTexture(src, 0);
        enc->setVertexBytes(corners.data(), sizeof(corners), broken ? 1 : 0);
        enc->drawPrimitives(PrimitiveType::TriangleStrip, 0, 4);
        enc->endEncoding();
        cb->commit();
        cb->waitUntilCompleted();
    }
    static std::vector<uint32_t> pixels(const Texture& t) {
        std::vector<uint32_t> out(kSide * kSide);
        t.getBytes(out.data(), kSide * 4);
        return out;
    }
};

TEST(PassReuseTest, ALayerIsRedrawnWheneverAnythingItReadsOrIsDrawnWithChanged) {
    struct Case {
        const char* name;
        // Runs between the first draw of (still, kFullQuad, 0.5) and a poke of stale bytes into the
        // target; returns the source of the second draw.
        std::function<std::shared_ptr<Texture>(ReuseFixture&, const std::shared_ptr<Texture>& into,
                                               const std::shared_ptr<Texture>& still)>
            between;
        Corners corners = kFullQuad;
        float opacity = 0.5f;
        bool reusable = true;
        bool kept = false;  // the target keeps what it holds
    };
    auto same = [](ReuseFixture&, const auto&, const auto& still) { return still; };
    const Case cases[] = {
        {"identical pass", same, kFullQuad, 0.5f, true, true},
        {"other opacity", same, kFullQuad, 0.75f},
        {"other corners", same, kTurned},
        {"not marked reusable", same, kFullQuad, 0.5f, false},
        {"source uploaded again",
         [](ReuseFixture& f, const auto&, const auto& still) {
             f.picture[3] ^= 0x00ffffffu;
             still->replaceRegion(f.picture.data(), kSide * 4);
             return still;
         }},
        {"another texture with the same pixels",
         [](ReuseFixture& f, const auto&, const auto&) { return f.still(); }},
        {"target drawn by another pass",
         [](ReuseFixture& f, const auto& into, const auto& still) {
             f.draw(into, still, kTurned, 1, false);
             return still;
         }},
        {"source is a pixel-buffer view",
         [](ReuseFixture& f, const auto& into, const auto&) {
             auto buffer = PixelBuffer::create(kSide, kSide, kPixelFormat32BGRA);
             std::memcpy(buffer->baseAddress(), f.picture.data(), f.picture.size() * 4);
             auto view = f.device->newTexture({PixelFormat::BGRA8Unorm, kSide, kSide}, buffer);
             f.draw(into, view, kFullQuad, 0.5f);  // the view's memory may change at any time
             return view;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReuseFixture f;
        const auto into = f.target();
        const auto still = f.still();
        f.draw(into, still, kFullQuad, 0.5f);
        const auto src = c.between(f, into, still);
        std::vector<uint32_t> stale(kSide * kSide, kStale);
        std::memcpy(into->bytes(), stale.data(), stale.size() * 4);  // rows are exactly 64 bytes
        f.draw(into, src, c.corners, c.opacity, c.reusable);
        if (c.kept) {
            EXPECT_EQ(ReuseFixture::pixels(*into), stale);
            continue;
        }
        const auto fresh = f.target();
        f.draw(fresh, src, c.corners, c.opacity, false);
        EXPECT_EQ(ReuseFixture::pixels(*into), ReuseFixture::pixels(*fresh));
    }
}

TEST(PassReuseTest, AFailedBufferLeavesNothingToReuse) {
    ReuseFixture f;
    const auto into = f.target(), still = f.still();
    f.draw(into, still, kFullQuad, 0.5f, true, /*broken=*/true);
    f.draw(into, still, kFullQuad, 0.5f);
    const auto fresh = f.target();
    f.draw(fresh, still, kFullQuad, 0.5f, false);
    EXPECT_EQ(ReuseFixture::pixels(*into), ReuseFixture::pixels(*fresh));
}

// The program still and a keyer still with transparent and partly transparent pixels.
void makeStills(ReuseFixture& f) {
    if (!f.programStill) f.programStill = f.still();
    if (!f.keyerStill) {
        auto px = f.picture;
        for (size_t i = 0; i < px.size(); ++i)
            px[i] = (px[i] & 0x00ffffffu) | uint32_t(i % 3 == 0 ? 0 : i * 37 % 256) << 24;
        for (auto& p : px) p = (p >> 24) == 0 ? 0 : p;
        // Wholly transparent rows, and one that is so but for its last pixel.
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < kSide; ++x)
                px[size_t(y * kSide + x)] = y == 2 && x == kSide - 1 ? 0x80402010u : 0;
        f.keyerStill = f.device->newTexture(
            {PixelFormat::BGRA8Unorm, kSide, kSide, TextureUsageShaderRead, StorageMode::Managed});
        f.keyerStill->replaceRegion(px.data(), kSide * 4);
    }
}

// Two layers drawn with reusable passes and composited into a new output frame, as the
// canvas engine draws a frame; the output's pixels.
std::vector<uint32_t> compositeFrame(ReuseFixture& f, const std::shared_ptr<Texture>& program,
                                     const std::shared_ptr<Texture>& keyer, float keyerOpacity,
                                     bool premultiplied, float programOpacity = 1) {
    makeStills(f);
    f.draw(program, f.programStill, kTurned, programOpacity);
    f.draw(keyer, f.keyerStill, kFullQuad, keyerOpacity);
    auto out =
        f.device->newTexture({PixelFormat::BGRA8Unorm, kSide, kSide, TextureUsageRenderTarget},
                             PixelBuffer::create(kSide, kSide, kPixelFormat32BGRA));
    auto library = f.device->newDefaultLibrary();
    RenderPipelineDescriptor d;
    d.vertexFunction = library->newFunction("quad_vertex");
    d.fragmentFunction = library->newFunction("composite_fragment");
    auto cb = f.queue->commandBuffer();
    auto* enc = cb->renderCommandEncoder({out, LoadAction::DontCare});
    enc->setRenderPipelineState(f.device->newRenderPipelineState(d));
    enc->setVertexBytes(kFullQuad.data(), sizeof(kFullQuad), 0);
    const float block = premultiplied ? 1.0f : 0.0f;
    enc->setFragmentBytes(&block, sizeof(block), 0);
    enc->setFragmentTexture(program, 0);
    enc->setFragmentTexture(keyer, 1);
    enc->drawPrimitives(PrimitiveType::TriangleStrip, 0, 4);
    enc->endEncoding();
    cb->commit();
    cb->waitUntilCompleted();
    return ReuseFixture::pixels(*out);
}

TEST(CompositeAtRestTest, FramesAtRestAreTheFramesComposedAfreshUntilSomethingChanges) {
    ReuseFixture f;
    const auto program = f.target(), keyer = f.target();
    struct Step {
        float keyerOpacity;
        bool premultiplied;
        int frames;  // in a row: the second keeps the result, the third copies it
    };
    for (const Step& step : {Step{0.5f, false, 3}, Step{0.75f, false, 3}, Step{0.75f, true, 3},
                             Step{0.5f, false, 2}}) {
        ReuseFixture fresh;
        const auto want = compositeFrame(fresh, fresh.target(), fresh.target(), step.keyerOpacity,
                                         step.premultiplied);
        for (int i = 0; i < step.frames; ++i)
            ASSERT_EQ(compositeFrame(f, program, keyer, step.keyerOpacity, step.premultiplied),
                      want)
                << step.keyerOpacity << " " << step.premultiplied << " frame " << i;
    }
}

TEST(CompositeAtRestTest, AStillDrawnOntoOutputFramesAtRestIsTheStillDrawnAfresh) {
    ReuseFixture f;
    const auto still = f.still();
    auto frame = [&](ReuseFixture& g, const std::shared_ptr<Texture>& src, float opacity) {
        auto out =
            g.device->newTexture({PixelFormat::BGRA8Unorm, kSide, kSide, TextureUsageRenderTarget},
                                 PixelBuffer::create(kSide, kSide, kPixelFormat32BGRA));
        g.draw(out, src, kTurned, opacity, false);
        return ReuseFixture::pixels(*out);
    };
    for (int step = 0; step < 3; ++step) {
        if (step == 2) {  // the same texture uploaded with other pixels
            f.picture[5] ^= 0x00ff00ffu;
            still->replaceRegion(f.picture.data(), kSide * 4);
        }
        const float opacity = step == 0 ? 0.5f : 0.75f;
        ReuseFixture fresh;
        fresh.picture = f.picture;
        const auto want = frame(fresh, fresh.still(), opacity);
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(frame(f, still, opacity), want) << "step " << step << " frame " << i;
    }
}

// The same frame with both layer passes and the composite in one command buffer, as the
// canvas engine encodes it; the output's pixels. With `shownProgram`, the program layer is also
// drawn 1:1 onto a second output in that buffer, whose pixels go there; with
// `keyerOverProgram`, a second pass draws the keyer still over the program layer first.
std::vector<uint32_t> frameInOneBuffer(ReuseFixture& f, const std::shared_ptr<Texture>& program,
                                       const std::shared_ptr<Texture>& keyer, float programOpacity,
                                       float keyerOpacity,
                                       std::vector<uint32_t>* shownProgram = nullptr,
                                       bool keyerOverProgram = false) {
    makeStills(f);
    auto library = f.device->newDefaultLibrary();
    RenderPipelineDescriptor d;
    d.vertexFunction = library->newFunction("quad_vertex");
    d.fragmentFunction = library->newFunction("composite_fragment");
    const auto composite = f.device->newRenderPipelineState(d);
    auto output = [&] {
        return f.device->newTexture(
            {PixelFormat::BGRA8Unorm, kSide, kSide, TextureUsageRenderTarget},
            PixelBuffer::create(kSide, kSide, kPixelFormat32BGRA));
    };
    auto out = output(), shown = output();
    auto cb = f.queue->commandBuffer();
    auto layer = [&](const std::shared_ptr<Texture>& into, const std::shared_ptr<Texture>& src,
                     const Corners& corners, float opacity, bool reusable, bool load = false) {
        RenderPassDescriptor pass;
        pass.texture = into;
        pass.reusable = reusable;
        pass.loadAction = load ? LoadAction::Load : LoadAction::Clear;
        auto* enc = cb->renderCommandEncoder(pass);
        enc->setRenderPipelineState(f.canvas);
        const float block[4] = {opacity, 1, 0, 0};
        enc->setFragmentBytes(block, sizeof(block), 0);
        enc->setFragmentTexture(src, 0);
        enc->setVertexBytes(corners.data(), sizeof(corners), 0);
        enc->drawPrimitives(PrimitiveType::TriangleStrip, 0, 4);
        enc->endEncoding();
    };
    layer(program, f.programStill, kTurned, programOpacity, true);
    if (keyerOverProgram) layer(program, f.keyerStill, kFullQuad, 1, false, true);
    layer(keyer, f.keyerStill, kFullQuad, keyerOpacity, true);
    auto* enc = cb->renderCommandEncoder({out, LoadAction::DontCare});
    enc->setRenderPipelineState(composite);
    enc->setVertexBytes(kFullQuad.data(), sizeof(kFullQuad), 0);
    const float block = 0;
    enc->setFragmentBytes(&block, sizeof(block), 0);
    enc->setFragmentTexture(program, 0);
    enc->setFragmentTexture(keyer, 1);
    enc->drawPrimitives(PrimitiveType::TriangleStrip, 0, 4);
    enc->endEncoding();
    if (shownProgram != nullptr) layer(shown, program, kFullQuad, 1, false);
    cb->commit();
    cb->waitUntilCompleted();
    if (shownProgram != nullptr) *shownProgram = ReuseFixture::pixels(*shown);
    return ReuseFixture::pixels(*out);
}

TEST(LayerInMotionTest, FramesInOneBufferAreTheFramesComposedStepByStep) {
    ReuseFixture f;
    const auto program = f.target(), keyer = f.target();
    struct Frame {
        float programOpacity, keyerOpacity;
    };
    // Program in motion, then at rest (drawn inside the composite, then stored, then kept),
    // then the keyer in motion over a program at rest, then both, then both at rest.
    const Frame frames[] = {{0.5f, 0.6f}, {0.6f, 0.6f}, {0.7f, 0.6f}, {0.7f, 0.6f},
                            {0.7f, 0.6f}, {0.7f, 0.6f}, {0.7f, 0.3f}, {0.7f, 0.4f},
                            {0.2f, 0.5f}, {0.3f, 0.6f}, {0.3f, 0.6f}, {0.3f, 0.6f}};
    int i = 0;
    for (const Frame& frame : frames) {
        ReuseFixture fresh;
        const auto want = compositeFrame(fresh, fresh.target(), fresh.target(), frame.keyerOpacity,
                                         false, frame.programOpacity);
        ASSERT_EQ(frameInOneBuffer(f, program, keyer, frame.programOpacity, frame.keyerOpacity),
                  want)
            << "frame " << i++;
    }
}

TEST(LayerInMotionTest, ALayerTwoPassesDrawIsComposedWithBoth) {
    ReuseFixture f;
    const auto program = f.target(), keyer = f.target();
    for (float opacity : {0.5f, 0.6f}) {
        ReuseFixture fresh;  // a second reader of the program layer has it stored
        std::vector<uint32_t> shown;
        const auto want =
            frameInOneBuffer(fresh, fresh.target(), fresh.target(), opacity, 0.5f, &shown, true);
        EXPECT_EQ(frameInOneBuffer(f, program, keyer, opacity, 0.5f, nullptr, true), want);
    }
}

TEST(LayerInMotionTest, ALayerAnotherPassReadsIsStored) {
    ReuseFixture f;
    const auto program = f.target(), keyer = f.target();
    for (float opacity : {0.5f, 0.6f, 0.7f}) {
        ReuseFixture fresh;
        const auto layer = fresh.target(), shown = fresh.target();
        fresh.draw(layer, fresh.still(), kTurned, opacity, false);
        fresh.draw(shown, layer, kFullQuad, 1, false);
        std::vector<uint32_t> got;
        frameInOneBuffer(f, program, keyer, opacity, 0.5f, &got);
        ASSERT_EQ(got, ReuseFixture::pixels(*shown)) << opacity;
    }
}

// A still with wholly transparent rows (colour bytes set, alpha 0) around a row with a single
// barely visible pixel, drawn as a layer in every mode at several placements, frame after frame:
// every frame equals the same draw from a texture whose content is not tracked (whose rows are
// therefore never known to be transparent), on the active kernel table.
TEST(LayerInMotionTest, AStillsTransparentRowsGiveTheBytesOfAFullDraw) {
    ReuseFixture f;
    std::vector<uint32_t> px(kSide * kSide);
    uint32_t seed = 12345;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const bool clear = y < 6 || (y >= 7 && y < 10) || y == 12;
            uint32_t v = seed & 0x00ffffffu;
            if (!clear) v |= (seed >> 24 | 1) << 24;
            if (y == 6) v = x == 9 ? 0x01020304u : 0x00ffffffu;
            px[size_t(y) * kSide + size_t(x)] = v;
        }
    auto upload = [&](uint32_t usage) {
        auto t = f.device->newTexture(
            {PixelFormat::BGRA8Unorm, kSide, kSide, usage, StorageMode::Managed});
        t->replaceRegion(px.data(), kSide * 4);
        return t;
    };
    const auto tracked = upload(TextureUsageShaderRead);
    const auto untracked = upload(TextureUsageShaderRead | TextureUsageShaderWrite);
    ASSERT_TRUE(tracked->contentIsTracked());
    ASSERT_FALSE(untracked->contentIsTracked());
    const Corners placements[] = {
        kFullQuad,
        {Float2{-0.8f, -1.3f}, Float2{1.1f, -1.3f}, Float2{-0.8f, 1.2f}, Float2{1.1f, 1.2f}},
        {Float2{-0.6f, -0.45f}, Float2{0.7f, -0.45f}, Float2{-0.6f, 0.55f}, Float2{0.7f, 0.55f}},
        {Float2{-1, 1}, Float2{1, 1}, Float2{-1, -1}, Float2{1, -1}},  // upside down
        {Float2{-1, -0.75f}, Float2{1, -0.75f}, Float2{-1, 1.25f}, Float2{1, 1.25f}},
        kTurned,
    };
    auto draw = [&](const std::shared_ptr<Texture>& src, const Corners& corners,
                    const float block[4]) {
        const auto into = f.target();
        auto cb = f.queue->commandBuffer();
        RenderPassDescriptor pass;
        pass.texture = into;
        auto* enc = cb->renderCommandEncoder(pass);
        enc->setRenderPipelineState(f.canvas);
        enc->setFragmentBytes(block, 4 * sizeof(float), 0);
        enc->setFragmentTexture(src, 0);
        enc->setVertexBytes(corners.data(), sizeof(corners), 0);
        enc->drawPrimitives(PrimitiveType::TriangleStrip, 0, 4);
        enc->endEncoding();
        cb->commit();
        cb->waitUntilCompleted();
        return ReuseFixture::pixels(*into);
    };
    int placement = 0;
    for (const Corners& corners : placements) {
        for (int mode = 0; mode < 8; ++mode) {
            const float block[4] = {mode & 1 ? 0.7f : 1.0f, mode & 2 ? 1.0f : 0.0f,
                                    mode & 4 ? 1.0f : 0.0f, 0};
            const auto want = draw(untracked, corners, block);
            for (int frame = 0; frame < 3; ++frame)
                ASSERT_EQ(draw(tracked, corners, block), want)
                    << "placement " << placement << " mode " << mode << " frame " << frame;
        }
        ++placement;
    }
}

TEST(CopyBytesTest, GivesTheSourceBytesAtEverySizeAndAlignment) {
    // Sizes below, at and above the vector and streaming thresholds, with misaligned ends.
    const size_t sizes[] = {0, 1, 4095, 4096, 4097 + 31, 100000 + 5, (size_t(1) << 20) + 77};
    std::vector<uint8_t> src((size_t(1) << 20) + 256), dst(src.size());
    for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 131 + (i >> 9));
    for (size_t n : sizes) {
        for (size_t offset : {size_t(0), size_t(3), size_t(29)}) {
            for (bool stream : {false, true}) {
                std::fill(dst.begin(), dst.end(), uint8_t(0xee));
                if (stream) {
                    streamBytes(dst.data() + offset, src.data() + 7, n);
                    streamFence();
                } else {
                    copyBytes(dst.data() + offset, src.data() + 7, n);
                }
                ASSERT_EQ(std::memcmp(dst.data() + offset, src.data() + 7, n), 0)
                    << n << " at " << offset << (stream ? " streamed" : "");
                ASSERT_EQ(dst[offset + n], 0xee) << "wrote past the end: " << n;
                if (offset > 0) {
                    ASSERT_EQ(dst[offset - 1], 0xee) << "wrote before the start: " << n;
                }
            }
        }
    }
}

}  // namespace
}  // namespace velmar::gpu
