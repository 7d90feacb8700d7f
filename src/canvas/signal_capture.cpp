#include "canvas/signal_capture.h"

#include "platform/gpu/gpu_types.h"
#include "platform/gpu/pixel_buffer.h"

#include <cstring>

namespace velmar {

int SignalCapture::stepFor(int width) {
    return width < 1 ? 1 : (width + 639) / 640;
}

bool SignalCapture::copy(const gpu::PixelBuffer& buffer, SignalCapture& into) {
    if (buffer.pixelFormat() != gpu::kPixelFormat32BGRA) return false;
    const std::uint8_t* base = buffer.baseAddress();
    const int width = buffer.width();
    const int height = buffer.height();
    if (base == nullptr || width < 1 || height < 1) return false;
    const std::size_t rowBytes = 4 * std::size_t(width);
    if (buffer.bytesPerRow() < rowBytes) return false;

    const int step = stepFor(width);
    const int rowCount = (height + step - 1) / step;
    into.bytes.resize(std::size_t(rowCount) * rowBytes);
    for (int r = 0; r < rowCount; ++r)
        std::memcpy(into.bytes.data() + std::size_t(r) * rowBytes,
                    base + std::size_t(r) * std::size_t(step) * buffer.bytesPerRow(), rowBytes);
    into.width = width;
    into.height = height;
    into.rowCount = rowCount;
    into.step = step;
    return true;
}

}  // namespace velmar
