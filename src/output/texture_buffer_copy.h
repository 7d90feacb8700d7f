#pragma once

#include <memory>

namespace velmar {

namespace gpu {
class Buffer;
class CommandBuffer;
class ComputePipelineState;
class Device;
class Texture;
}  // namespace gpu

// Copies a BGRA8 texture into a buffer of tightly packed rows as GPU work, in order with the
// drawing on the same command buffer (a compute pass of the kernel "texture_to_buffer").
class TextureBufferCopy {
  public:
    // Null when the device cannot make the pipeline.
    static std::unique_ptr<TextureBufferCopy> create(gpu::Device& device);
    explicit TextureBufferCopy(std::shared_ptr<gpu::ComputePipelineState> pipeline);

    // Encodes the copy of width x height pixels (at most the texture's size) into `buffer` at
    // rows of `rowBytes`; false when the buffer is too small or the command buffer refuses a pass.
    bool encode(gpu::CommandBuffer& commandBuffer, const std::shared_ptr<gpu::Texture>& texture,
                const std::shared_ptr<gpu::Buffer>& buffer, int width, int height,
                int rowBytes) const;

  private:
    std::shared_ptr<gpu::ComputePipelineState> pipeline_;
};

}  // namespace velmar
