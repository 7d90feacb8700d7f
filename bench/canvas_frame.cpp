// One full SDI output frame at 1920 x 1080 through the canvas engine: the program still placed
// by a motion at part presence with the clip's own rotation and scale, the keyer still shrunk to
// fit and at a partial level over it, composited, into a shared pixel buffer, waited for. Beside it the
// memcpy of the same frame's bytes on as many threads (the bound any pass over the frame is
// held to). Runs on 1, 2 and all threads of the device's pool. Counters: ms per frame,
// "x_memcpy" (frame time / memcpy time), and allocations per frame once the targets exist.
#include "allocation_counter.h"
#include "bench_support.h"
#include "canvas/canvas_engine.h"
#include "platform/gpu/device.h"
#include "platform/gpu/thread_pool.h"
#include "render/still_texture_cache.h"

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

using velmar::bench::memcpySeconds;
using velmar::bench::threadsFor;

constexpr int W = 1920, H = 1080;

ImageRef makeStill(bool keyer, int w, int h) {
    QImage img(w, h, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < h; ++y) {
        uchar* p = img.scanLine(y);
        for (int x = 0; x < w; ++x, p += 4) {
            int a = 255;
            if (keyer) {  // a lower-third graphic: transparent above, soft-edged bands below
                a = y < h * 2 / 3 ? 0 : std::min(255, ((x / 40 + y / 30) % 3) * 128);
            }
            p[0] = uchar(((x * 7 + y) & 255) * a / 255);
            p[1] = uchar(((x + y * 3) & 255) * a / 255);
            p[2] = uchar(((x ^ y) & 255) * a / 255);
            p[3] = uchar(a);
        }
    }
    return std::make_shared<const QImage>(img);
}

void BM_CanvasOutputFrame(benchmark::State& state) {
    const int threads = threadsFor(state.range(0));
    auto device = gpu::Device::create(threads);

    OutputState s;
    s.canvas = CanvasFormat{W, H, "1080"};
    s.media = PlayoutMedia::still(makeStill(false, W, H));
    s.motion = MotionKind::rotate;
    s.entering = true;
    s.transform.rotation = 7;
    s.transform.scale = 0.9;
    s.transform.offsetX = 0.03;
    s.keyAlphaMode = KeyAlphaMode::straight;
    const OutputSnapshot snapshot{std::make_shared<const OutputState>(s), 0.8};
    DSKController::Snapshot keyer;
    // Larger than the canvas, so the keyer is shrunk to fit (sampled, not copied 1:1).
    keyer.media = PlayoutMedia::still(makeStill(true, 2400, 1350));
    keyer.from = keyer.to = 0.8;

    CanvasEngine::Sources sources;
    sources.outputState = [&] { return snapshot; };
    sources.keyerSnapshot = [&] { return keyer; };
    sources.frameRate = [] { return FrameRate{}; };
    StillTextureCache cache;
    CanvasEngine::Options options;
    options.device = device;
    options.stillCache = &cache;
    auto canvas = CanvasEngine::create(std::move(sources), options);
    canvas->setDeckLinkClock(true, 1001.0 / 60000);
    auto target = canvas->renderer()->makeSharedRenderTarget(W, H);

    std::vector<uint8_t> a(size_t(W) * H * 4, 1), b(a.size());
    const double copy = memcpySeconds(*device, a.data(), b.data(), a.size());
    for (int i = 0; i < 3; ++i) canvas->renderOutputFrame(target->texture);  // targets, pools
    long allocations = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const long before = gAllocations.load();
        if (!canvas->renderOutputFrame(target->texture)) state.SkipWithError("frame failed");
        allocations += gAllocations.load() - before;
    }
    const double perFrame =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / double(state.iterations());
    state.counters["ms"] = perFrame * 1e3;
    state.counters["memcpy_ms"] = copy * 1e3;
    state.counters["x_memcpy"] = perFrame / copy;
    state.counters["allocs_per_frame"] = double(allocations) / double(state.iterations());
    state.SetLabel(std::to_string(threads) + " threads");
}

}  // namespace

BENCHMARK(BM_CanvasOutputFrame)->Arg(1)->Arg(2)->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
