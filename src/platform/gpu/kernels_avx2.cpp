// AVX2 forms of the row kernels. Compiled for the baseline processor; only these functions
// carry the AVX2 target, and they run only when the processor reports AVX2. No FMA is used:
// every float operation matches the portable arithmetic step for step.
#include "platform/gpu/kernels.h"
#include "platform/gpu/kernels_scalar.h"

#include <immintrin.h>

#include <cstring>

#define VELMAR_AVX2 __attribute__((target("avx2")))
#define VELMAR_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline
#define VELMAR_AVX2_LAMBDA __attribute__((target("avx2"), always_inline))

namespace velmar::gpu::kernels {

namespace {

VELMAR_AVX2_INLINE __m256i div255x8(__m256i x) {
    const __m256i t = _mm256_add_epi32(x, _mm256_set1_epi32(128));
    return _mm256_srli_epi32(_mm256_add_epi32(t, _mm256_srli_epi32(t, 8)), 8);
}

VELMAR_AVX2_INLINE __m256i swapRBx8(__m256i p) {
    const __m256i m = _mm256_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15, 2, 1,
                                       0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
    return _mm256_shuffle_epi8(p, m);
}

VELMAR_AVX2_INLINE bool allEqual(__m256i v, __m256i k) {
    return _mm256_movemask_epi8(_mm256_cmpeq_epi32(v, k)) == -1;
}

// The colour stage of canvas_fragment on eight pixels (already in target byte order).
VELMAR_AVX2_INLINE __m256i canvasColorx8(__m256i s, const LayerParams& p) {
    const __m256i ff = _mm256_set1_epi32(255);
    const __m256i a = _mm256_srli_epi32(s, 24);
    if (allEqual(a, ff)) {
        if (p.opacity == 255) return s;
        // Opaque texels: the key is the opacity, and straight colour is the texel's colour
        // whether the source was premultiplied (by 255) or not.
        if (!p.premultiplyOutput) {
            if (p.opacity == 0) return _mm256_setzero_si256();
            return _mm256_or_si256(_mm256_and_si256(s, _mm256_set1_epi32(0x00ffffff)),
                                   _mm256_set1_epi32(int(uint32_t(p.opacity) << 24)));
        }
    }
    const __m256i zero = _mm256_setzero_si256();
    if (_mm256_testz_si256(a, a)) return zero;  // all transparent: A = 0 everywhere
    const __m256i O = _mm256_set1_epi32(p.opacity);
    const __m256i A = div255x8(_mm256_mullo_epi32(a, O));
    __m256i c[3] = {_mm256_and_si256(s, ff), _mm256_and_si256(_mm256_srli_epi32(s, 8), ff),
                    _mm256_and_si256(_mm256_srli_epi32(s, 16), ff)};
    if (p.sourcePremultiplied) {
        if (p.premultiplyOutput) {
            for (auto& ci : c) ci = div255x8(_mm256_mullo_epi32(ci, O));
        } else {
            const __m256 af = _mm256_cvtepi32_ps(a);
            const __m256 half = _mm256_set1_ps(0.5f);
            for (auto& ci : c) {
                const __m256 q = _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_mullo_epi32(ci, ff)), af);
                ci = _mm256_min_epi32(_mm256_cvttps_epi32(_mm256_add_ps(q, half)), ff);
            }
        }
    } else if (p.premultiplyOutput) {
        for (auto& ci : c) ci = div255x8(_mm256_mullo_epi32(ci, A));
    }
    __m256i out =
        _mm256_or_si256(_mm256_or_si256(c[0], _mm256_slli_epi32(c[1], 8)),
                        _mm256_or_si256(_mm256_slli_epi32(c[2], 16), _mm256_slli_epi32(A, 24)));
    return _mm256_andnot_si256(_mm256_cmpeq_epi32(A, zero), out);
}

// Widens the 16-bit weights of pixels (per 32-bit lane) to match unpacklo/hi_epi8 order.
VELMAR_AVX2_INLINE void weights16(__m256i w, __m256i& lo, __m256i& hi) {
    const __m256i pair = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
    lo = _mm256_unpacklo_epi32(pair, pair);
    hi = _mm256_unpackhi_epi32(pair, pair);
}

// Loads the texel pairs (at offset, offset + 1, in 32-bit units) of eight pixels with two
// gathers of four 64-bit pairs and splits them into the left and right texels, in pixel order.
VELMAR_AVX2_INLINE void gatherPairs(const int* base, __m256i off, __m256i& left, __m256i& right) {
    const auto* b = reinterpret_cast<const long long*>(base);
    const __m256i g0 = _mm256_i32gather_epi64(b, _mm256_castsi256_si128(off), 4);
    const __m256i g1 = _mm256_i32gather_epi64(b, _mm256_extracti128_si256(off, 1), 4);
    const __m256i split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const __m256i a = _mm256_permutevar8x32_epi32(g0, split);  // left 0-3 | right 0-3
    const __m256i c = _mm256_permutevar8x32_epi32(g1, split);  // left 4-7 | right 4-7
    left = _mm256_permute2x128_si256(a, c, 0x20);
    right = _mm256_permute2x128_si256(a, c, 0x31);
}

VELMAR_AVX2_INLINE __m256i lerp16(__m256i a, __m256i b, __m256i w) {
    return _mm256_add_epi16(a, _mm256_mulhrs_epi16(_mm256_sub_epi16(b, a), w));
}

VELMAR_AVX2 void canvasSampledRowAvx2(const SampledTexture& t, float rowX, float dxdx, float rowY,
                                      float dydx, int x0, int x1, const LayerParams& p,
                                      uint32_t* dst) {
    int x = x0;
    if (t.format != PixelFormat::RGBA16Float && t.width >= 2) {
        const __m256 lane = _mm256_setr_ps(0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f);
        const __m256 vRowX = _mm256_set1_ps(rowX), vDx = _mm256_set1_ps(dxdx);
        const __m256 vRowY = _mm256_set1_ps(rowY), vDy = _mm256_set1_ps(dydx);
        const __m256 loX = _mm256_set1_ps(-0.5f), hiX = _mm256_set1_ps(float(t.width) - 0.5f);
        const __m256 loY = loX, hiY = _mm256_set1_ps(float(t.height) - 0.5f);
        const __m256 scale = _mm256_set1_ps(32768.0f);
        const __m256i frac = _mm256_set1_epi32(32767);
        const __m256i zero = _mm256_setzero_si256();
        const __m256i maxPair = _mm256_set1_epi32(t.width - 2),
                      maxY = _mm256_set1_epi32(t.height - 1);
        const __m256i one = _mm256_set1_epi32(1);
        const __m256i stride = _mm256_set1_epi32(int(t.bytesPerRow / 4));
        const int* base = reinterpret_cast<const int*>(t.base);
        // The source rows a group reads, as offsets in 32-bit units, and their weight.
        __m256i ya = zero, yb = zero, wyLo = zero, wyHi = zero;
        const auto rowsAt = [&](__m256 ty) VELMAR_AVX2_LAMBDA {
            ty = _mm256_min_ps(_mm256_max_ps(ty, loY), hiY);
            const __m256i fy = _mm256_cvttps_epi32(_mm256_floor_ps(_mm256_mul_ps(ty, scale)));
            const __m256i iy = _mm256_srai_epi32(fy, 15);
            ya = _mm256_mullo_epi32(_mm256_max_epi32(iy, zero), stride);
            yb = _mm256_mullo_epi32(_mm256_min_epi32(_mm256_add_epi32(iy, one), maxY), stride);
            weights16(_mm256_and_si256(fy, frac), wyLo, wyHi);
        };
        // Without a turn (dydx is zero) every pixel of the row has the source coordinate
        // rowY + 0 * xc == rowY + dydx * 0.5f, so its rows and weight are found once.
        const bool alongRow = dydx == 0;
        if (alongRow) rowsAt(_mm256_set1_ps(rowY + dydx * 0.5f));
        // A last group of fewer than eight pixels is computed whole (its coordinates are
        // clamped like any others) and only its pixels are stored.
        for (; x < x1; x += 8) {
            const __m256 xc = _mm256_add_ps(_mm256_set1_ps(float(x)), lane);
            __m256 tx = _mm256_add_ps(vRowX, _mm256_mul_ps(vDx, xc));
            if (!alongRow) rowsAt(_mm256_add_ps(vRowY, _mm256_mul_ps(vDy, xc)));
            tx = _mm256_min_ps(_mm256_max_ps(tx, loX), hiX);
            const __m256i fx = _mm256_cvttps_epi32(_mm256_floor_ps(_mm256_mul_ps(tx, scale)));
            const __m256i ix = _mm256_srai_epi32(fx, 15);
            const __m256i wx = _mm256_and_si256(fx, frac);
            // Each pixel reads its two neighbouring texels of a row with one 64-bit load at
            // c = clamp(ix, 0, width - 2); at the edges the weight becomes 0 (left) or 32767
            // (right), which gives exactly the edge texel, as clamping both texels would.
            const __m256i c = _mm256_min_epi32(_mm256_max_epi32(ix, zero), maxPair);
            __m256i wxc = _mm256_andnot_si256(_mm256_cmpgt_epi32(zero, ix), wx);
            wxc = _mm256_blendv_epi8(wxc, frac, _mm256_cmpgt_epi32(ix, maxPair));
            __m256i p00, p01, p10, p11;
            gatherPairs(base, _mm256_add_epi32(ya, c), p00, p01);
            gatherPairs(base, _mm256_add_epi32(yb, c), p10, p11);
            __m256i wxLo, wxHi;
            weights16(wxc, wxLo, wxHi);
            const __m256i z8 = _mm256_setzero_si256();
            const __m256i topLo =
                lerp16(_mm256_unpacklo_epi8(p00, z8), _mm256_unpacklo_epi8(p01, z8), wxLo);
            const __m256i topHi =
                lerp16(_mm256_unpackhi_epi8(p00, z8), _mm256_unpackhi_epi8(p01, z8), wxHi);
            const __m256i botLo =
                lerp16(_mm256_unpacklo_epi8(p10, z8), _mm256_unpacklo_epi8(p11, z8), wxLo);
            const __m256i botHi =
                lerp16(_mm256_unpackhi_epi8(p10, z8), _mm256_unpackhi_epi8(p11, z8), wxHi);
            const __m256i lo = lerp16(topLo, botLo, wyLo);
            const __m256i hi = lerp16(topHi, botHi, wyHi);
            __m256i s = _mm256_packus_epi16(lo, hi);
            if (p.swapRedBlue) s = swapRBx8(s);
            LayerParams q = p;
            q.swapRedBlue = false;
            const __m256i out = canvasColorx8(s, q);
            if (x + 8 <= x1) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + (x - x0)), out);
            } else {
                alignas(32) uint32_t tail[8];
                _mm256_store_si256(reinterpret_cast<__m256i*>(tail), out);
                std::memcpy(dst + (x - x0), tail, size_t(x1 - x) * 4);
                x = x1;
                break;
            }
        }
    }
    for (; x < x1; ++x) {
        const float xc = float(x) + 0.5f;
        const float tx = rowX + dxdx * xc;
        const float ty = rowY + dydx * xc;
        dst[x - x0] = scalar::canvasColor(scalar::sample(t, tx, ty), p);
    }
}

VELMAR_AVX2 void canvasDirectRowAvx2(const uint32_t* src, int count, const LayerParams& p,
                                     uint32_t* dst) {
    LayerParams q = p;
    q.swapRedBlue = false;
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        if (p.swapRedBlue) s = swapRBx8(s);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), canvasColorx8(s, q));
    }
    for (; i < count; ++i) dst[i] = scalar::canvasColor(src[i], p);
}

VELMAR_AVX2 void compositeRowAvx2(const uint32_t* program, const uint32_t* keyer, int count,
                                  bool premultiplyOutput, uint32_t* dst) {
    const __m256i ff = _mm256_set1_epi32(255);
    const __m256i zero = _mm256_setzero_si256();
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256 full = _mm256_set1_ps(65025.0f);
    // A whole row of a frame goes to memory with non-temporal stores: nothing reads it again
    // while the frame is being composed.
    const bool stream = count >= 512 && (reinterpret_cast<uintptr_t>(dst) & 31) == 0;
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i P = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(program + i));
        const __m256i K = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(keyer + i));
        const __m256i Ka = _mm256_srli_epi32(K, 24);
        const __m256i Pa = _mm256_srli_epi32(P, 24);
        __m256i out;
        if (allEqual(Ka, ff)) {
            out = K;
        } else if (!premultiplyOutput && allEqual(Ka, zero)) {
            out = _mm256_andnot_si256(_mm256_cmpeq_epi32(Pa, zero), P);
        } else {
            const __m256i KaF = _mm256_mullo_epi32(Ka, ff);
            const __m256i PaInv = _mm256_mullo_epi32(Pa, _mm256_sub_epi32(ff, Ka));
            const __m256i D = _mm256_add_epi32(KaF, PaInv);
            const __m256 Df = premultiplyOutput ? full : _mm256_cvtepi32_ps(D);
            out = _mm256_slli_epi32(div255x8(D), 24);
            for (int c = 0; c < 3; ++c) {
                const __m256i Kc = _mm256_and_si256(_mm256_srli_epi32(K, 8 * c), ff);
                const __m256i Pc = _mm256_and_si256(_mm256_srli_epi32(P, 8 * c), ff);
                const __m256i N =
                    _mm256_add_epi32(_mm256_mullo_epi32(Kc, KaF), _mm256_mullo_epi32(Pc, PaInv));
                const __m256 q = _mm256_div_ps(_mm256_cvtepi32_ps(N), Df);
                const __m256i C = _mm256_cvttps_epi32(_mm256_add_ps(q, half));
                out = _mm256_or_si256(out, _mm256_slli_epi32(C, 8 * c));
            }
            if (!premultiplyOutput) out = _mm256_andnot_si256(_mm256_cmpeq_epi32(D, zero), out);
        }
        if (stream)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(dst + i), out);
        else
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), out);
    }
    if (stream) _mm_sfence();
    for (; i < count; ++i) dst[i] = scalar::compositePixel(program[i], keyer[i], premultiplyOutput);
}

VELMAR_AVX2_INLINE __m256i div255Lanesx8(__m256i x) {
    const __m256i m = _mm256_set1_epi32(0x00ff00ff);
    const __m256i t = _mm256_add_epi32(x, _mm256_set1_epi32(0x00800080));
    return _mm256_and_si256(
        _mm256_srli_epi32(_mm256_add_epi32(t, _mm256_and_si256(_mm256_srli_epi32(t, 8), m)), 8), m);
}

// scalar::blendOverPixel on eight pixels.
VELMAR_AVX2 void blendOverRowAvx2(const uint32_t* src, uint32_t* dst, int count) {
    const __m256i m = _mm256_set1_epi32(0x00ff00ff);
    const __m256i ff = _mm256_set1_epi32(255);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i sa = _mm256_srli_epi32(s, 24), da = _mm256_sub_epi32(ff, sa);
        // Opaque source pixels come out as they are (colour c * 255 / 255, alpha 255 + 0).
        if (allEqual(sa, ff)) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), s);
            continue;
        }
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i));
        const __m256i rb =
            _mm256_add_epi32(div255Lanesx8(_mm256_mullo_epi32(_mm256_and_si256(s, m), sa)),
                             div255Lanesx8(_mm256_mullo_epi32(_mm256_and_si256(d, m), da)));
        const __m256i g = _mm256_and_si256(
            div255Lanesx8(_mm256_mullo_epi32(_mm256_and_si256(_mm256_srli_epi32(s, 8), m), sa)),
            ff);
        const __m256i ga = _mm256_add_epi32(
            _mm256_or_si256(g, _mm256_slli_epi32(sa, 16)),
            div255Lanesx8(_mm256_mullo_epi32(_mm256_and_si256(_mm256_srli_epi32(d, 8), m), da)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i),
                            _mm256_or_si256(rb, _mm256_slli_epi32(ga, 8)));
    }
    for (; i < count; ++i) dst[i] = scalar::blendOverPixel(src[i], dst[i]);
}

const KernelTable kAvx2{"avx2", canvasSampledRowAvx2, canvasDirectRowAvx2, compositeRowAvx2,
                        blendOverRowAvx2};

}  // namespace

const KernelTable* avx2() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported ? &kAvx2 : nullptr;
}

}  // namespace velmar::gpu::kernels
