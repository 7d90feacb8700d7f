#pragma once

// Helpers for the packer tests: a device with its queue, BGRA textures from pixels or images,
// running one packer encode to completion, and reading the fields of packed rows.
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/texture.h"

#include <QImage>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace velmar::test {

struct PackRig {
    std::shared_ptr<gpu::Device> device = gpu::Device::create(2);
    std::shared_ptr<gpu::CommandQueue> queue = device->newCommandQueue();

    std::shared_ptr<gpu::Texture> texture(int w, int h, const std::vector<uint32_t>& bgra,
                                          gpu::PixelFormat format = gpu::PixelFormat::BGRA8Unorm) {
        auto t = device->newTexture(
            {format, w, h, gpu::TextureUsageShaderRead, gpu::StorageMode::Shared});
        if (t) t->replaceRegion(bgra.data(), size_t(w) * 4);
        return t;
    }

    // The image (RGBA8888 premultiplied, as the test patterns are) as a BGRA canvas texture.
    std::shared_ptr<gpu::Texture> texture(const QImage& image) {
        const QImage bgra = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        std::vector<uint32_t> px(size_t(bgra.width()) * size_t(bgra.height()));
        for (int y = 0; y < bgra.height(); ++y)
            std::memcpy(px.data() + size_t(y) * size_t(bgra.width()), bgra.constScanLine(y),
                        size_t(bgra.width()) * 4);
        return texture(bgra.width(), bgra.height(), px);
    }

    std::shared_ptr<gpu::Buffer> buffer(size_t bytes, uint8_t fill) {
        auto b = device->newBuffer(bytes);
        if (b) std::memset(b->contents(), fill, bytes);
        return b;
    }

    // Runs encode(source, buffer, commandBuffer) of a packer, commits and waits; returns what
    // encode answered.
    template <typename Packer>
    bool pack(const Packer& packer, const std::shared_ptr<gpu::Texture>& source,
              const std::shared_ptr<gpu::Buffer>& out) {
        auto cb = queue->commandBuffer();
        const bool ok = packer.encode(source, out, *cb);
        cb->commit();
        cb->waitUntilCompleted();
        return ok && cb->status() == gpu::CommandBufferStatus::Completed;
    }
};

inline uint32_t wordAt(const uint8_t* bytes, size_t index) {
    uint32_t v;
    std::memcpy(&v, bytes + 4 * index, 4);
    return v;
}

// Y', Cb, Cr of pixel x of a v210 row (Cb / Cr of its pair).
struct Ycc {
    int y = 0, cb = 0, cr = 0;
};
inline Ycc v210Pixel(const uint8_t* row, int x) {
    auto sample = [&](int i) {  // the i-th ten-bit field of the row
        return int((wordAt(row, size_t(i / 3)) >> (10 * (i % 3))) & 1023);
    };
    const int group = x / 6, k = x % 6, base = group * 12, pair = k / 2;
    return {sample(base + 2 * k + 1), sample(base + 4 * pair), sample(base + 4 * pair + 2)};
}

}  // namespace velmar::test
