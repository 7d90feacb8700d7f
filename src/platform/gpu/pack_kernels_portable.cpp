// The portable packing rows (SSE2 on x86-64, plain C++ elsewhere), the choice between them and the
// AVX2 rows, and the two compute kernels that run them over the lines of a dispatch.
#include "platform/gpu/kernels.h"
#include "platform/gpu/pack_kernels.h"
#include "platform/gpu/pack_kernels_scalar.h"
#include "platform/gpu/texture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmar::gpu::pack {

namespace {

#if defined(__SSE2__)

// SSE2 (every x86-64 processor has it): eight pixels at a time with the integer arithmetic of
// the scalar form, so the words are the same as the AVX2 rows'. Codes are clamped in 16 bits,
// where every intermediate code fits.
struct Sse2Constants {
    __m128i yBR, yG, cBR, cG;
};

uint32_t pair16(int16_t lo, int16_t hi) {
    return uint32_t(uint16_t(lo)) | uint32_t(uint16_t(hi)) << 16;
}

Sse2Constants sse2Constants(const Coefficients& c) {
    Sse2Constants k;
    // Pixels split into 16-bit halves: (B, R) and (G, A); madd multiplies and adds the pair.
    k.yBR = _mm_set1_epi32(int(pair16(c.yB, c.yR)));
    k.yG = _mm_set1_epi32(int(pair16(c.yG, 0)));
    const int cb = int(pair16(c.cbB, c.cbR)), cr = int(pair16(c.crB, c.crR));
    k.cBR = _mm_setr_epi32(cb, cr, cb, cr);
    const int cbg = int(pair16(c.cbG, 0)), crg = int(pair16(c.crG, 0));
    k.cG = _mm_setr_epi32(cbg, crg, cbg, crg);
    return k;
}

// Pixels p[0..3] (p[-1] and p[4] readable; p at an even pixel): Y' of each and the chroma each
// carries (Cb of its pair on even lanes, Cr on odd lanes), 32 bits each, not yet clamped.
inline void convert4(const uint32_t* p, const Sse2Constants& k, __m128i& y, __m128i& c) {
    const __m128i mask = _mm_set1_epi32(0x00ff00ff);
    const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
    const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const __m128i br = _mm_and_si128(o, mask), ga = _mm_srli_epi16(o, 8);
    y = _mm_add_epi32(_mm_madd_epi16(br, k.yBR), _mm_madd_epi16(ga, k.yG));
    y = _mm_srai_epi32(
        _mm_add_epi32(y, _mm_set1_epi32((64 << scalar::kShift) + (1 << (scalar::kShift - 1)))),
        scalar::kShift);
    // [1 2 1] sums of every pixel, then the even pixel's sums copied to its odd neighbour.
    __m128i brs = _mm_add_epi16(_mm_add_epi16(_mm_and_si128(m, mask), _mm_and_si128(n, mask)),
                                _mm_add_epi16(br, br));
    __m128i gas = _mm_add_epi16(_mm_add_epi16(_mm_srli_epi16(m, 8), _mm_srli_epi16(n, 8)),
                                _mm_add_epi16(ga, ga));
    brs = _mm_shuffle_epi32(brs, 0xA0);
    gas = _mm_shuffle_epi32(gas, 0xA0);
    c = _mm_add_epi32(_mm_madd_epi16(brs, k.cBR), _mm_madd_epi16(gas, k.cG));
    c = _mm_srai_epi32(_mm_add_epi32(c, _mm_set1_epi32((512 << (scalar::kShift + 2)) +
                                                       (1 << (scalar::kShift + 1)))),
                       scalar::kShift + 2);
}

// Samples (chroma | Y' << 16) of pixels p[0..7] into out[0..7].
inline void samples8(const uint32_t* p, const Sse2Constants& k, uint32_t* out) {
    __m128i y0, c0, y1, c1;
    convert4(p, k, y0, c0);
    convert4(p + 4, k, y1, c1);
    const __m128i lo = _mm_set1_epi16(4), hi = _mm_set1_epi16(1019);
    const __m128i y = _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(y0, y1), lo), hi);
    const __m128i c = _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(c0, c1), lo), hi);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(c, y));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(c, y));
}

// One v210 group from the samples (chroma | Y' << 16) of its six pixels s0 ... s5. The words
// are Cb0 Y0 Cr0 | Y1 Cb1 Y2 | Cr1 Y3 Cb2 | Y4 Cr2 Y5, which is, with Pi = ci | Yi << 10:
//   (P0 | c1 << 20,  Y1 | P2 << 10,  P3 | c4 << 20,  Y4 | P5 << 10)
// = madd((s0, s1, s3, s4), kLow) + (madd((s1, s2, s4, s5), kHigh) << 10), the 16-bit halves of
// each lane weighted (1, 2^10), (0, 1), ... by kLow and (2^10, 0), (1, 2^10), ... by kHigh. No
// field overlaps another, so the sums are the bit fields.
inline void packGroup(const uint32_t* s, uint32_t* d) {
    const __m128i kLow = _mm_setr_epi16(1, 1 << 10, 0, 1, 1, 1 << 10, 0, 1);
    const __m128i kHigh = _mm_setr_epi16(1 << 10, 0, 1, 1 << 10, 1 << 10, 0, 1, 1 << 10);
    const __m128 u = _mm_loadu_ps(reinterpret_cast<const float*>(s));      // s0 s1 s2 s3
    const __m128 v = _mm_loadu_ps(reinterpret_cast<const float*>(s + 2));  // s2 s3 s4 s5
    const __m128i a = _mm_castps_si128(_mm_shuffle_ps(u, v, _MM_SHUFFLE(2, 1, 1, 0)));
    const __m128i b = _mm_castps_si128(_mm_shuffle_ps(u, v, _MM_SHUFFLE(3, 2, 2, 1)));
    const __m128i words =
        _mm_add_epi32(_mm_madd_epi16(a, kLow), _mm_slli_epi32(_mm_madd_epi16(b, kHigh), 10));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), words);
}

constexpr int kChunkGroups = 64;  // 384 pixels of samples on the stack per step

void v210RowPortable(const uint32_t* src, int width, int units, const Coefficients& c,
                     uint32_t* dst) {
    if (units <= 0) return;
    const Sse2Constants k = sse2Constants(c);
    const int used = std::min(units, (width + 5) / 6);  // groups that hold picture
    alignas(16) uint32_t samples[kChunkGroups * 6 + 8];
    for (int g0 = 0; g0 < used; g0 += kChunkGroups) {
        const int g1 = std::min(used, g0 + kChunkGroups);
        const int x0 = 6 * g0, x1 = 6 * g1;
        // Vectors where both neighbours are inside the row; the edges go through the scalar form.
        const int vecEnd = std::min(x1, width - 1);
        int x = x0;
        for (; x < std::min(2, x1); ++x) samples[x - x0] = scalar::sample(src, width, x, c);
        for (; x + 8 <= vecEnd; x += 8) samples8(src + x, k, samples + (x - x0));
        for (; x < x1; ++x) samples[x - x0] = scalar::sample(src, width, x, c);
        for (int g = g0; g < g1; ++g) packGroup(samples + 6 * (g - g0), dst + 4 * g);
    }
    if (units > used) std::memset(dst + 4 * used, 0, size_t(units - used) * 16);
}

// Ay10 words from samples s[0..3] (chroma | Y' << 16) and their pixels p[0..3]: Y', the chroma
// above it and the key from the alpha, key = 4a + (a >= 43) + (a >= 128) + (a >= 213).
inline __m128i ay10Words(__m128i s, __m128i p) {
    const __m128i fill = _mm_or_si128(_mm_srli_epi32(s, 16),
                                      _mm_slli_epi32(_mm_and_si128(s, _mm_set1_epi32(0x3ff)), 10));
    const __m128i a = _mm_srli_epi32(p, 24);
    __m128i key = _mm_slli_epi32(a, 2);
    // Each comparison is -1 where it holds: subtracting it adds one.
    key = _mm_sub_epi32(key, _mm_cmpgt_epi32(a, _mm_set1_epi32(42)));
    key = _mm_sub_epi32(key, _mm_cmpgt_epi32(a, _mm_set1_epi32(127)));
    key = _mm_sub_epi32(key, _mm_cmpgt_epi32(a, _mm_set1_epi32(212)));
    return _mm_or_si128(fill, _mm_slli_epi32(key, 20));
}

void ay10RowPortable(const uint32_t* src, int width, int units, const Coefficients& c,
                     uint32_t* dst) {
    if (units <= 0) return;
    const Sse2Constants k = sse2Constants(c);
    const int used = std::min(units, (width + 1) / 2);  // pairs that hold picture
    const int words = 2 * used;
    // Vectors where both neighbours are inside the row; the edges go through the scalar form.
    const int vecEnd = std::min(words, width - 1);
    int x = 0;
    for (; x < std::min(2, words); ++x) dst[x] = scalar::ay10Word(src, width, x, c);
    alignas(16) uint32_t samples[8];
    for (; x + 8 <= vecEnd; x += 8) {
        samples8(src + x, k, samples);
        for (int half = 0; half < 8; half += 4) {
            const __m128i s = _mm_load_si128(reinterpret_cast<const __m128i*>(samples + half));
            const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x + half));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x + half), ay10Words(s, p));
        }
    }
    for (; x < words; ++x) dst[x] = scalar::ay10Word(src, width, x, c);
    if (units > used) std::memset(dst + words, 0, size_t(units - used) * 8);
}

#else

void v210RowPortable(const uint32_t* src, int width, int units, const Coefficients& c,
                     uint32_t* dst) {
    for (int u = 0; u < units; ++u) {
        const int x = 6 * u;
        if (x >= width) {
            std::memset(dst + 4 * u, 0, 16);
            continue;
        }
        uint16_t s[12];
        for (int i = 0; i < 6; ++i) {
            const uint32_t v = scalar::sample(src, width, x + i, c);
            s[2 * i] = uint16_t(v & 0xffff);
            s[2 * i + 1] = uint16_t(v >> 16);
        }
        scalar::v210Group(s, dst + 4 * u);
    }
}

void ay10RowPortable(const uint32_t* src, int width, int units, const Coefficients& c,
                     uint32_t* dst) {
    scalar::ay10Units(src, width, 0, units, c, dst);
}

#endif

const PackTable kPortable{"portable", v210RowPortable, ay10RowPortable};

int16_t fixed(double v) {
    return int16_t(std::lround(v * double(1 << scalar::kShift)));
}

enum class Layout { v210, ay10 };

// The body shared by both kernels: checks the bindings, then packs lines [yBegin, yEnd).
void run(const ComputeArguments& args, uint32_t yBegin, uint32_t yEnd, Layout layout) {
    if (args.buffers[1] == nullptr || args.bufferLengths[1] < sizeof(PackParameters)) return;
    PackParameters p;
    std::memcpy(&p, args.buffers[1], sizeof p);
    const Texture* source = args.textures[0];
    uint8_t* out = args.buffers[0];
    if (source == nullptr || out == nullptr || p.width == 0 || p.rowUnits == 0) return;
    if (source->pixelFormat() != PixelFormat::BGRA8Unorm || uint32_t(source->width()) < p.width ||
        uint32_t(source->height()) < p.height)
        return;
    Coefficients c;
    if (!makeCoefficients(p.kr, p.kb, c)) return;
    const size_t unitBytes = layout == Layout::v210 ? 16 : 8;
    const size_t rowBytes = size_t(p.rowUnits) * unitBytes;
    // Grid positions past the row units write nothing; a dispatch narrower than the row
    // writes only the units it covers.
    const int units = int(std::min<uint64_t>(p.rowUnits, args.gridSize.width));
    const PackTable& table = active();
    const auto row = layout == Layout::v210 ? table.v210Row : table.ay10Row;
    const uint32_t last = std::min(yEnd, p.height);
    for (uint32_t y = yBegin; y < last; ++y) {
        if ((size_t(y) + 1) * rowBytes > args.bufferLengths[0]) return;
        row(reinterpret_cast<const uint32_t*>(source->row(int(y))), int(p.width), units, c,
            reinterpret_cast<uint32_t*>(out + size_t(y) * rowBytes));
    }
}

}  // namespace

bool makeCoefficients(float kr, float kb, Coefficients& out) {
    if (!std::isfinite(kr) || !std::isfinite(kb) || kr < 0 || kb < 0 || !(kr + kb < 1))
        return false;
    const double r = kr, b = kb;
    const double sY = 876.0 / 255.0, sC = 896.0 / 255.0;
    Coefficients c;
    c.yR = fixed(r * sY);
    c.yB = fixed(b * sY);
    c.yG = int16_t(fixed(sY) - c.yR - c.yB);
    c.cbB = fixed(sC / 2);
    c.cbR = fixed(-sC / 2 * r / (1 - b));
    c.cbG = int16_t(-c.cbB - c.cbR);
    c.crR = fixed(sC / 2);
    c.crB = fixed(-sC / 2 * b / (1 - r));
    c.crG = int16_t(-c.crR - c.crB);
    out = c;
    return true;
}

const PackTable& portable() {
    return kPortable;
}

const PackTable& active() {
    // One switch for every kernel: when the row kernels are held to the portable table, so
    // are the packers.
    if (&kernels::active() == &kernels::portable()) return kPortable;
    const PackTable* fast = avx2();
    return fast != nullptr ? *fast : kPortable;
}

void v210PackKernel(const ComputeArguments& args, uint32_t yBegin, uint32_t yEnd) {
    run(args, yBegin, yEnd, Layout::v210);
}

void ay10PackKernel(const ComputeArguments& args, uint32_t yBegin, uint32_t yEnd) {
    run(args, yBegin, yEnd, Layout::ay10);
}

}  // namespace velmar::gpu::pack
