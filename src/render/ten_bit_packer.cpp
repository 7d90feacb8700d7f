#include "render/ten_bit_packer.h"

#include "platform/gpu/command_buffer.h"
#include "platform/gpu/device.h"
#include "platform/gpu/pack_kernels.h"
#include "platform/gpu/texture.h"

#include <algorithm>

namespace velmar {

std::pair<float, float> TenBitPacker::lumaCoefficients(int height) {
    if (height >= 720) return {0.2126f, 0.0722f};
    return {0.299f, 0.114f};
}

TenBitPacker::TenBitPacker(std::shared_ptr<gpu::Device> device,
                           std::shared_ptr<gpu::ComputePipelineState> pipeline, int width,
                           int height, const Format& format)
    : width_(width),
      height_(height),
      rowBytes_((size_t(width) + format.padPixels - 1) / format.padPixels * format.padBytes),
      unitBytes_(format.unitBytes),
      device_(std::move(device)),
      pipeline_(std::move(pipeline)) {}

std::shared_ptr<gpu::ComputePipelineState> TenBitPacker::makePipeline(
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

bool TenBitPacker::encode(const std::shared_ptr<gpu::Texture>& source,
                          const std::shared_ptr<gpu::Buffer>& buffer,
                          gpu::CommandBuffer& commandBuffer) const {
    if (!source || source->width() != width_ || source->height() != height_ ||
        source->pixelFormat() != gpu::PixelFormat::BGRA8Unorm)
        return false;
    if (!buffer || buffer->length() < rowBytes_ * size_t(height_)) return false;
    gpu::ComputeCommandEncoder* encoder = commandBuffer.computeCommandEncoder();
    if (encoder == nullptr) return false;
    const uint32_t units = uint32_t(rowBytes_ / unitBytes_);
    const auto [kr, kb] = lumaCoefficients(height_);
    const gpu::pack::PackParameters parameters{uint32_t(width_), uint32_t(height_), units, kr, kb};
    encoder->setComputePipelineState(pipeline_);
    encoder->setTexture(source, 0);
    encoder->setBuffer(buffer, 0, 0);
    encoder->setBytes(&parameters, sizeof parameters, 1);
    const uint32_t tw = std::min<uint32_t>(pipeline_->threadExecutionWidth(), 64);
    const uint32_t th =
        std::clamp<uint32_t>(pipeline_->maxTotalThreadsPerThreadgroup() / tw, 1, 64);
    encoder->dispatchThreadgroups({(units + tw - 1) / tw, (uint32_t(height_) + th - 1) / th, 1},
                                  {tw, th, 1});
    encoder->endEncoding();
    return true;
}

}  // namespace velmar
