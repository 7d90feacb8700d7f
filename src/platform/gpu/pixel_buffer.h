#pragma once

#include "platform/gpu/gpu_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmar::gpu {

// A picture in CPU memory that outputs hand around without copying: the SDI card's frames,
// the network-video feed and the signal probe read the same bytes that a texture view of the
// buffer was drawn into. The memory is held by shared pointer; every texture made over the
// buffer holds it too, so a view never outlives its memory. Thread-safe to read; writers
// coordinate through the command buffers that draw into it.
class PixelBuffer {
  public:
    // A new zero-filled buffer. Rows are padded to 64 bytes, except v210 and Ay10 whose rows
    // are padded to whole pixel groups (128 bytes per 48 pixels, 256 bytes per 64 pixels).
    // Null for sizes below 1, sides above the device limit or an unknown format.
    static std::shared_ptr<PixelBuffer> create(int width, int height, uint32_t pixelFormat);

    // A buffer over memory owned elsewhere (a card's frame, a sender's slot). Null when the
    // memory is missing or the row length is too short for the format.
    static std::shared_ptr<PixelBuffer> wrap(int width, int height, uint32_t pixelFormat,
                                             size_t bytesPerRow, std::shared_ptr<uint8_t> memory);

    // The shortest row the format needs (before padding); 0 for an unknown format.
    static size_t minimumBytesPerRow(int width, uint32_t pixelFormat);

    int width() const { return width_; }
    int height() const { return height_; }
    uint32_t pixelFormat() const { return pixelFormat_; }
    size_t bytesPerRow() const { return bytesPerRow_; }
    size_t dataSize() const { return bytesPerRow_ * size_t(height_); }
    uint8_t* baseAddress() const { return memory_.get(); }
    const std::shared_ptr<uint8_t>& memory() const { return memory_; }

    PixelBuffer(int width, int height, uint32_t pixelFormat, size_t bytesPerRow,
                std::shared_ptr<uint8_t> memory);

  private:
    int width_;
    int height_;
    uint32_t pixelFormat_;
    size_t bytesPerRow_;
    std::shared_ptr<uint8_t> memory_;
};

}  // namespace velmar::gpu
