#pragma once

#include "render/ten_bit_packer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace velmar {

namespace gpu {
class PixelBuffer;
}  // namespace gpu

// Packs the composed BGRA canvas into 10-bit 4:2:2 v210 rows for the SDI fill-only output:
// the compute kernel "v210_pack" runs in the caller's command buffer (after the composition),
// then copy() moves the rows into the pixel buffer handed to the SDI bridge.
//
// Rows are rowBytes = ceil(width / 48) * 128 bytes (six pixels in 16 bytes, padded to 48
// pixels). Colour: BT.709 for heights of 720 and more, else BT.601; limited range (black
// Y' 64, Cb / Cr 512, white 940), codes held to 4...1019; chroma co-sited with the even pixel
// and filtered [1 2 1] / 4 (platform/gpu/pack_kernels.h has the exact arithmetic). The colour
// is packed as the canvas gave it, straight or premultiplied.
//
// The adaptation to the SDI bridge's own buffer type is the output controller's business; this
// class speaks the graphics layer's PixelBuffer ('v210').
//
// Threads: immutable after creation; encode, makePixelBuffer and copy may run on any thread
// (the SDI completion thread, inside the canvas engine's frame).
class V210Packer : public TenBitPacker {
  public:
    static constexpr Format kFormat{"v210_pack", 48, 128, 16};

    // Null for a width or height below 1 or above the device's texture limit, or when the
    // library has no "v210_pack" or its pipeline cannot be made.
    static std::shared_ptr<V210Packer> create(std::shared_ptr<gpu::Device> device, int width,
                                              int height);

    // A width x height 'v210' pixel buffer with every line black (blackRow of its own row
    // length); null when it cannot be made or its rows are shorter than rowBytes.
    std::shared_ptr<gpu::PixelBuffer> makePixelBuffer() const;

    // Copies the packed rows of `buffer` into `pixelBuffer`: one copy when the row lengths
    // agree, else line by line with the rest of each destination line set to 0. False, with
    // nothing written, unless the pixel buffer is 'v210' of exactly width x height with rows
    // of at least rowBytes, and the buffer holds rowBytes * height bytes.
    bool copy(const std::shared_ptr<gpu::Buffer>& buffer,
              const std::shared_ptr<gpu::PixelBuffer>& pixelBuffer) const;

    // One line of v210 black as words: rowBytes / 4 words, of which the first
    // min(rowBytes / 16, ceil(width / 6)) groups are 0x20010200, 0x04080040, 0x20010200,
    // 0x04080040 (Y' 64, Cb and Cr 512) and the rest 0.
    static std::vector<uint32_t> blackRow(int width, size_t rowBytes);

    V210Packer(std::shared_ptr<gpu::Device> device,
               std::shared_ptr<gpu::ComputePipelineState> pipeline, int width, int height);
};

}  // namespace velmar
