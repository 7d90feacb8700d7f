#include "platform/gpu/blit_encoder.h"

#include "platform/gpu/command_buffer.h"
#include "platform/gpu/device.h"
#include "platform/gpu/memory.h"
#include "platform/gpu/texture.h"

#include <cstdint>
#include <cstring>

namespace velmar::gpu {
namespace {

// Parameters of one copy, handed to the kernel as inline bytes.
struct CopyParams {
    int32_t x = 0;
    int32_t y = 0;
    uint32_t rowBytes = 0;     // bytes copied per row
    uint32_t bytesPerRow = 0;  // destination row pitch (buffer copies)
};

// Rows are copied with the wide copy (memory.h), not memcpy, whose method for rows of a frame
// is several times slower than memory on some processors; the copies are read by another
// thread later (an output sending the frame), so they go to memory with non-temporal stores.

// Texture 0 -> buffer 0, rows yBegin..yEnd of the region.
void copyToBufferKernel(const ComputeArguments& args, uint32_t yBegin, uint32_t yEnd) {
    CopyParams p;
    std::memcpy(&p, args.buffers[1], sizeof p);
    const Texture& source = *args.textures[0];
    const size_t pixel = size_t(bytesPerPixel(source.pixelFormat()));
    for (uint32_t y = yBegin; y < yEnd; ++y)
        streamBytes(args.buffers[0] + size_t(y) * p.bytesPerRow,
                    source.row(p.y + int(y)) + size_t(p.x) * pixel, p.rowBytes);
    streamFence();
}

// Texture 0 -> texture 1, whole rows.
void copyToTextureKernel(const ComputeArguments& args, uint32_t yBegin, uint32_t yEnd) {
    CopyParams p;
    std::memcpy(&p, args.buffers[1], sizeof p);
    for (uint32_t y = yBegin; y < yEnd; ++y)
        streamBytes(args.textures[1]->row(int(y)), args.textures[0]->row(int(y)), p.rowBytes);
    streamFence();
}

const std::shared_ptr<ComputePipelineState>& toBufferPipeline() {
    static const auto pipeline =
        std::make_shared<ComputePipelineState>("blit_texture_to_buffer", &copyToBufferKernel);
    return pipeline;
}

const std::shared_ptr<ComputePipelineState>& toTexturePipeline() {
    static const auto pipeline =
        std::make_shared<ComputePipelineState>("blit_texture_to_texture", &copyToTextureKernel);
    return pipeline;
}

}  // namespace

std::unique_ptr<BlitCommandEncoder> CommandBuffer::makeBlitCommandEncoder() {
    return std::make_unique<BlitCommandEncoder>(*this);
}

BlitCommandEncoder::BlitCommandEncoder(CommandBuffer& owner) : owner_(owner) {}

bool BlitCommandEncoder::copyTextureToBuffer(const std::shared_ptr<Texture>& texture,
                                             BlitRegion region,
                                             const std::shared_ptr<Buffer>& buffer, size_t offset,
                                             size_t bytesPerRow, size_t bytesPerImage) {
    if (ended_ || !texture || !buffer) return false;
    if (region.x < 0 || region.y < 0 || region.width < 1 || region.height < 1 ||
        region.x + region.width > texture->width() || region.y + region.height > texture->height())
        return false;
    const size_t rowBytes = size_t(region.width) * size_t(bytesPerPixel(texture->pixelFormat()));
    if (bytesPerRow < rowBytes) return false;
    const size_t imageBytes = size_t(region.height - 1) * bytesPerRow + rowBytes;
    if (bytesPerImage != 0 && bytesPerImage < imageBytes) return false;
    if (offset > buffer->length() || buffer->length() - offset < imageBytes) return false;
    ComputeCommandEncoder* encoder = owner_.computeCommandEncoder();
    if (!encoder) return false;
    const CopyParams params{region.x, region.y, uint32_t(rowBytes), uint32_t(bytesPerRow)};
    encoder->setComputePipelineState(toBufferPipeline());
    encoder->setTexture(texture, 0);
    encoder->setBuffer(buffer, offset, 0);
    encoder->setBytes(&params, sizeof params, 1);
    encoder->dispatchThreads({1, uint32_t(region.height), 1}, {1, 1, 1});
    encoder->endEncoding();
    return true;
}

bool BlitCommandEncoder::copyTextureToTexture(const std::shared_ptr<Texture>& source,
                                              const std::shared_ptr<Texture>& destination) {
    if (ended_ || !source || !destination || source == destination) return false;
    if (source->width() != destination->width() || source->height() != destination->height() ||
        source->pixelFormat() != destination->pixelFormat())
        return false;
    ComputeCommandEncoder* encoder = owner_.computeCommandEncoder();
    if (!encoder) return false;
    const CopyParams params{
        0, 0, uint32_t(size_t(source->width()) * size_t(bytesPerPixel(source->pixelFormat()))), 0};
    encoder->setComputePipelineState(toTexturePipeline());
    encoder->setTexture(source, 0);
    encoder->setTexture(destination, 1);
    encoder->setBytes(&params, sizeof params, 1);
    encoder->dispatchThreads({1, uint32_t(source->height()), 1}, {1, 1, 1});
    encoder->endEncoding();
    return true;
}

void BlitCommandEncoder::endEncoding() {
    ended_ = true;
}

}  // namespace velmar::gpu
