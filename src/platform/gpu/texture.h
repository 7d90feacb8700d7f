#pragma once

#include "platform/gpu/gpu_types.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

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

    // A number no other texture of the process has, and a count of the writes the device
    // knows of (uploads, passes drawn into it, dispatches it was bound to).
    uint64_t id() const { return id_; }
    uint64_t contentVersion() const { return version_.load(std::memory_order_acquire); }
    void markWritten() { version_.fetch_add(1, std::memory_order_acq_rel); }

    // Whether every change of the bytes is counted in contentVersion: own memory that is
    // either written only through replaceRegion (stills) or private to the device (layer
    // targets, which only passes draw into). Pixel-buffer views (movie frames, output frames)
    // and shared render targets are not.
    bool contentIsTracked() const;

    // The state below lets the executor skip work at rest. It belongs to the first command
    // queue that claims it; other queues never read or change it (they simply do the work).
    bool claimState(const void* queue) {
        const void* expected = nullptr;
        return owner_.compare_exchange_strong(expected, queue) || expected == queue;
    }

    // What a reusable render pass left in this texture (see RenderPassDescriptor::reusable):
    // the words the executor derives from the pass, valid while no write has followed (the
    // content version is still the one after that pass). Owner's worker only.
    using PassSignature = std::array<uint64_t, 16>;
    bool holdsPass(const PassSignature& signature) const {
        return signature == heldPass_ && heldVersion_ == contentVersion();
    }
    // The signature of the last reusable pass drawn here, held or not.
    const PassSignature& lastPass() const { return heldPass_; }
    void setHeldPass(const PassSignature& signature) {
        heldPass_ = signature;
        heldVersion_ = contentVersion();
    }

    // The last composite that read this texture as its program layer (or the last draw of it
    // as a still onto an output frame), kept by the executor so that a frame at rest is copied
    // rather than drawn again: what it read, whether `pixels` holds its result, and those
    // pixels (target-sized, made on first use). Owner's worker only.
    struct CompositeMemo {
        PassSignature signature{};
        bool filled = false;
        std::shared_ptr<uint8_t> pixels;
        size_t bytes = 0;
    };
    CompositeMemo& compositeMemo() { return memo_; }

    // Which rows of the last reusable pass stored here (or of a still sampled by layers) are
    // wholly transparent (every alpha 0), valid while the content version is `version`;
    // `seenVersion`: the content a layer last sampled. Owner's worker only.
    struct TransparentRows {
        uint64_t version = 0;
        uint64_t seenVersion = ~uint64_t(0);
        std::vector<uint8_t> rows;
    };
    TransparentRows& transparentRows() { return transparentRows_; }

  private:
    int width_;
    int height_;
    PixelFormat pixelFormat_;
    uint32_t usage_;
    StorageMode storageMode_;
    size_t bytesPerRow_;
    std::shared_ptr<uint8_t> memory_;
    std::shared_ptr<PixelBuffer> viewed_;
    uint64_t id_;
    std::atomic<uint64_t> version_{0};
    std::atomic<const void*> owner_{nullptr};
    PassSignature heldPass_{};
    uint64_t heldVersion_ = 0;
    CompositeMemo memo_;
    TransparentRows transparentRows_;
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
