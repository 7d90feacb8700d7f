#pragma once

#include <cstddef>
#include <memory>

namespace velmar::gpu {

class Buffer;
class CommandBuffer;
class ComputePipelineState;
class Texture;

// A rectangle of texels: origin (x, y), top row first, and size.
struct BlitRegion {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Records copies between textures and buffers on a command buffer. The copies run in order
// with the buffer's other work (they are compute dispatches underneath), so a copy encoded
// after a render pass sees that pass's result. A copy the encoder cannot do (a region outside
// the texture, a buffer too short, mismatched textures) answers false and encodes nothing.
// Made by CommandBuffer::makeBlitCommandEncoder(); use it on the thread that encodes.
class BlitCommandEncoder {
  public:
    explicit BlitCommandEncoder(CommandBuffer& owner);

    // Copies `region` of the texture into the buffer from `offset`, each row `bytesPerRow`
    // bytes apart. `bytesPerImage` is the size of one image in the buffer (0 = rows x
    // bytesPerRow); it must hold the region.
    bool copyTextureToBuffer(const std::shared_ptr<Texture>& texture, BlitRegion region,
                             const std::shared_ptr<Buffer>& buffer, size_t offset,
                             size_t bytesPerRow, size_t bytesPerImage);
    // Copies the whole of `source` into `destination` (same size and pixel format).
    bool copyTextureToTexture(const std::shared_ptr<Texture>& source,
                              const std::shared_ptr<Texture>& destination);
    void endEncoding();

  private:
    CommandBuffer& owner_;
    bool ended_ = false;
};

}  // namespace velmar::gpu
