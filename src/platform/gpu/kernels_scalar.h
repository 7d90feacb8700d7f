#pragma once

// Scalar forms of the kernel arithmetic, shared by the portable table and by the tails of the
// AVX2 rows so that both give the same bytes. Internal to platform/gpu.
#include "platform/gpu/kernels.h"

#include <cmath>
#include <cstring>

namespace velmar::gpu::kernels::scalar {

inline int div255(int x) {
    const int t = x + 128;
    return (t + (t >> 8)) >> 8;
}

inline uint32_t swapRB(uint32_t p) {
    return (p & 0xff00ff00u) | ((p >> 16) & 0xffu) | ((p & 0xffu) << 16);
}

inline uint32_t halfTexel(const uint8_t* p) {
    uint16_t h[4];
    std::memcpy(h, p, 8);
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        const float f = halfToFloat(h[i]);
        int v = 0;
        if (f > 0) v = f >= 1 ? 255 : int(f * 255.0f + 0.5f);
        out |= uint32_t(v) << (8 * i);
    }
    return out;  // bytes R, G, B, A
}

inline uint32_t texel(const SampledTexture& t, int x, int y) {
    const uint8_t* row = t.base + size_t(y) * t.bytesPerRow;
    if (t.format == PixelFormat::RGBA16Float) return halfTexel(row + size_t(x) * 8);
    uint32_t v;
    std::memcpy(&v, row + size_t(x) * 4, 4);
    return v;
}

inline int lerp15(int a, int b, int w) {
    return a + (((b - a) * w + 16384) >> 15);
}

// Clamp as _mm256_max_ps / _mm256_min_ps do (a NaN gives the bound).
inline float clampCoord(float v, float lo, float hi) {
    v = v > lo ? v : lo;
    return v < hi ? v : hi;
}

inline uint32_t sample(const SampledTexture& t, float tx, float ty) {
    tx = clampCoord(tx, -0.5f, float(t.width) - 0.5f);
    ty = clampCoord(ty, -0.5f, float(t.height) - 0.5f);
    const int fx = int(std::floor(tx * 32768.0f));
    const int fy = int(std::floor(ty * 32768.0f));
    const int ix = fx >> 15, wx = fx & 32767;
    const int iy = fy >> 15, wy = fy & 32767;
    const int x0 = ix > 0 ? ix : 0, x1 = ix + 1 < t.width - 1 ? ix + 1 : t.width - 1;
    const int y0 = iy > 0 ? iy : 0, y1 = iy + 1 < t.height - 1 ? iy + 1 : t.height - 1;
    const uint32_t p00 = texel(t, x0, y0), p01 = texel(t, x1, y0);
    const uint32_t p10 = texel(t, x0, y1), p11 = texel(t, x1, y1);
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
        const int s = 8 * c;
        const int top = lerp15(int((p00 >> s) & 255), int((p01 >> s) & 255), wx);
        const int bottom = lerp15(int((p10 >> s) & 255), int((p11 >> s) & 255), wx);
        out |= uint32_t(lerp15(top, bottom, wy)) << s;
    }
    return out;
}

inline uint32_t canvasColor(uint32_t s, const LayerParams& p) {
    if (p.swapRedBlue) s = swapRB(s);
    const int a = int(s >> 24);
    const int A = div255(a * p.opacity);
    if (A == 0) return 0;
    uint32_t out = uint32_t(A) << 24;
    for (int i = 0; i < 3; ++i) {
        const int c = int((s >> (8 * i)) & 255);
        int C;
        if (p.sourcePremultiplied) {
            if (p.premultiplyOutput) {
                C = div255(c * p.opacity);
            } else {
                C = int(float(c * 255) / float(a) + 0.5f);
                C = C < 255 ? C : 255;
            }
        } else {
            C = p.premultiplyOutput ? div255(c * A) : c;
        }
        out |= uint32_t(C) << (8 * i);
    }
    return out;
}

// div255 of the two 16-bit lanes of x (each at most 255 * 255).
inline uint32_t div255Lanes(uint32_t x) {
    const uint32_t t = x + 0x00800080u;
    return ((t + ((t >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
}

// One pixel of blendOverRow, two channels at a time in the lanes of a word: the two terms add
// up to at most 255, so no lane carries into the next.
inline uint32_t blendOverPixel(uint32_t s, uint32_t d) {
    const uint32_t sa = s >> 24, da = 255 - sa;
    const uint32_t rb = div255Lanes((s & 0x00ff00ffu) * sa) + div255Lanes((d & 0x00ff00ffu) * da);
    // Green times Sa; the alpha lane takes Sa itself.
    const uint32_t ga = ((div255Lanes(((s >> 8) & 0x00ff00ffu) * sa) & 0xffu) | sa << 16) +
                        div255Lanes(((d >> 8) & 0x00ff00ffu) * da);
    return rb | ga << 8;
}

inline uint32_t compositePixel(uint32_t P, uint32_t K, bool premultiplyOutput) {
    const int Pa = int(P >> 24), Ka = int(K >> 24);
    const int KaF = Ka * 255;
    const int PaInv = Pa * (255 - Ka);
    const int D = KaF + PaInv;
    if (!premultiplyOutput && D == 0) return 0;
    uint32_t out = uint32_t(div255(D)) << 24;
    for (int i = 0; i < 3; ++i) {
        const int s = 8 * i;
        const int N = int((K >> s) & 255) * KaF + int((P >> s) & 255) * PaInv;
        const float q = premultiplyOutput ? float(N) / 65025.0f : float(N) / float(D);
        out |= uint32_t(int(q + 0.5f)) << s;
    }
    return out;
}

}  // namespace velmar::gpu::kernels::scalar
