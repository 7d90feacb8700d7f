#pragma once

#include "platform/gpu/gpu_types.h"

#include <cstddef>
#include <cstdint>

// The per-row work of the fragment functions, in a portable version and an AVX2 version that
// must give the same bytes for every input (tests compare them on random data). The renderer
// never calls these directly: the command-buffer executor does, for the draws it rasterises.
//
// Pixels are handled as 32-bit words in memory byte order: bytes 0..2 colour, byte 3 alpha.
// For a BGRA8 target byte 0 is blue; a source whose order differs is swizzled on reading.
//
// "canvas_fragment" (one layer), with s = the sampled source (c = a colour byte, a = alpha),
// O = round(opacity * 255), div255(x) = x / 255 rounded to nearest (exact integer form):
//   A = div255(a * O)                                   layer alpha (the key)
//   premultiplied source, premultiplied output:  C = div255(c * O)
//   premultiplied source, straight output:       C = min(255, int(float(c * 255) / float(a) +
//   0.5f)) straight source, premultiplied output:       C = div255(c * A) straight source, straight
//   output:            C = c (opacity changes only the key) and wherever A == 0 the whole pixel is
//   0 (transparent black: fill black, key 0).
// The key is always the alpha; colour never feeds the key.
//
// "composite_fragment" (keyer K over program P, both straight, as the layer passes leave them):
//   D = Ka * 255 + Pa * (255 - Ka)                      output alpha times 255
//   N = Kc * Ka * 255 + Pc * Pa * (255 - Ka)            premultiplied colour times 255 * 255
//   alpha = div255(D)
//   premultiplied output: C = int(float(N) / 65025.0f + 0.5f)
//   straight output:      C = D == 0 ? 0 : int(float(N) / float(D) + 0.5f)
// N and D are exact in float (N < 2^24), so 50 % white over white gives N = 255 * D, exactly
// white; where the keyer is fully transparent the straight output is exactly the program pixel;
// a fully opaque keyer pixel comes out exactly.
//
// Bilinear sampling (clamp to edge): texel coordinates tx = u * width - 0.5 are clamped to
// [-0.5, width - 0.5] and cut to 15 fractional bits; each channel is lerped as
// a + (((b - a) * w + 16384) >> 15), first along x (both rows), then along y.
namespace velmar::gpu::kernels {

struct SampledTexture {
    const uint8_t* base = nullptr;
    size_t bytesPerRow = 0;
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::BGRA8Unorm;  // RGBA16F is read as RGBA8 (rounded)
};

struct LayerParams {
    int opacity = 255;  // O
    bool sourcePremultiplied = false;
    bool premultiplyOutput = false;
    bool swapRedBlue = false;  // source byte order differs from the target's
};

struct KernelTable {
    const char* name;
    // Pixels x0..x1-1 of one row; pixel x samples at tx = rowX + dxdx * (x + 0.5f),
    // ty = rowY + dydx * (x + 0.5f) (float arithmetic, in that order). dst points at pixel x0.
    void (*canvasSampledRow)(const SampledTexture& source, float rowX, float dxdx, float rowY,
                             float dydx, int x0, int x1, const LayerParams& params, uint32_t* dst);
    // `count` pixels read 1:1 from an 8-bit source (identity placement); src and dst point at
    // the first pixel.
    void (*canvasDirectRow)(const uint32_t* src, int count, const LayerParams& params,
                            uint32_t* dst);
    void (*compositeRow)(const uint32_t* program, const uint32_t* keyer, int count,
                         bool premultiplyOutput, uint32_t* dst);
    // Source-over blending of `count` pixels of src onto dst (the blend stage of a preview):
    // colour div255(c * Sa) + div255(d * (255 - Sa)), alpha Sa + div255(Da * (255 - Sa)).
    void (*blendOverRow)(const uint32_t* src, uint32_t* dst, int count);
};

const KernelTable& portable();
// Null when the processor has no AVX2.
const KernelTable* avx2();
// The table the executor uses: AVX2 when available, unless forced to the portable one.
const KernelTable& active();
void forcePortable(bool on);

int opacityToByte(float opacity);
float halfToFloat(uint16_t h);

}  // namespace velmar::gpu::kernels
