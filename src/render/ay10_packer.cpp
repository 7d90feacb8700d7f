#include "render/ay10_packer.h"

#include "platform/gpu/command_buffer.h"
#include "platform/gpu/device.h"
#include "platform/gpu/pack_kernels.h"
#include "platform/gpu/texture.h"
#include "render/v210_packer.h"

#include <algorithm>

namespace velmar {

namespace {
constexpr size_t kUnitBytes = 8;  // one row unit: two pixels
}  // namespace

std::shared_ptr<AY10Packer> AY10Packer::create(std::shared_ptr<gpu::Device> device, int width,
                                               int height) {
    if (!device || width < 1 || height < 1 || width > gpu::kMaxTextureSide ||
        height > gpu::kMaxTextureSide)
        return {};
    auto library = device->newDefaultLibrary();
    if (!library) return {};
    auto function = library->newFunction("ay10_pack");
    if (!function) return {};
    auto pipeline = device->newComputePipelineState(function);
    if (!pipeline) return {};
    return std::make_shared<AY10Packer>(std::move(device), std::move(pipeline), width, height);
}

AY10Packer::AY10Packer(std::shared_ptr<gpu::Device> device,
                       std::shared_ptr<gpu::ComputePipelineState> pipeline, int width, int height)
    : width_(width), height_(height), rowBytes_((size_t(width) + 63) / 64 * 256),
      device_(std::move(device)), pipeline_(std::move(pipeline)) {}

bool AY10Packer::encode(const std::shared_ptr<gpu::Texture>& source,
                        const std::shared_ptr<gpu::Buffer>& buffer,
                        gpu::CommandBuffer& commandBuffer) const {
    if (!source || source->width() != width_ || source->height() != height_ ||
        source->pixelFormat() != gpu::PixelFormat::BGRA8Unorm)
        return false;
    if (!buffer || buffer->length() < rowBytes_ * size_t(height_)) return false;
    gpu::ComputeCommandEncoder* encoder = commandBuffer.computeCommandEncoder();
    if (encoder == nullptr) return false;
    const uint32_t units = uint32_t(rowBytes_ / kUnitBytes);
    const auto [kr, kb] = V210Packer::lumaCoefficients(height_);
    const gpu::pack::PackParameters parameters{uint32_t(width_), uint32_t(height_), units, kr, kb};
    encoder->setComputePipelineState(pipeline_);
    encoder->setTexture(source, 0);
    encoder->setBuffer(buffer, 0, 0);
    encoder->setBytes(&parameters, sizeof parameters, 1);
    const uint32_t tw = std::min<uint32_t>(pipeline_->threadExecutionWidth(), 64);
    const uint32_t th = std::clamp<uint32_t>(pipeline_->maxTotalThreadsPerThreadgroup() / tw, 1, 64);
    encoder->dispatchThreadgroups({(units + tw - 1) / tw, (uint32_t(height_) + th - 1) / th, 1},
                                  {tw, th, 1});
    encoder->endEncoding();
    return true;
}

}  // namespace velmar
