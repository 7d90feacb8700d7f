#pragma once

#include <cstddef>
#include <memory>

namespace velmar {

namespace gpu {
class Buffer;
class CommandBuffer;
class ComputePipelineState;
class Device;
class Texture;
}  // namespace gpu

// What the 10-bit packers share: making the pipeline of their compute function, and recording
// one dispatch that turns a BGRA8 canvas of the packer's size into rows of `unitBytes`-sized
// units. Both refuse the same things: a size outside the device's limits, another source size
// or format, a buffer shorter than rowBytes * height.
struct PackDispatch {
    static std::shared_ptr<gpu::ComputePipelineState> makePipeline(
        const std::shared_ptr<gpu::Device>& device, int width, int height, const char* function);

    static bool encode(const std::shared_ptr<gpu::ComputePipelineState>& pipeline,
                       const std::shared_ptr<gpu::Texture>& source,
                       const std::shared_ptr<gpu::Buffer>& buffer,
                       gpu::CommandBuffer& commandBuffer, int width, int height, size_t rowBytes,
                       size_t unitBytes);
};

}  // namespace velmar
