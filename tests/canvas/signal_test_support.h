#pragma once

#include "canvas/signal_capture.h"
#include "platform/gpu/gpu_types.h"
#include "platform/gpu/pixel_buffer.h"

#include <QImage>

#include <functional>
#include <memory>
#include <ostream>

namespace velmar::test {

struct Pixel {
    int r = 0, g = 0, b = 0, a = 255;
    friend bool operator==(const Pixel&, const Pixel&) = default;
};
inline std::ostream& operator<<(std::ostream& os, const Pixel& p) {
    return os << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

// A 'BGRA' pixel buffer whose pixel (x, y) is f(x, y).
inline std::shared_ptr<gpu::PixelBuffer> bgraBuffer(int w, int h,
                                                    const std::function<Pixel(int, int)>& f) {
    auto buffer = gpu::PixelBuffer::create(w, h, gpu::kPixelFormat32BGRA);
    for (int y = 0; y < h; ++y) {
        uint8_t* p = buffer->baseAddress() + size_t(y) * buffer->bytesPerRow();
        for (int x = 0; x < w; ++x, p += 4) {
            const Pixel c = f(x, y);
            p[0] = uint8_t(c.b), p[1] = uint8_t(c.g), p[2] = uint8_t(c.r), p[3] = uint8_t(c.a);
        }
    }
    return buffer;
}

inline SignalCapture captureOf(const gpu::PixelBuffer& buffer) {
    SignalCapture capture;
    SignalCapture::copy(buffer, capture);
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

}  // namespace velmar::test
