// The memory bound of a composited frame on its own: two frames read and one written with
// 32-byte loads and non-temporal stores (bench_support.h), at 1920 x 1080 and 3840 x 2160 BGRA,
// on 1 thread and on every core of the affinity mask. The compositing benchmarks measure the
// same bound beside each of their runs and print their time as a multiple of it ("x_bound").
// Counters: ms per frame and GB/s moved (three frames' bytes per frame).
#include "bench_support.h"
#include "platform/gpu/device.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// Arguments: threads (0 = the affinity mask), frame height.
void BM_FrameBound(benchmark::State& state) {
    const int threads = velmar::bench::threadsFor(state.range(0));
    const int h = int(state.range(1)), w = h * 16 / 9;
    const size_t bytes = size_t(w) * size_t(h) * 4;
    auto device = velmar::gpu::Device::create(threads);
    double seconds = 0;
    for (auto _ : state) seconds = velmar::bench::boundSeconds(*device, bytes);
    state.counters["ms"] = seconds * 1e3;
    state.counters["GB_per_s"] = 3.0 * double(bytes) / seconds * 1e-9;
    state.SetLabel(std::to_string(h) + "p, " + std::to_string(threads) + " threads");
}

}  // namespace

BENCHMARK(BM_FrameBound)
    ->ArgsProduct({{1, 0}, {1080, 2160}})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
