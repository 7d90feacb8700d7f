// One full SDI output frame through the canvas engine, at 1920 x 1080 and 3840 x 2160: the
// program still placed by a rotate motion with the clip's own rotation, scale and offset, the
// keyer still (larger than the canvas, so shrunk to fit) at a partial level over it,
// composited into a shared pixel buffer, waited for.
//   at rest: the same placement every frame (a still on air, the common case);
//   in motion: the motion's presence changes every frame, so the program is placed anew;
//   all moving: the keyer's level changes every frame as well (a keyer fade during a motion),
//   so both layers are drawn every frame.
// Beside it, measured in the same benchmark, the memory bound of a composited frame (two
// frames read, one written; bench_support.h) on as many threads. Runs on 1, 2 and all threads
// of the device's pool. Counters: ms per frame, bound_ms, "x_bound" (frame time / bound),
// "of_frame" (share of a 59.94 Hz frame period), allocations per frame, and "cpu_ms", the
// processor time of the whole process per frame (the work done, which on a loaded machine
// varies less than the wall-clock time).
#include "allocation_counter.h"
#include "bench_support.h"
#include "canvas/canvas_engine.h"
#include "platform/gpu/device.h"
#include "platform/gpu/thread_pool.h"
#include "render/still_texture_cache.h"

#include <QImage>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include <time.h>

using namespace velmar;

namespace {

using velmar::bench::boundSeconds;
using velmar::bench::threadsFor;

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

// Arguments: threads (0 = all), canvas height (1080 or 2160), moving (0 at rest, 1 the
// program, 2 both layers).
double processSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void BM_CanvasOutputFrame(benchmark::State& state) {
    const int threads = threadsFor(state.range(0));
    const int H = int(state.range(1)), W = H * 16 / 9;
    const int moving = int(state.range(2));
    auto device = gpu::Device::create(threads);

    OutputState s;
    s.canvas = CanvasFormat{W, H, QString::number(H)};
    s.media = PlayoutMedia::still(makeStill(false, W, H));
    s.motion = MotionKind::rotate;
    s.entering = true;
    s.transform.rotation = 7;
    s.transform.scale = 0.9;
    s.transform.offsetX = 0.03;
    s.keyAlphaMode = KeyAlphaMode::straight;
    OutputSnapshot snapshot{std::make_shared<const OutputState>(s), 0.8};
    DSKController::Snapshot keyer;
    keyer.media = PlayoutMedia::still(makeStill(true, W * 5 / 4, H * 5 / 4));
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

    const double bound = boundSeconds(*device, size_t(W) * size_t(H) * 4);
    for (int i = 0; i < 3; ++i) canvas->renderOutputFrame(target->texture);  // targets, pools
    long allocations = 0;
    int frame = 0;
    const double cpu0 = processSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (moving > 0) snapshot.opacity = 0.5 + 0.4 * double(++frame % 100) / 100;
        if (moving > 1) keyer.from = keyer.to = 0.7 + 0.2 * double(frame % 100) / 100;
        const long before = gAllocations.load();
        if (!canvas->renderOutputFrame(target->texture)) state.SkipWithError("frame failed");
        allocations += gAllocations.load() - before;
    }
    const double perFrame =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
        double(state.iterations());
    state.counters["cpu_ms"] = (processSeconds() - cpu0) / double(state.iterations()) * 1e3;
    state.counters["ms"] = perFrame * 1e3;
    state.counters["bound_ms"] = bound * 1e3;
    state.counters["x_bound"] = perFrame / bound;
    state.counters["of_frame"] = perFrame / (1001.0 / 60000);
    state.counters["allocs_per_frame"] = double(allocations) / double(state.iterations());
    state.SetLabel(std::to_string(H) + "p " +
                   (moving == 2   ? "all moving, "
                    : moving == 1 ? "in motion, "
                                  : "at rest, ") +
                   std::to_string(threads) + " threads");
}

void frameArguments(benchmark::internal::Benchmark* b) {
    for (int moving : {0, 1, 2})
        for (int height : {1080, 2160})
            for (int threads : {1, 2, 0}) b->Args({threads, height, moving});
}

}  // namespace

BENCHMARK(BM_CanvasOutputFrame)
    ->Apply(frameArguments)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
