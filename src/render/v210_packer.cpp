#include "render/v210_packer.h"

#include "platform/gpu/memory.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"

#include <algorithm>
#include <cstring>

namespace velmar {

namespace {
constexpr size_t kGroupBytes = V210Packer::kFormat.unitBytes;  // six pixels
constexpr uint32_t kBlackGroup[4] = {0x20010200, 0x04080040, 0x20010200, 0x04080040};
}  // namespace

std::shared_ptr<V210Packer> V210Packer::create(std::shared_ptr<gpu::Device> device, int width,
                                               int height) {
    return make<V210Packer>(std::move(device), width, height);
}

V210Packer::V210Packer(std::shared_ptr<gpu::Device> device,
                       std::shared_ptr<gpu::ComputePipelineState> pipeline, int width, int height)
    : TenBitPacker(std::move(device), std::move(pipeline), width, height, kFormat) {}

std::vector<uint32_t> V210Packer::blackRow(int width, size_t rowBytes) {
    std::vector<uint32_t> row(rowBytes / 4, 0);
    const size_t groups = width < 1 ? 0 : std::min(rowBytes / kGroupBytes, (size_t(width) + 5) / 6);
    for (size_t g = 0; g < groups; ++g)
        std::copy(kBlackGroup, kBlackGroup + 4, row.begin() + 4 * g);
    return row;
}

std::shared_ptr<gpu::PixelBuffer> V210Packer::makePixelBuffer() const {
    auto buffer = gpu::PixelBuffer::create(width(), height(), gpu::kPixelFormat422YpCbCr10);
    if (!buffer || buffer->bytesPerRow() < rowBytes()) return {};
    const std::vector<uint32_t> black = blackRow(width(), buffer->bytesPerRow());
    for (int y = 0; y < height(); ++y)
        std::memcpy(buffer->baseAddress() + size_t(y) * buffer->bytesPerRow(), black.data(),
                    black.size() * 4);
    return buffer;
}

bool V210Packer::copy(const std::shared_ptr<gpu::Buffer>& buffer,
                      const std::shared_ptr<gpu::PixelBuffer>& pixelBuffer) const {
    // Every size is checked before a byte moves: a short source would be read past its end,
    // a short destination row written past its end, and a picture of another size would go
    // to air cut off or with stale lines.
    if (!buffer || buffer->contents() == nullptr ||
        buffer->length() < rowBytes() * size_t(height()))
        return false;
    if (!pixelBuffer || pixelBuffer->baseAddress() == nullptr ||
        pixelBuffer->pixelFormat() != gpu::kPixelFormat422YpCbCr10 ||
        pixelBuffer->width() != width() || pixelBuffer->height() != height() ||
        pixelBuffer->bytesPerRow() < rowBytes())
        return false;
    const uint8_t* from = buffer->contents();
    uint8_t* to = pixelBuffer->baseAddress();
    const size_t toRow = pixelBuffer->bytesPerRow();
    if (toRow == rowBytes()) {
        gpu::copyBytes(to, from, rowBytes() * size_t(height()));
        return true;
    }
    for (int y = 0; y < height(); ++y) {
        uint8_t* line = to + size_t(y) * toRow;
        gpu::streamBytes(line, from + size_t(y) * rowBytes(), rowBytes());
        std::memset(line + rowBytes(), 0, toRow - rowBytes());
    }
    gpu::streamFence();
    return true;
}

}  // namespace velmar
