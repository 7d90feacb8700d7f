#include "output/texture_buffer_copy.h"

#include "platform/gpu/command_buffer.h"
#include "platform/gpu/device.h"
#include "platform/gpu/texture.h"

#include <cstring>
#include <mutex>

namespace velmar {

namespace {

constexpr const char* kKernelName = "texture_to_buffer";

struct CopyParameters {
    uint32_t width;
    uint32_t height;
    uint32_t rowBytes;
};

// Texture 0 -> buffer 0, parameters at buffer 1; rows [yBegin, yEnd).
void copyRows(const gpu::ComputeArguments& args, uint32_t yBegin, uint32_t yEnd) {
    const gpu::Texture* texture = args.textures[0];
    if (!texture || !args.buffers[0] || args.bufferLengths[1] < sizeof(CopyParameters)) return;
    CopyParameters p;
    std::memcpy(&p, args.buffers[1], sizeof p);
    const size_t rowLength = size_t(p.width) * 4;
    for (uint32_t y = yBegin; y < yEnd && y < p.height; ++y) {
        const size_t offset = size_t(y) * p.rowBytes;
        if (offset + rowLength > args.bufferLengths[0]) return;
        std::memcpy(args.buffers[0] + offset, texture->row(int(y)), rowLength);
    }
}

}  // namespace

std::unique_ptr<TextureBufferCopy> TextureBufferCopy::create(gpu::Device& device) {
    static std::once_flag registered;
    std::call_once(registered, [] { gpu::registerComputeKernel(kKernelName, &copyRows); });
    auto library = device.newDefaultLibrary();
    auto function = library ? library->newFunction(kKernelName) : nullptr;
    auto pipeline = function ? device.newComputePipelineState(function) : nullptr;
    return pipeline ? std::make_unique<TextureBufferCopy>(std::move(pipeline)) : nullptr;
}

TextureBufferCopy::TextureBufferCopy(std::shared_ptr<gpu::ComputePipelineState> pipeline)
    : pipeline_(std::move(pipeline)) {}

bool TextureBufferCopy::encode(gpu::CommandBuffer& commandBuffer,
                               const std::shared_ptr<gpu::Texture>& texture,
                               const std::shared_ptr<gpu::Buffer>& buffer, int width, int height,
                               int rowBytes) const {
    if (!texture || !buffer || width < 1 || height < 1 || width > texture->width() ||
        height > texture->height() || texture->pixelFormat() != gpu::PixelFormat::BGRA8Unorm ||
        int64_t(rowBytes) < int64_t(width) * 4 ||
        buffer->length() < size_t(rowBytes) * size_t(height))
        return false;
    gpu::ComputeCommandEncoder* encoder = commandBuffer.computeCommandEncoder();
    if (!encoder) return false;
    const CopyParameters parameters{uint32_t(width), uint32_t(height), uint32_t(rowBytes)};
    encoder->setComputePipelineState(pipeline_);
    encoder->setTexture(texture, 0);
    encoder->setBuffer(buffer, 0, 0);
    encoder->setBytes(&parameters, sizeof parameters, 1);
    encoder->dispatchThreads({uint32_t(width), uint32_t(height), 1}, {32, 1, 1});
    encoder->endEncoding();
    return true;
}

}  // namespace velmar
