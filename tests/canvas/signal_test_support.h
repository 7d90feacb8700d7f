#pragma once

#include "canvas/signal_capture.h"
#include "platform/gpu/gpu_types.h"
#include "platform/gpu/pixel_buffer.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>

namespace velmar::test {

struct Pixel {
    int r = 0, g = 0, b = 0, a = 255;
};

// A 'BGRA' pixel buffer whose pixel (x, y) is f(x, y).
inline std::shared_ptr<gpu::PixelBuffer> bgraBuffer(int w, int h,
                                                    const std::function<Pixel(int, int)>& f) {
    auto buffer = gpu::PixelBuffer::create(w, h, gpu::kPixelFormat32BGRA);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = buffer->baseAddress() + std::size_t(y) * buffer->bytesPerRow();
        for (int x = 0; x < w; ++x) {
            const Pixel p = f(x, y);
            row[4 * x + 0] = std::uint8_t(p.b);
            row[4 * x + 1] = std::uint8_t(p.g);
            row[4 * x + 2] = std::uint8_t(p.r);
            row[4 * x + 3] = std::uint8_t(p.a);
        }
    }
    return buffer;
}

inline SignalCapture captureOf(const gpu::PixelBuffer& buffer) {
    SignalCapture capture;
    if (!SignalCapture::copy(buffer, capture)) return {};
    return capture;
}

inline SignalCapture solidCapture(int w, int h, Pixel p) {
    return captureOf(*bgraBuffer(w, h, [p](int, int) { return p; }));
}

// R, G, B, A of an RGBA8888 image pixel.
inline Pixel rgbaAt(const QImage& image, int x, int y) {
    const uchar* p = image.constScanLine(y) + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

inline bool operator==(const Pixel& a, const Pixel& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}
inline std::ostream& operator<<(std::ostream& os, const Pixel& p) {
    return os << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

}  // namespace velmar::test
