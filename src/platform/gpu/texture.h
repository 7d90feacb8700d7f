#pragma once

#include "platform/gpu/gpu_types.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmar::gpu {

class PixelBuffer;

// A 2-D picture the kernels sample and draw into: BGRA8, RGBA8 or RGBA16F rows in CPU memory.
// A texture either owns its memory or views a PixelBuffer's memory without copying; in both
// cases it holds the memory by shared pointer. Made by Device. Reading and writing the bytes
// directly is the caller's business to order against command buffers that use the texture.
class Texture {
public:
    Texture(const TextureDescriptor& descriptor, size_t bytesPerRow,
            std::shared_ptr<uint8_t> memory, std::shared_ptr<PixelBuffer> viewed);

    int width() const { return width_; }
    int height() const { return height_; }
    PixelFormat pixelFormat() const { return pixelFormat_; }
    uint32_t usage() const { return usage_; }
    StorageMode storageMode() const { return storageMode_; }
    size_t bytesPerRow() const { return bytesPerRow_; }

    uint8_t* bytes() const { return memory_.get(); }
    uint8_t* row(int y) const { return memory_.get() + size_t(y) * bytesPerRow_; }
    const std::shared_ptr<uint8_t>& memory() const { return memory_; }

    // The pixel buffer this texture views, or null for a texture with its own memory.
    const std::shared_ptr<PixelBuffer>& pixelBuffer() const { return viewed_; }

    // Copies a whole picture in (upload) or out (read-back); rows of `sourceBytesPerRow` bytes.
    void replaceRegion(const void* source, size_t sourceBytesPerRow);
    void getBytes(void* destination, size_t destinationBytesPerRow) const;

private:
    int width_;
    int height_;
    PixelFormat pixelFormat_;
    uint32_t usage_;
    StorageMode storageMode_;
    size_t bytesPerRow_;
    std::shared_ptr<uint8_t> memory_;
    std::shared_ptr<PixelBuffer> viewed_;
};

// Untyped memory handed to compute kernels (packed output rows, parameter blocks).
class Buffer {
public:
    Buffer(size_t length, std::shared_ptr<uint8_t> memory)
        : length_(length), memory_(std::move(memory)) {}

    size_t length() const { return length_; }
    uint8_t* contents() const { return memory_.get(); }
    const std::shared_ptr<uint8_t>& memory() const { return memory_; }

private:
    size_t length_;
    std::shared_ptr<uint8_t> memory_;
};

}  // namespace velmar::gpu
