#include "platform/gpu/kernels.h"
#include "platform/gpu/kernels_scalar.h"

#include <atomic>
#include <cmath>

namespace velmar::gpu::kernels {

namespace {

void canvasSampledRowPortable(const SampledTexture& t, float rowX, float dxdx, float rowY,
                              float dydx, int x0, int x1, const LayerParams& p, uint32_t* dst) {
    for (int x = x0; x < x1; ++x) {
        const float xc = float(x) + 0.5f;
        const float tx = rowX + dxdx * xc;
        const float ty = rowY + dydx * xc;
        dst[x - x0] = scalar::canvasColor(scalar::sample(t, tx, ty), p);
    }
}

void canvasDirectRowPortable(const uint32_t* src, int count, const LayerParams& p, uint32_t* dst) {
    for (int i = 0; i < count; ++i) dst[i] = scalar::canvasColor(src[i], p);
}

void compositeRowPortable(const uint32_t* program, const uint32_t* keyer, int count,
                          bool premultiplyOutput, uint32_t* dst) {
    for (int i = 0; i < count; ++i)
        dst[i] = scalar::compositePixel(program[i], keyer[i], premultiplyOutput);
}

void blendOverRowPortable(const uint32_t* src, uint32_t* dst, int count) {
    for (int i = 0; i < count; ++i)
        dst[i] = src[i] >= 0xff000000u ? src[i] : scalar::blendOverPixel(src[i], dst[i]);
}

const KernelTable kPortable{"portable", canvasSampledRowPortable, canvasDirectRowPortable,
                            compositeRowPortable, blendOverRowPortable};

std::atomic<bool> gForcePortable{false};

}  // namespace

const KernelTable& portable() {
    return kPortable;
}

const KernelTable& active() {
    if (gForcePortable.load(std::memory_order_relaxed)) return kPortable;
    const KernelTable* fast = avx2();
    return fast != nullptr ? *fast : kPortable;
}

void forcePortable(bool on) {
    gForcePortable.store(on);
}

int opacityToByte(float opacity) {
    if (!(opacity > 0)) return 0;
    if (opacity >= 1) return 255;
    return int(opacity * 255.0f + 0.5f);
}

float halfToFloat(uint16_t h) {
    const int sign = (h >> 15) & 1;
    const int exponent = (h >> 10) & 31;
    const int mantissa = h & 1023;
    float v;
    if (exponent == 0)
        v = std::ldexp(float(mantissa), -24);
    else if (exponent == 31)
        v = mantissa != 0 ? NAN : INFINITY;
    else
        v = std::ldexp(float(mantissa | 1024), exponent - 25);
    return sign != 0 ? -v : v;
}

}  // namespace velmar::gpu::kernels
