// Copying one frame (1920 x 1080 and 3840 x 2160 BGRA) on one thread: the C library's memcpy
// beside gpu::copyBytes (wide loads, non-temporal stores), the copy the frame path uses.
// The time column is per copy; bytes_per_second the rate.
#include "platform/gpu/memory.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

void runCopy(benchmark::State& state, bool ours) {
    const size_t bytes = size_t(state.range(0)) * size_t(state.range(0)) * 16 / 9 * 4;
    const auto src = velmar::gpu::allocateAligned(bytes), dst = velmar::gpu::allocateAligned(bytes);
    std::memset(src.get(), 7, bytes);
    for (auto _ : state) {
        if (ours)
            velmar::gpu::copyBytes(dst.get(), src.get(), bytes);
        else
            std::memcpy(dst.get(), src.get(), bytes);
        benchmark::DoNotOptimize(dst.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_Memcpy(benchmark::State& state) {
    runCopy(state, false);
}
void BM_CopyBytes(benchmark::State& state) {
    runCopy(state, true);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(1080)->Arg(2160)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyBytes)->Arg(1080)->Arg(2160)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
