#include "platform/gpu/texture.h"

#include "platform/gpu/memory.h"
#include "platform/gpu/pixel_buffer.h"

#include <algorithm>
#include <cstring>

namespace velmar::gpu {

namespace {
uint64_t nextId() {
    static std::atomic<uint64_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}
}  // namespace

int bytesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::BGRA8Unorm:
        case PixelFormat::RGBA8Unorm:
            return 4;
        case PixelFormat::RGBA16Float:
            return 8;
    }
    return 4;
}

Texture::Texture(const TextureDescriptor& d, size_t bytesPerRow, std::shared_ptr<uint8_t> memory,
                 std::shared_ptr<PixelBuffer> viewed)
    : width_(d.width),
      height_(d.height),
      pixelFormat_(d.pixelFormat),
      usage_(d.usage),
      storageMode_(d.storageMode),
      bytesPerRow_(bytesPerRow),
      memory_(std::move(memory)),
      viewed_(std::move(viewed)),
      id_(nextId()) {}

bool Texture::contentIsTracked() const {
    if (viewed_) return false;
    return storageMode_ == StorageMode::Private ||
           (usage_ & (TextureUsageRenderTarget | TextureUsageShaderWrite)) == 0;
}

void Texture::replaceRegion(const void* source, size_t sourceBytesPerRow) {
    const size_t rowBytes = size_t(width_) * size_t(bytesPerPixel(pixelFormat_));
    const auto* src = static_cast<const uint8_t*>(source);
    markWritten();
    if (sourceBytesPerRow == bytesPerRow_ && rowBytes == bytesPerRow_) {
        copyBytes(memory_.get(), src, rowBytes * size_t(height_));
        return;
    }
    for (int y = 0; y < height_; ++y)
        copyBytes(row(y), src + size_t(y) * sourceBytesPerRow,
                  std::min(rowBytes, sourceBytesPerRow));
}

void Texture::getBytes(void* destination, size_t destinationBytesPerRow) const {
    const size_t rowBytes = size_t(width_) * size_t(bytesPerPixel(pixelFormat_));
    auto* dst = static_cast<uint8_t*>(destination);
    for (int y = 0; y < height_; ++y)
        copyBytes(dst + size_t(y) * destinationBytesPerRow, row(y),
                  std::min(rowBytes, destinationBytesPerRow));
}

}  // namespace velmar::gpu
