#include "render/v210_packer.h"

#include "render/pack_dispatch.h"

#include "platform/gpu/command_buffer.h"
#include "platform/gpu/device.h"
#include "platform/gpu/pack_kernels.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"

#include <algorithm>
#include <cstring>

namespace velmar {

namespace {
constexpr size_t kGroupBytes = 16;  // one row unit: six pixels
constexpr uint32_t kBlackGroup[4] = {0x20010200, 0x04080040, 0x20010200, 0x04080040};
}  // namespace

std::pair<float, float> V210Packer::lumaCoefficients(int height) {
    if (height >= 720) return {0.2126f, 0.0722f};
    return {0.299f, 0.114f};
}

std::shared_ptr<V210Packer> V210Packer::create(std::shared_ptr<gpu::Device> device, int width,
                                               int height) {
    auto pipeline = PackDispatch::makePipeline(device, width, height, "v210_pack");
    if (!pipeline) return {};
    return std::make_shared<V210Packer>(std::move(device), std::move(pipeline), width, height);
}

V210Packer::V210Packer(std::shared_ptr<gpu::Device> device,
                       std::shared_ptr<gpu::ComputePipelineState> pipeline, int width, int height)
    : width_(width), height_(height), rowBytes_((size_t(width) + 47) / 48 * 128),
      pipeline_(std::move(pipeline)), device_(std::move(device)) {}

bool V210Packer::encode(const std::shared_ptr<gpu::Texture>& source,
                        const std::shared_ptr<gpu::Buffer>& buffer,
                        gpu::CommandBuffer& commandBuffer) const {
    return PackDispatch::encode(pipeline_, source, buffer, commandBuffer, width_, height_, rowBytes_,
                                kGroupBytes);
}

std::vector<uint32_t> V210Packer::blackRow(int width, size_t rowBytes) {
    std::vector<uint32_t> row(rowBytes / 4, 0);
    const size_t groups = width < 1 ? 0 : std::min(rowBytes / kGroupBytes, (size_t(width) + 5) / 6);
    for (size_t g = 0; g < groups; ++g) std::copy(kBlackGroup, kBlackGroup + 4, row.begin() + 4 * g);
    return row;
}

std::shared_ptr<gpu::PixelBuffer> V210Packer::makePixelBuffer() const {
    auto buffer = gpu::PixelBuffer::create(width_, height_, gpu::kPixelFormat422YpCbCr10);
    if (!buffer || buffer->bytesPerRow() < rowBytes_) return {};
    const std::vector<uint32_t> black = blackRow(width_, buffer->bytesPerRow());
    for (int y = 0; y < height_; ++y)
        std::memcpy(buffer->baseAddress() + size_t(y) * buffer->bytesPerRow(), black.data(),
                    black.size() * 4);
    return buffer;
}

bool V210Packer::copy(const std::shared_ptr<gpu::Buffer>& buffer,
                      const std::shared_ptr<gpu::PixelBuffer>& pixelBuffer) const {
    // Every size is checked before a byte moves: a short source would be read past its end,
    // a short destination row written past its end, and a picture of another size would go
    // to air cut off or with stale lines.
    if (!buffer || buffer->contents() == nullptr || buffer->length() < rowBytes_ * size_t(height_))
        return false;
    if (!pixelBuffer || pixelBuffer->baseAddress() == nullptr ||
        pixelBuffer->pixelFormat() != gpu::kPixelFormat422YpCbCr10 ||
        pixelBuffer->width() != width_ || pixelBuffer->height() != height_ ||
        pixelBuffer->bytesPerRow() < rowBytes_)
        return false;
    const uint8_t* from = buffer->contents();
    uint8_t* to = pixelBuffer->baseAddress();
    const size_t toRow = pixelBuffer->bytesPerRow();
    if (toRow == rowBytes_) {
        std::memcpy(to, from, rowBytes_ * size_t(height_));
        return true;
    }
    for (int y = 0; y < height_; ++y) {
        uint8_t* line = to + size_t(y) * toRow;
        std::memcpy(line, from + size_t(y) * rowBytes_, rowBytes_);
        std::memset(line + rowBytes_, 0, toRow - rowBytes_);
    }
    return true;
}

}  // namespace velmar
