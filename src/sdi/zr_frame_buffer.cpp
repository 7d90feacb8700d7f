#include "sdi/zr_frame_buffer.h"

#include <limits>

namespace velmar {

ZRFrameBuffer ZRFrameBuffer::allocate(long long width, long long height, std::size_t rowBytes,
                                      SdiPixelFormat pixelFormat) {
    ZRFrameBuffer buffer;
    if (width < 1 || height < 1 || rowBytes < 1 ||
        static_cast<unsigned long long>(height) >
            std::numeric_limits<std::size_t>::max() / rowBytes) {
        return buffer;
    }
    const std::size_t size = rowBytes * static_cast<std::size_t>(height);
    std::shared_ptr<std::uint8_t[]> block(new std::uint8_t[size]());
    buffer.memory = std::shared_ptr<std::uint8_t>(block, block.get());
    buffer.byteCount = size;
    buffer.width = width;
    buffer.height = height;
    buffer.rowBytes = rowBytes;
    buffer.pixelFormat = pixelFormat;
    return buffer;
}

bool ZRFrameBuffer::holdsAllRows() const {
    if (!memory || height < 0 || rowBytes == 0) return false;
    const auto rows = static_cast<unsigned long long>(height);
    if (rows > std::numeric_limits<std::size_t>::max() / rowBytes) return false;
    return rowBytes * static_cast<std::size_t>(rows) <= byteCount;
}

}  // namespace velmar
