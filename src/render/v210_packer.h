#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace velmar {

namespace gpu {
class Buffer;
class CommandBuffer;
class ComputePipelineState;
class Device;
class PixelBuffer;
class Texture;
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
class V210Packer {
public:
    // Null for a width or height below 1 or above the device's texture limit, or when the
    // library has no "v210_pack" or its pipeline cannot be made.
    static std::shared_ptr<V210Packer> create(std::shared_ptr<gpu::Device> device, int width,
                                              int height);

    int width() const { return width_; }
    int height() const { return height_; }
    size_t rowBytes() const { return rowBytes_; }
    const std::shared_ptr<gpu::ComputePipelineState>& pipeline() const { return pipeline_; }
    const std::shared_ptr<gpu::Device>& device() const { return device_; }

    // Records the packing of `source` (BGRA8, exactly width x height) into `buffer` (at least
    // rowBytes * height bytes). False, with nothing recorded, for another source size or
    // format, a short or missing buffer, or when no compute encoder can be opened. The caller
    // commits.
    bool encode(const std::shared_ptr<gpu::Texture>& source,
                const std::shared_ptr<gpu::Buffer>& buffer, gpu::CommandBuffer& commandBuffer) const;

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

    // The luma coefficients (Kr, Kb) for a picture height: BT.709 (0.2126, 0.0722) from 720
    // lines up, else BT.601 (0.299, 0.114).
    static std::pair<float, float> lumaCoefficients(int height);

    V210Packer(std::shared_ptr<gpu::Device> device,
               std::shared_ptr<gpu::ComputePipelineState> pipeline, int width, int height);

private:
    int width_;
    int height_;
    size_t rowBytes_;
    std::shared_ptr<gpu::ComputePipelineState> pipeline_;
    std::shared_ptr<gpu::Device> device_;
};

}  // namespace velmar
