// Composing one 1920 x 1080 frame on the CPU device, beside the memory bound of a composited
// frame (two frames read, one written; bench_support.h) on the same number of threads:
//   two layers, both rotated and scaled, composited (three passes: program, keyer, composite);
//   one identity layer (a full-frame still drawn 1:1, the common SDI case);
//   two identity layers composited.
// Each runs on 1, 2 and all threads. The layer passes are not marked reusable, so every frame
// draws every layer. Counters: ms per frame,
// bound_ms, "x_bound" (time / bound on as many threads), and allocations per frame once the
// targets exist.
#include "allocation_counter.h"
#include "bench_support.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/texture.h"
#include "platform/gpu/thread_pool.h"
#include "render/metal_renderer.h"

#include <QImage>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

using namespace velmar;

namespace {

using velmar::bench::boundSeconds;
using velmar::bench::threadsFor;

constexpr int W = 1920, H = 1080;

ImageRef makeStill(bool transparent) {
    QImage img(W, H, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < H; ++y) {
        uchar* p = img.scanLine(y);
        for (int x = 0; x < W; ++x, p += 4) {
            // A keyer-like picture: a transparent field with opaque shapes and soft edges.
            int a = 255;
            if (transparent) {
                const int band = (x / 40 + y / 30) % 4;
                a = band == 0 ? 255 : band == 1 ? 0 : band == 2 ? 0 : (x % 40) * 6;
                if (a > 255) a = 255;
            }
            p[0] = uchar(((x * 7 + y) & 255) * a / 255);
            p[1] = uchar(((x + y * 3) & 255) * a / 255);
            p[2] = uchar(((x ^ y) & 255) * a / 255);
            p[3] = uchar(a);
        }
    }
    return std::make_shared<const QImage>(img);
}

struct Scene {
    std::shared_ptr<MetalRenderer> renderer;
    std::shared_ptr<gpu::Texture> program, keyer;
    MetalRenderer::CanvasTarget final;

    explicit Scene(int threads) {
        renderer = MetalRenderer::create(gpu::Device::create(threads));
        program = renderer->makeTexture(makeStill(false));
        keyer = renderer->makeTexture(makeStill(true));
        final.ensure(QSizeF(W, H), renderer->device());
        final.layers().program.ensure(final.size, renderer->device());
        final.layers().dsk.ensure(final.size, renderer->device());
    }

    void layer(gpu::CommandBuffer& cb, const std::shared_ptr<gpu::Texture>& into,
               const std::shared_ptr<gpu::Texture>& src, const MotionTransform& m,
               bool premultOut) {
        const auto corners = MetalRenderer::corners(QSizeF(W, H), QSizeF(W, H), m);
        auto* enc = cb.renderCommandEncoder({into});
        enc->setRenderPipelineState(renderer->canvasPipeline());
        enc->setVertexBytes(corners.data(), sizeof(corners), 0);
        const float block[4] = {float(m.opacity), 1, premultOut ? 1.0f : 0.0f, 0};
        enc->setFragmentBytes(block, sizeof(block), 0);
        enc->setFragmentTexture(src, 0);
        enc->drawPrimitives(gpu::PrimitiveType::TriangleStrip, 0, 4);
        enc->endEncoding();
    }

    long allocations = 0;  // made while frames were being composed

    void frame(bool twoLayers, const MotionTransform& programPlace,
               const MotionTransform& keyerPlace) {
        const long before = gAllocations.load();
        frameBody(twoLayers, programPlace, keyerPlace);
        allocations += gAllocations.load() - before;
    }

    void frameBody(bool twoLayers, const MotionTransform& programPlace,
                   const MotionTransform& keyerPlace) {
        auto cb = renderer->commandQueue().commandBuffer();
        if (!twoLayers) {
            layer(*cb, final.texture, program, programPlace, false);
        } else {
            auto& layers = final.layers();
            layer(*cb, layers.program.texture, program, programPlace, false);
            layer(*cb, layers.dsk.texture, keyer, keyerPlace, false);
            gpu::RenderPassDescriptor pass{final.texture, gpu::LoadAction::DontCare};
            auto* enc = cb->renderCommandEncoder(pass);
            enc->setRenderPipelineState(renderer->compositePipeline());
            enc->setVertexBytes(MetalRenderer::fullTargetCorners.data(), 32, 0);
            const float block = 0;
            enc->setFragmentBytes(&block, 4, 0);
            enc->setFragmentTexture(layers.program.texture, 0);
            enc->setFragmentTexture(layers.dsk.texture, 1);
            enc->drawPrimitives(gpu::PrimitiveType::TriangleStrip, 0, 4);
            enc->endEncoding();
        }
        cb->commit();
        cb->waitUntilCompleted();
    }
};

void run(benchmark::State& state, bool twoLayers, const MotionTransform& p,
         const MotionTransform& k) {
    const int threads = threadsFor(state.range(0));
    Scene scene(threads);
    const double bound = boundSeconds(scene.renderer->device(), size_t(W) * H * 4);
    for (int i = 0; i < 3; ++i) scene.frame(twoLayers, p, k);  // warm up: pools, scratch
    scene.allocations = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) scene.frame(twoLayers, p, k);
    const double perFrame =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
        double(state.iterations());
    state.counters["ms"] = perFrame * 1e3;
    state.counters["bound_ms"] = bound * 1e3;
    state.counters["x_bound"] = perFrame / bound;
    state.counters["allocs_per_frame"] = double(scene.allocations) / double(state.iterations());
    state.SetLabel(std::to_string(threads) + " threads");
}

void BM_ComposeTwoLayersRotatedScaled(benchmark::State& state) {
    run(state, true, MotionTransform{0, 0, 0.02, -0.03, 0.9, 0.2, 1, 0, 0},
        MotionTransform{0, 0, -0.05, 0.04, 0.8, -0.15, 0.8, 0, 0});
}

void BM_ComposeOneIdentityLayer(benchmark::State& state) {
    run(state, false, {}, {});
}

void BM_ComposeTwoIdentityLayers(benchmark::State& state) {
    run(state, true, {}, {});
}

}  // namespace

BENCHMARK(BM_ComposeTwoLayersRotatedScaled)
    ->Arg(1)
    ->Arg(2)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeOneIdentityLayer)
    ->Arg(1)
    ->Arg(2)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComposeTwoIdentityLayers)
    ->Arg(1)
    ->Arg(2)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
