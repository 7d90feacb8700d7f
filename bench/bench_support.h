#pragma once

// Helpers shared by the compositing benchmarks.
#include "platform/gpu/device.h"
#include "platform/gpu/memory.h"
#include "platform/gpu/thread_pool.h"

#include <immintrin.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>

namespace velmar::bench {

// A benchmark argument of 0 means every core the process may run on (its affinity mask, so
// that a run under taskset uses the cores it was given).
inline int threadsFor(int64_t arg) {
    return arg > 0 ? int(arg) : gpu::ThreadPool::usableCores();
}

// dst = avg(a, b) over [begin, end) (multiples of 128 bytes, dst 32-byte aligned): 32-byte
// loads, non-temporal stores.
__attribute__((target("avx2"))) inline void averageStream(const uint8_t* a, const uint8_t* b,
                                                          uint8_t* dst, size_t begin, size_t end) {
    for (size_t i = begin; i < end; i += 128) {
        for (size_t k = 0; k < 128; k += 32) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i + k));
            const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i + k));
            _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i + k), _mm256_avg_epu8(x, y));
        }
    }
    _mm_sfence();
}

// The memory bound of a composited frame: reading two frames of `bytes` and writing one (the
// least any frame made of two layers must move), with wide loads and non-temporal stores, in
// bands on the device's pool as wide as it is. Seconds per frame, the best of three runs of
// 20 frames. Every compositing benchmark prints its time as a multiple of this.
inline double boundSeconds(gpu::Device& device, size_t bytes) {
    bytes = (bytes + 127) / 128 * 128;
    const auto a = gpu::allocateAligned(bytes), b = gpu::allocateAligned(bytes),
               dst = gpu::allocateAligned(bytes);  // zero-filled: every page is touched
    std::memset(a.get(), 1, bytes);
    std::memset(b.get(), 3, bytes);
    const size_t units = bytes / 128;
    const int bands = device.threadCount() * 8;
    auto body = [&](int i) {
        const size_t s = units * size_t(i) / size_t(bands) * 128,
                     e = units * size_t(i + 1) / size_t(bands) * 128;
        averageStream(a.get(), b.get(), dst.get(), s, e);
    };
    for (int i = 0; i < 3; ++i) device.pool().run(bands, body);
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        const int n = 20;
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i) device.pool().run(bands, body);
        const double t =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / n;
        best = t < best ? t : best;
    }
    return best;
}

}  // namespace velmar::bench
