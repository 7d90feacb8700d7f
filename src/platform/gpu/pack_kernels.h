#pragma once

#include "platform/gpu/device.h"

#include <cstddef>
#include <cstdint>

// The 10-bit packing kernels "v210_pack" and "ay10_pack": they read a BGRA8 texture (bytes B,
// G, R, A; colour straight or premultiplied, taken as it is) and write packed 10-bit 4:2:2
// Y'CbCr rows into a buffer. Each has a portable row function and an AVX2 one that gives the
// same words for every input (tests compare them on random rows); the kernels use the AVX2
// rows when the processor has AVX2 and the portable ones when it has not or when
// kernels::forcePortable(true) is set.
//
// Bindings: texture 0 = the BGRA8 source; buffer 0 = the output rows (offset 0); buffer 1 =
// the 20-byte PackParameters block. Grid: x = row unit, y = line; a row unit is 16 bytes (six
// pixels) of v210 and 8 bytes (two pixels) of Ay10. Positions outside width x rowUnits x
// height write nothing; a row that would not fit in buffer 0, a source smaller than width x
// height or not BGRA8, or unusable Kr / Kb make the kernel write nothing for those rows.
//
// Conversion (integer, exact, the same in both versions). R, G, B are the 8-bit bytes:
//   Kg = 1 - Kr - Kb, coefficients in units of 2^-13:
//   yR = round(Kr * sY), yB = round(Kb * sY), yG = round(sY) - yR - yB, sY = 876 / 255 * 2^13
//   Y' = clamp((yR R + yG G + yB B + 64 * 2^13 + 2^12) >> 13, 4, 1019)
// so black is 64 and white exactly 940. Chroma is sited on the even pixel of each pair
// (co-sited, as 4:2:2 is on SDI) and filtered horizontally with [1 2 1] / 4 about it; the
// neighbours outside the picture repeat the edge pixel. With Rs = R[e-1] + 2 R[e] + R[e+1]
// (likewise Gs, Bs) for the even pixel e and sC = 896 / 255 * 2^13:
//   cbB = round(sC / 2), cbR = round(-sC / 2 * Kr / (1 - Kb)), cbG = -cbB - cbR
//   crR = round(sC / 2), crB = round(-sC / 2 * Kb / (1 - Kr)), crG = -crR - crB
//   Cb = clamp((cbR Rs + cbG Gs + cbB Bs + 512 * 2^15 + 2^14) >> 15, 4, 1019), Cr likewise
// so every grey gives exactly 512. Limited range: Y' 64...940, Cb and Cr 64...960.
//
// v210 row (standard): each group of six pixels is four little-endian words, ten bits per
// field from bit 0, bits 30-31 zero: Cb0 Y0 Cr0 | Y1 Cb1 Y2 | Cr1 Y3 Cb2 | Y4 Cr2 Y5, where
// Cbk / Crk belong to pixels 2k and 2k + 1. A group whose first pixel lies past the width is
// four zero words (as V210Packer's black row leaves the padding); inside the last group the
// pixels past the width are black (Y' 64) and a pair wholly past the width has Cb = Cr = 512.
//
// Ay10 row (the layout our virtual SDI card defines and checks): one little-endian 32-bit word
// per pixel, pixels in order:
//   bits  0-9   Y'
//   bits 10-19  chroma: Cb on even pixels, Cr on odd pixels, both of the pair (sited on the
//               even pixel, filtered as above)
//   bits 20-29  key, full range 0 (transparent) ... 1023 (opaque): round(A * 1023 / 255), so
//               every 8-bit alpha maps to the nearest 10-bit code and 255 to 1023 exactly
//   bits 30-31  zero
// The key is the alpha and nothing else; the fill is the colour as the canvas gave it. A pair
// whose first pixel lies past the width is two zero words; when the width is odd, the pixel
// past it is Y' 64 with the pair's Cr and key 0.
namespace velmar::gpu::pack {

// The parameter block at buffer index 1, little-endian.
struct PackParameters {
    uint32_t width = 0;     // pixels
    uint32_t height = 0;    // lines
    uint32_t rowUnits = 0;  // rowBytes / 16 for v210, rowBytes / 8 for Ay10
    float kr = 0;           // luma coefficients of red and blue
    float kb = 0;
};
static_assert(sizeof(PackParameters) == 20);

// The integer matrix derived from Kr and Kb (see above).
struct Coefficients {
    int16_t yR = 0, yG = 0, yB = 0;
    int16_t cbR = 0, cbG = 0, cbB = 0;
    int16_t crR = 0, crG = 0, crB = 0;
};

// False (and `out` untouched) unless Kr and Kb are finite, not negative and Kr + Kb < 1.
bool makeCoefficients(float kr, float kb, Coefficients& out);

// The 10-bit key of an 8-bit alpha: round(a * 1023 / 255).
constexpr uint32_t keyFromAlpha(uint32_t a) {
    return 4 * a + (a >= 43 ? 1 : 0) + (a >= 128 ? 1 : 0) + (a >= 213 ? 1 : 0);
}

struct PackTable {
    const char* name;
    // Writes `units` v210 groups (4 words each) of one row from `width` BGRA pixels.
    void (*v210Row)(const uint32_t* src, int width, int units, const Coefficients& c,
                    uint32_t* dst);
    // Writes `units` Ay10 pixel pairs (2 words each) of one row from `width` BGRA pixels.
    void (*ay10Row)(const uint32_t* src, int width, int units, const Coefficients& c,
                    uint32_t* dst);
};

const PackTable& portable();
// Null when the processor has no AVX2.
const PackTable* avx2();
// The table the kernels use: portable when kernels::forcePortable is on or without AVX2.
const PackTable& active();

// The compute kernels themselves, registered in every library as "v210_pack" and "ay10_pack".
void v210PackKernel(const ComputeArguments& args, uint32_t yBegin, uint32_t yEnd);
void ay10PackKernel(const ComputeArguments& args, uint32_t yBegin, uint32_t yEnd);

}  // namespace velmar::gpu::pack
