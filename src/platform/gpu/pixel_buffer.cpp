#include "platform/gpu/pixel_buffer.h"

#include "platform/gpu/memory.h"

namespace velmar::gpu {

size_t PixelBuffer::minimumBytesPerRow(int width, uint32_t pixelFormat) {
    if (width < 1) return 0;
    const size_t w = size_t(width);
    switch (pixelFormat) {
        case kPixelFormat32BGRA:
            return w * 4;
        case kPixelFormat64RGBAHalf:
            return w * 8;
        case kPixelFormat422YpCbCr8:
            return (w + 1) / 2 * 4;
        case kPixelFormat422YpCbCr10:
            return (w + 47) / 48 * 128;
        case kPixelFormatAy10:
            return (w + 63) / 64 * 256;
        default:
            return 0;
    }
}

PixelBuffer::PixelBuffer(int width, int height, uint32_t pixelFormat, size_t bytesPerRow,
                         std::shared_ptr<uint8_t> memory)
    : width_(width),
      height_(height),
      pixelFormat_(pixelFormat),
      bytesPerRow_(bytesPerRow),
      memory_(std::move(memory)) {}

std::shared_ptr<PixelBuffer> PixelBuffer::create(int width, int height, uint32_t pixelFormat) {
    if (width < 1 || height < 1 || width > kMaxTextureSide || height > kMaxTextureSide) return {};
    size_t rowBytes = minimumBytesPerRow(width, pixelFormat);
    if (rowBytes == 0) return {};
    rowBytes = (rowBytes + 63) / 64 * 64;
    auto memory = allocateAligned(rowBytes * size_t(height));
    if (!memory) return {};
    return std::make_shared<PixelBuffer>(width, height, pixelFormat, rowBytes, std::move(memory));
}

std::shared_ptr<PixelBuffer> PixelBuffer::wrap(int width, int height, uint32_t pixelFormat,
                                               size_t bytesPerRow,
                                               std::shared_ptr<uint8_t> memory) {
    if (!memory || width < 1 || height < 1 || width > kMaxTextureSide || height > kMaxTextureSide)
        return {};
    const size_t need = minimumBytesPerRow(width, pixelFormat);
    if (need == 0 || bytesPerRow < need) return {};
    return std::make_shared<PixelBuffer>(width, height, pixelFormat, bytesPerRow,
                                         std::move(memory));
}

}  // namespace velmar::gpu
