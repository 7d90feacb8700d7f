// Copying one frame (1920 x 1080 and 3840 x 2160 BGRA) on one thread: the C library's memcpy
// beside gpu::copyBytes (wide loads, non-temporal stores), the copy the frame path uses; and
// the same frame row by row (as blits copy it), memcpy beside gpu::streamBytes.
// The time column is per copy; bytes_per_second the rate.
#include "platform/gpu/memory.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

void runCopy(benchmark::State& state, bool ours, bool rows = false) {
    const size_t height = size_t(state.range(0)), rowBytes = height * 16 / 9 * 4;
    const size_t bytes = height * rowBytes;
    const auto src = velmar::gpu::allocateAligned(bytes), dst = velmar::gpu::allocateAligned(bytes);
    std::memset(src.get(), 7, bytes);
    for (auto _ : state) {
        if (rows) {
            for (size_t y = 0; y < height; ++y) {
                if (ours)
                    velmar::gpu::streamBytes(dst.get() + y * rowBytes, src.get() + y * rowBytes,
                                             rowBytes);
                else
                    std::memcpy(dst.get() + y * rowBytes, src.get() + y * rowBytes, rowBytes);
            }
            if (ours) velmar::gpu::streamFence();
        } else if (ours) {
            velmar::gpu::copyBytes(dst.get(), src.get(), bytes);
        } else {
            std::memcpy(dst.get(), src.get(), bytes);
        }
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
void BM_MemcpyRows(benchmark::State& state) {
    runCopy(state, false, true);
}
void BM_StreamRows(benchmark::State& state) {
    runCopy(state, true, true);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(1080)->Arg(2160)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyBytes)->Arg(1080)->Arg(2160)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyRows)->Arg(1080)->Arg(2160)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamRows)->Arg(1080)->Arg(2160)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
