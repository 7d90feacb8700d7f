#include "render/ay10_packer.h"

#include "render/pack_dispatch.h"

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
    auto pipeline = PackDispatch::makePipeline(device, width, height, "ay10_pack");
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
    return PackDispatch::encode(pipeline_, source, buffer, commandBuffer, width_, height_, rowBytes_,
                                kUnitBytes);
}

}  // namespace velmar
