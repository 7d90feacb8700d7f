#include "render/pack_dispatch.h"

#include "platform/gpu/command_buffer.h"
#include "platform/gpu/device.h"
#include "platform/gpu/pack_kernels.h"
#include "platform/gpu/texture.h"
#include "render/v210_packer.h"

#include <algorithm>

namespace velmar {

std::shared_ptr<gpu::ComputePipelineState> PackDispatch::makePipeline(
    const std::shared_ptr<gpu::Device>& device, int width, int height, const char* function) {
    if (!device || width < 1 || height < 1 || width > gpu::kMaxTextureSide ||
        height > gpu::kMaxTextureSide)
        return {};
    auto library = device->newDefaultLibrary();
    if (!library) return {};
    auto kernel = library->newFunction(function);
    if (!kernel) return {};
    return device->newComputePipelineState(kernel);
}

bool PackDispatch::encode(const std::shared_ptr<gpu::ComputePipelineState>& pipeline,
                          const std::shared_ptr<gpu::Texture>& source,
                          const std::shared_ptr<gpu::Buffer>& buffer,
                          gpu::CommandBuffer& commandBuffer, int width, int height,
                          size_t rowBytes, size_t unitBytes) {
    if (!source || source->width() != width || source->height() != height ||
        source->pixelFormat() != gpu::PixelFormat::BGRA8Unorm)
        return false;
    if (!buffer || buffer->length() < rowBytes * size_t(height)) return false;
    gpu::ComputeCommandEncoder* encoder = commandBuffer.computeCommandEncoder();
    if (encoder == nullptr) return false;
    const uint32_t units = uint32_t(rowBytes / unitBytes);
    const auto [kr, kb] = V210Packer::lumaCoefficients(height);
    const gpu::pack::PackParameters parameters{uint32_t(width), uint32_t(height), units, kr, kb};
    encoder->setComputePipelineState(pipeline);
    encoder->setTexture(source, 0);
    encoder->setBuffer(buffer, 0, 0);
    encoder->setBytes(&parameters, sizeof parameters, 1);
    const uint32_t tw = std::min<uint32_t>(pipeline->threadExecutionWidth(), 64);
    const uint32_t th = std::clamp<uint32_t>(pipeline->maxTotalThreadsPerThreadgroup() / tw, 1, 64);
    encoder->dispatchThreadgroups({(units + tw - 1) / tw, (uint32_t(height) + th - 1) / th, 1},
                                  {tw, th, 1});
    encoder->endEncoding();
    return true;
}

}  // namespace velmar
