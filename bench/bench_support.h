#pragma once

// Helpers shared by the compositing benchmarks.
#include "platform/gpu/device.h"
#include "platform/gpu/thread_pool.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

namespace velmar::bench {

// A benchmark argument of 0 means every core.
inline int threadsFor(int64_t arg) {
    return arg > 0 ? int(arg) : int(std::thread::hardware_concurrency());
}

// memcpy of one frame's bytes in row bands on the device's pool, seconds per frame: the bound
// a compositing pass is compared with.
inline double memcpySeconds(gpu::Device& device, const uint8_t* src, uint8_t* dst, size_t bytes) {
    const int bands = 64;
    auto body = [&](int b) {
        const size_t a = bytes * size_t(b) / bands, e = bytes * size_t(b + 1) / bands;
        std::memcpy(dst + a, src + a, e - a);
    };
    for (int i = 0; i < 5; ++i) device.pool().run(bands, body);
    const int n = 40;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) device.pool().run(bands, body);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / n;
}

}  // namespace velmar::bench
