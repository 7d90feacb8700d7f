#include "render/ay10_packer.h"

namespace velmar {

std::shared_ptr<AY10Packer> AY10Packer::create(std::shared_ptr<gpu::Device> device, int width,
                                               int height) {
    return make<AY10Packer>(std::move(device), width, height);
}

AY10Packer::AY10Packer(std::shared_ptr<gpu::Device> device,
                       std::shared_ptr<gpu::ComputePipelineState> pipeline, int width, int height)
    : TenBitPacker(std::move(device), std::move(pipeline), width, height, kFormat) {}

}  // namespace velmar
