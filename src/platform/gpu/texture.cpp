#include "platform/gpu/texture.h"

#include "platform/gpu/pixel_buffer.h"

#include <algorithm>
#include <cstring>

namespace velmar::gpu {

int bytesPerPixel(PixelFormat format) {
    switch (format) {
    case PixelFormat::BGRA8Unorm:
    case PixelFormat::RGBA8Unorm: return 4;
    case PixelFormat::RGBA16Float: return 8;
    }
    return 4;
}

Texture::Texture(const TextureDescriptor& d, size_t bytesPerRow, std::shared_ptr<uint8_t> memory,
                 std::shared_ptr<PixelBuffer> viewed)
    : width_(d.width), height_(d.height), pixelFormat_(d.pixelFormat), usage_(d.usage),
      storageMode_(d.storageMode), bytesPerRow_(bytesPerRow), memory_(std::move(memory)),
      viewed_(std::move(viewed)) {}

void Texture::replaceRegion(const void* source, size_t sourceBytesPerRow) {
    const size_t rowBytes = size_t(width_) * size_t(bytesPerPixel(pixelFormat_));
    const auto* src = static_cast<const uint8_t*>(source);
    if (sourceBytesPerRow == bytesPerRow_ && rowBytes == bytesPerRow_) {
        std::memcpy(memory_.get(), src, rowBytes * size_t(height_));
        return;
    }
    for (int y = 0; y < height_; ++y)
        std::memcpy(row(y), src + size_t(y) * sourceBytesPerRow, std::min(rowBytes, sourceBytesPerRow));
}

void Texture::getBytes(void* destination, size_t destinationBytesPerRow) const {
    const size_t rowBytes = size_t(width_) * size_t(bytesPerPixel(pixelFormat_));
    auto* dst = static_cast<uint8_t*>(destination);
    for (int y = 0; y < height_; ++y)
        std::memcpy(dst + size_t(y) * destinationBytesPerRow, row(y),
                    std::min(rowBytes, destinationBytesPerRow));
}

}  // namespace velmar::gpu
