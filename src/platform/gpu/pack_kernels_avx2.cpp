// AVX2 forms of the packing rows. Only these functions carry the AVX2 target, and they run
// only when the processor reports AVX2. The arithmetic is the integer arithmetic of the
// portable rows (16-bit products summed in 32 bits), so the words are the same; the first and
// last pixels of a row, whose neighbours repeat the edge, go through the scalar code.
#include "platform/gpu/pack_kernels.h"
#include "platform/gpu/pack_kernels_scalar.h"

#include <immintrin.h>

#include <cstring>

#define VELMAR_AVX2 __attribute__((target("avx2")))
#define VELMAR_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace velmar::gpu::pack {

namespace {

using scalar::kShift;

uint32_t pair16(int16_t lo, int16_t hi) {
    return uint32_t(uint16_t(lo)) | uint32_t(uint16_t(hi)) << 16;
}

struct Constants {
    __m256i yBR, yG, cBR, cG;
};

VELMAR_AVX2_INLINE Constants constants(const Coefficients& c) {
    Constants k;
    // Pixels split into 16-bit halves: (B, R) and (G, A); madd multiplies and adds the pair.
    k.yBR = _mm256_set1_epi32(int(pair16(c.yB, c.yR)));
    k.yG = _mm256_set1_epi32(int(pair16(c.yG, 0)));
    const int cb = int(pair16(c.cbB, c.cbR)), cr = int(pair16(c.crB, c.crR));
    k.cBR = _mm256_setr_epi32(cb, cr, cb, cr, cb, cr, cb, cr);
    const int cbg = int(pair16(c.cbG, 0)), crg = int(pair16(c.crG, 0));
    k.cG = _mm256_setr_epi32(cbg, crg, cbg, crg, cbg, crg, cbg, crg);
    return k;
}

VELMAR_AVX2_INLINE __m256i clampCodes(__m256i v) {
    return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_set1_epi32(4)), _mm256_set1_epi32(1019));
}

// Pixels p[0..7] (p[-1] and p[8] must be readable; p at an even pixel): Y' of each, and the
// chroma each carries (Cb of its pair on even lanes, Cr on odd lanes).
VELMAR_AVX2_INLINE void convert8(const uint32_t* p, const Constants& k, __m256i& y, __m256i& c,
                                 __m256i& pixels) {
    const __m256i mask = _mm256_set1_epi32(0x00ff00ff);
    const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - 1));
    const __m256i o = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i n = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i br = _mm256_and_si256(o, mask), ga = _mm256_srli_epi16(o, 8);
    y = _mm256_add_epi32(_mm256_madd_epi16(br, k.yBR), _mm256_madd_epi16(ga, k.yG));
    y = _mm256_add_epi32(y, _mm256_set1_epi32((64 << kShift) + (1 << (kShift - 1))));
    y = clampCodes(_mm256_srai_epi32(y, kShift));
    // [1 2 1] sums of every pixel, then the even pixel's sums copied to its odd neighbour.
    __m256i brs =
        _mm256_add_epi16(_mm256_add_epi16(_mm256_and_si256(m, mask), _mm256_and_si256(n, mask)),
                         _mm256_add_epi16(br, br));
    __m256i gas =
        _mm256_add_epi16(_mm256_add_epi16(_mm256_srli_epi16(m, 8), _mm256_srli_epi16(n, 8)),
                         _mm256_add_epi16(ga, ga));
    brs = _mm256_shuffle_epi32(brs, 0xA0);
    gas = _mm256_shuffle_epi32(gas, 0xA0);
    c = _mm256_add_epi32(_mm256_madd_epi16(brs, k.cBR), _mm256_madd_epi16(gas, k.cG));
    c = _mm256_add_epi32(c, _mm256_set1_epi32((512 << (kShift + 2)) + (1 << (kShift + 1))));
    c = clampCodes(_mm256_srai_epi32(c, kShift + 2));
    pixels = o;
}

VELMAR_AVX2_INLINE __m256i keys(__m256i pixels) {
    const __m256i a = _mm256_srli_epi32(pixels, 24);
    __m256i key = _mm256_slli_epi32(a, 2);
    // round(a * 1023 / 255) = 4a + (a >= 43) + (a >= 128) + (a >= 213); a true compare is -1.
    key = _mm256_sub_epi32(key, _mm256_cmpgt_epi32(a, _mm256_set1_epi32(42)));
    key = _mm256_sub_epi32(key, _mm256_cmpgt_epi32(a, _mm256_set1_epi32(127)));
    key = _mm256_sub_epi32(key, _mm256_cmpgt_epi32(a, _mm256_set1_epi32(212)));
    return key;
}

VELMAR_AVX2 void ay10RowAvx2(const uint32_t* src, int width, int units, const Coefficients& c,
                             uint32_t* dst) {
    if (units <= 0) return;
    const Constants k = constants(c);
    // Unit 0 has pixel 0, whose left neighbour repeats it: scalar. Then eight pixels at a time
    // while the right neighbour of the eighth is inside the row.
    scalar::ay10Units(src, width, 0, 1, c, dst);
    int x = 2;
    const long long end = std::min<long long>(2LL * units, width - 1LL);
    for (; x + 8 <= end; x += 8) {
        __m256i y, ch, px;
        convert8(src + x, k, y, ch, px);
        const __m256i w = _mm256_or_si256(_mm256_or_si256(y, _mm256_slli_epi32(ch, 10)),
                                          _mm256_slli_epi32(keys(px), 20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), w);
    }
    scalar::ay10Units(src, width, x / 2, units, c, dst);
}

// Two v210 groups (lane 0 the first, lane 1 the second) from 24 samples at s.
VELMAR_AVX2_INLINE __m256i v210Groups2(const uint16_t* s) {
    const __m256i a = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(s + 12),
                                          reinterpret_cast<const __m128i*>(s));
    const __m256i b = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(s + 16),
                                          reinterpret_cast<const __m128i*>(s + 4));
    // Word k takes samples 3k, 3k + 1, 3k + 2: the outer two into the 16-bit halves of t1,
    // the middle one into the low half of t2. a holds samples 0-7, b samples 4-11.
    const __m256i outerA =
        _mm256_setr_epi8(0, 1, 4, 5, 6, 7, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 4, 5, 6, 7,
                         10, 11, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i outerB =
        _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 8, 9, 10, 11, 14, 15, -1, -1, -1, -1,
                         -1, -1, -1, -1, 4, 5, 8, 9, 10, 11, 14, 15);
    const __m256i middleA =
        _mm256_setr_epi8(2, 3, -1, -1, 8, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 3, -1, -1,
                         8, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i middleB =
        _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 6, 7, -1, -1, 12, 13, -1, -1, -1, -1, -1,
                         -1, -1, -1, -1, -1, 6, 7, -1, -1, 12, 13, -1, -1);
    const __m256i t1 =
        _mm256_or_si256(_mm256_shuffle_epi8(a, outerA), _mm256_shuffle_epi8(b, outerB));
    const __m256i t2 =
        _mm256_or_si256(_mm256_shuffle_epi8(a, middleA), _mm256_shuffle_epi8(b, middleB));
    // Low half times 1, high half times 16: the third sample lands at bit 20.
    const __m256i placed = _mm256_mullo_epi16(t1, _mm256_set1_epi32(0x00100001));
    return _mm256_or_si256(placed, _mm256_slli_epi32(t2, 10));
}

constexpr int kChunkGroups = 64;  // 384 pixels of samples on the stack per step

VELMAR_AVX2 void v210RowAvx2(const uint32_t* src, int width, int units, const Coefficients& c,
                             uint32_t* dst) {
    if (units <= 0) return;
    const Constants k = constants(c);
    const int used = std::min(units, (width + 5) / 6);  // groups that hold picture
    alignas(32) uint32_t samples[kChunkGroups * 6 + 8];
    const auto* s16 = reinterpret_cast<const uint16_t*>(samples);
    for (int g0 = 0; g0 < used; g0 += kChunkGroups) {
        const int g1 = std::min(used, g0 + kChunkGroups);
        const int x0 = 6 * g0, x1 = 6 * g1;
        // Samples of pixels [x0, x1): vectors where both neighbours are inside the row.
        const int vecEnd = std::min(x1, width - 1);
        int x = x0;
        for (; x < std::min(2, x1); ++x) samples[x - x0] = scalar::sample(src, width, x, c);
        for (; x + 8 <= vecEnd; x += 8) {
            __m256i y, ch, px;
            convert8(src + x, k, y, ch, px);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(samples + (x - x0)),
                                _mm256_or_si256(ch, _mm256_slli_epi32(y, 16)));
        }
        for (; x < x1; ++x) samples[x - x0] = scalar::sample(src, width, x, c);
        int g = g0;
        for (; g + 2 <= g1; g += 2)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * g),
                                v210Groups2(s16 + 12 * (g - g0)));
        for (; g < g1; ++g) scalar::v210Group(s16 + 12 * (g - g0), dst + 4 * g);
    }
    if (units > used) std::memset(dst + 4 * used, 0, size_t(units - used) * 16);
}

const PackTable kAvx2{"avx2", v210RowAvx2, ay10RowAvx2};

}  // namespace

const PackTable* avx2() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported ? &kAvx2 : nullptr;
}

}  // namespace velmar::gpu::pack
