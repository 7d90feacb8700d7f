#pragma once

#include "render/ten_bit_packer.h"

#include <memory>

namespace velmar {

// Packs the composed BGRA canvas into 'Ay10' rows (10-bit 4:2:2 Y'CbCr fill with a 10-bit key)
// for the SDI fill-and-key output, with the compute kernel "ay10_pack" in the caller's command
// buffer. The buffer is the memory the SDI bridge reads, so nothing is copied afterwards.
//
// Rows are rowBytes = ceil(width / 64) * 256 bytes: one 32-bit word per pixel, padded to 64
// pixels. Word layout (defined by our virtual SDI card, which checks it): bits 0-9 Y', bits
// 10-19 Cb on even and Cr on odd pixels (the pair's chroma, co-sited with the even pixel,
// [1 2 1] / 4 filtered), bits 20-29 the key, bits 30-31 zero. Fill as in V210Packer (BT.709
// from 720 lines up else BT.601, limited range, codes 4...1019), so fill and v210 agree
// sample for sample. The key is the alpha alone, full range: round(alpha * 1023 / 255), 0
// transparent ... 1023 opaque. The colour is packed as the canvas gave it, straight or
// premultiplied; platform/gpu/pack_kernels.h has the exact arithmetic.
//
// Threads: immutable after creation; encode may run on any thread.
class AY10Packer : public TenBitPacker {
  public:
    static constexpr Format kFormat{"ay10_pack", 64, 256, 8};

    // Null for a width or height below 1 or above the device's texture limit, or when the
    // library has no "ay10_pack" or its pipeline cannot be made.
    static std::shared_ptr<AY10Packer> create(std::shared_ptr<gpu::Device> device, int width,
                                              int height);

    AY10Packer(std::shared_ptr<gpu::Device> device,
               std::shared_ptr<gpu::ComputePipelineState> pipeline, int width, int height);
};

}  // namespace velmar
