#pragma once

// Scalar forms of the packing arithmetic, shared by the portable rows and by the edges of the
// AVX2 rows so that both give the same words. Internal to platform/gpu.
#include "platform/gpu/pack_kernels.h"

#include <algorithm>

namespace velmar::gpu::pack::scalar {

inline constexpr int kShift = 13;           // coefficient scale 2^13
inline constexpr uint32_t kBlackLuma = 64;  // limited-range black
inline constexpr uint32_t kNeutralChroma = 512;

inline uint32_t clampCode(int v) {
    return uint32_t(std::clamp(v, 4, 1019));
}

inline int blue(uint32_t p) {
    return int(p & 0xff);
}
inline int green(uint32_t p) {
    return int((p >> 8) & 0xff);
}
inline int red(uint32_t p) {
    return int((p >> 16) & 0xff);
}

inline uint32_t luma(uint32_t p, const Coefficients& c) {
    const int v =
        c.yR * red(p) + c.yG * green(p) + c.yB * blue(p) + (64 << kShift) + (1 << (kShift - 1));
    return clampCode(v >> kShift);
}

// Cb (cr false) or Cr (cr true) of the pair whose even pixel is e (< width), [1 2 1] filtered.
inline uint32_t chroma(const uint32_t* src, int width, int e, bool cr, const Coefficients& c) {
    const uint32_t l = src[std::max(e - 1, 0)], m = src[e], r = src[std::min(e + 1, width - 1)];
    const int rs = red(l) + 2 * red(m) + red(r);
    const int gs = green(l) + 2 * green(m) + green(r);
    const int bs = blue(l) + 2 * blue(m) + blue(r);
    const int v = cr ? c.crR * rs + c.crG * gs + c.crB * bs : c.cbR * rs + c.cbG * gs + c.cbB * bs;
    return clampCode((v + (512 << (kShift + 2)) + (1 << (kShift + 1))) >> (kShift + 2));
}

// Pixel i as (chroma | Y' << 16), chroma being Cb on even and Cr on odd pixels: the order in
// which v210 lists its samples. Pixels past the width follow the rules of pack_kernels.h.
inline uint32_t sample(const uint32_t* src, int width, int i, const Coefficients& c) {
    const int e = i & ~1;
    const uint32_t ch = e < width ? chroma(src, width, e, (i & 1) != 0, c) : kNeutralChroma;
    const uint32_t y = i < width ? luma(src[i], c) : kBlackLuma;
    return ch | y << 16;
}

// One Ay10 word of pixel i (i < width + 1 when width is odd, as the pair needs).
inline uint32_t ay10Word(const uint32_t* src, int width, int i, const Coefficients& c) {
    const uint32_t s = sample(src, width, i, c);
    const uint32_t key = i < width ? keyFromAlpha(src[i] >> 24) : 0;
    return (s >> 16) | (s & 0x3ff) << 10 | key << 20;
}

// Ay10 units [u0, u1) of a row.
inline void ay10Units(const uint32_t* src, int width, int u0, int u1, const Coefficients& c,
                      uint32_t* dst) {
    for (int u = u0; u < u1; ++u) {
        const int x = 2 * u;
        if (x >= width) {
            dst[x] = dst[x + 1] = 0;
            continue;
        }
        dst[x] = ay10Word(src, width, x, c);
        dst[x + 1] = ay10Word(src, width, x + 1, c);
    }
}

// One v210 group from twelve samples in v210 order (16-bit each, low ten bits used).
inline void v210Group(const uint16_t* s, uint32_t* dst) {
    for (int k = 0; k < 4; ++k)
        dst[k] = uint32_t(s[3 * k]) | uint32_t(s[3 * k + 1]) << 10 | uint32_t(s[3 * k + 2]) << 20;
}

}  // namespace velmar::gpu::pack::scalar
