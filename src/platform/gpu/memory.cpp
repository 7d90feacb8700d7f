#include "platform/gpu/memory.h"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace velmar::gpu {

std::shared_ptr<uint8_t> allocateAligned(size_t bytes) {
    if (bytes == 0) return {};
    const size_t rounded = (bytes + 63) / 64 * 64;
    void* p = std::aligned_alloc(64, rounded);
    if (p == nullptr) return {};
    std::memset(p, 0, rounded);
    return std::shared_ptr<uint8_t>(static_cast<uint8_t*>(p), [](uint8_t* q) { std::free(q); });
}

#if defined(__x86_64__)

namespace {

constexpr size_t kSmall = 4096;              // below this, memcpy
constexpr size_t kStream = size_t(1) << 20;  // from this size on, non-temporal stores

// Bytes up to the next 32-byte boundary of the destination, copied plainly so that the body
// can use aligned (and non-temporal) stores.
size_t headBytes(const uint8_t* d) {
    return (32 - (reinterpret_cast<uintptr_t>(d) & 31)) & 31;
}

__attribute__((target("avx2"))) void copyAvx2(uint8_t* d, const uint8_t* s, size_t n, bool stream,
                                              bool fence) {
    const size_t head = headBytes(d);
    std::memcpy(d, s, head);
    d += head;
    s += head;
    n -= head;
    const size_t body = n & ~size_t(127);
    if (stream) {
        for (size_t i = 0; i < body; i += 128) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 32));
            const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 64));
            const __m256i e = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 96));
            _mm256_stream_si256(reinterpret_cast<__m256i*>(d + i), a);
            _mm256_stream_si256(reinterpret_cast<__m256i*>(d + i + 32), b);
            _mm256_stream_si256(reinterpret_cast<__m256i*>(d + i + 64), c);
            _mm256_stream_si256(reinterpret_cast<__m256i*>(d + i + 96), e);
        }
        if (fence) _mm_sfence();  // the streamed bytes are visible before anyone is told of them
    } else {
        for (size_t i = 0; i < body; i += 128) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 32));
            const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 64));
            const __m256i e = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 96));
            _mm256_store_si256(reinterpret_cast<__m256i*>(d + i), a);
            _mm256_store_si256(reinterpret_cast<__m256i*>(d + i + 32), b);
            _mm256_store_si256(reinterpret_cast<__m256i*>(d + i + 64), c);
            _mm256_store_si256(reinterpret_cast<__m256i*>(d + i + 96), e);
        }
    }
    std::memcpy(d + body, s + body, n - body);
}

void copySse2(uint8_t* d, const uint8_t* s, size_t n, bool stream, bool fence) {
    const size_t head = headBytes(d);
    std::memcpy(d, s, head);
    d += head;
    s += head;
    n -= head;
    const size_t body = n & ~size_t(63);
    for (size_t i = 0; i < body; i += 64) {
        __m128i v[4];
        for (int k = 0; k < 4; ++k)
            v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 16 * k));
        for (int k = 0; k < 4; ++k) {
            auto* p = reinterpret_cast<__m128i*>(d + i + 16 * k);
            if (stream)
                _mm_stream_si128(p, v[k]);
            else
                _mm_store_si128(p, v[k]);
        }
    }
    if (stream && fence) _mm_sfence();
    std::memcpy(d + body, s + body, n - body);
}

void copy(void* destination, const void* source, size_t n, bool stream, bool fence) {
    auto* d = static_cast<uint8_t*>(destination);
    const auto* s = static_cast<const uint8_t*>(source);
    if (n < kSmall) {
        if (n > 0) std::memcpy(d, s, n);
        return;
    }
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2)
        copyAvx2(d, s, n, stream, fence);
    else
        copySse2(d, s, n, stream, fence);
}

}  // namespace

void copyBytes(void* destination, const void* source, size_t n) {
    copy(destination, source, n, n >= kStream, true);
}

void streamBytes(void* destination, const void* source, size_t n) {
    copy(destination, source, n, true, false);
}

void streamFence() {
    _mm_sfence();
}

#else

void copyBytes(void* destination, const void* source, size_t n) {
    if (n > 0) std::memcpy(destination, source, n);
}

void streamBytes(void* destination, const void* source, size_t n) {
    if (n > 0) std::memcpy(destination, source, n);
}

void streamFence() {}

#endif

}  // namespace velmar::gpu
