#include "platform/netvideo/frame_digest.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace velmar::netvideo {

namespace {

constexpr uint32_t kLaneFactor = 0x9E3779B1u;  // odd: a word's change never cancels in its lane
constexpr uint64_t kFoldFactor = 0x100000001B3ull;
constexpr size_t kBlock = 128;  // bytes per step: 32 words, one per lane

uint64_t fold(const uint32_t (&lanes)[32], uint64_t tail) {
    uint64_t h = 0xCBF29CE484222325ull ^ tail;
    for (uint32_t lane : lanes) h = (h ^ lane) * kFoldFactor;
    return h ^ (h >> 29);
}

// The bytes of a row after its last whole block, one by one.
uint64_t tailDigest(uint64_t t, const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) t = (t ^ bytes[i]) * kFoldFactor;
    return t;
}

template <bool kCopy>
uint64_t rowsPortable(uint8_t* d, const uint8_t* s, size_t rowBytes, size_t stride, int rows) {
    uint32_t lanes[32] = {};
    uint64_t tail = 0;
    const size_t body = rowBytes / kBlock * kBlock;
    for (int y = 0; y < rows; ++y, s += stride) {
        if constexpr (kCopy) {
            std::memcpy(d, s, rowBytes);
            d += rowBytes;
        }
        for (size_t i = 0; i < body; i += kBlock) {
            uint32_t words[32];
            std::memcpy(words, s + i, kBlock);
            for (int k = 0; k < 32; ++k) lanes[k] = lanes[k] * kLaneFactor + words[k];
        }
        tail = tailDigest(tail, s + body, rowBytes - body);
    }
    return fold(lanes, tail);
}

#if defined(__x86_64__)
template <bool kCopy>
__attribute__((target("avx2"))) uint64_t rowsAvx2(uint8_t* d, const uint8_t* s, size_t rowBytes,
                                                  size_t stride, int rows) {
    const __m256i factor = _mm256_set1_epi32(int(kLaneFactor));
    __m256i acc[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                      _mm256_setzero_si256()};
    uint64_t tail = 0;
    const size_t body = rowBytes / kBlock * kBlock;
    for (int y = 0; y < rows; ++y, s += stride) {
        // Rows starting on 16 bytes are stored past the cache: the writer thread reads them
        // much later, and streaming saves reading the destination in first.
        const bool stream = kCopy && (reinterpret_cast<uintptr_t>(d) & 15) == 0;
        for (size_t i = 0; i < body; i += kBlock) {
            for (int k = 0; k < 4; ++k) {
                const __m256i v =
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 32 * k));
                if constexpr (kCopy) {
                    auto* out = reinterpret_cast<__m128i*>(d + i + 32 * k);
                    if (stream) {
                        _mm_stream_si128(out, _mm256_castsi256_si128(v));
                        _mm_stream_si128(out + 1, _mm256_extracti128_si256(v, 1));
                    } else {
                        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
                    }
                }
                acc[k] = _mm256_add_epi32(_mm256_mullo_epi32(acc[k], factor), v);
            }
        }
        if constexpr (kCopy) {
            std::memcpy(d + body, s + body, rowBytes - body);
            d += rowBytes;
        }
        tail = tailDigest(tail, s + body, rowBytes - body);
    }
    if constexpr (kCopy) _mm_sfence();  // the streamed rows are complete before they are handed on
    uint32_t lanes[32];
    for (int k = 0; k < 4; ++k)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes + 8 * k), acc[k]);
    return fold(lanes, tail);
}

bool haveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

}  // namespace

uint64_t copyRowsWithDigest(uint8_t* destination, const uint8_t* source, size_t rowBytes,
                            size_t sourceStride, int rows) {
#if defined(__x86_64__)
    if (haveAvx2()) return rowsAvx2<true>(destination, source, rowBytes, sourceStride, rows);
#endif
    return rowsPortable<true>(destination, source, rowBytes, sourceStride, rows);
}

uint64_t digestRows(const uint8_t* source, size_t rowBytes, size_t sourceStride, int rows) {
#if defined(__x86_64__)
    if (haveAvx2()) return rowsAvx2<false>(nullptr, source, rowBytes, sourceStride, rows);
#endif
    return rowsPortable<false>(nullptr, source, rowBytes, sourceStride, rows);
}

}  // namespace velmar::netvideo
