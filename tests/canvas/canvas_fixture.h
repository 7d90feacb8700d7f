#pragma once

#include "canvas/canvas_engine.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"
#include "render/still_texture_cache.h"
#include "support/fake_clock.h"

#include <QImage>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>

namespace velmar::test {

// Straight-colour BGRA pixel as the outputs read it.
struct Bgra {
    int b = 0, g = 0, r = 0, a = 0;
    friend bool operator==(const Bgra&, const Bgra&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Bgra& p) {
    return os << "(r " << p.r << " g " << p.g << " b " << p.b << " a " << p.a << ")";
}

// A premultiplied RGBA8 still whose pixels come from f(x, y) -> {r, g, b, a} (straight colour,
// premultiplied here, rounded).
inline ImageRef makeImage(int w, int h, const std::function<Bgra(int, int)>& f) {
    QImage image(w, h, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < h; ++y) {
        uchar* p = image.scanLine(y);
        for (int x = 0; x < w; ++x, p += 4) {
            const Bgra c = f(x, y);
            p[0] = uchar((c.r * c.a + 127) / 255);
            p[1] = uchar((c.g * c.a + 127) / 255);
            p[2] = uchar((c.b * c.a + 127) / 255);
            p[3] = uchar(c.a);
        }
    }
    return std::make_shared<const QImage>(std::move(image));
}

inline ImageRef solidImage(int w, int h, Bgra c) {
    return makeImage(w, h, [c](int, int) { return c; });
}

inline Bgra pixelAt(const gpu::Texture& t, int x, int y) {
    const uint8_t* p = t.row(y) + size_t(x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

// A canvas engine over a state the test sets directly: the output snapshot, the program
// presence, the keyer ramp and the frame rate, on a fake clock and a two-thread device.
struct CanvasFixture : ::testing::Test {
    FakeClock clock;
    StillTextureCache stillCache;
    std::mutex mutex;  // guards what the sources read (SDI renders run on other threads)
    PlayoutEngine::OutputState state;
    double presence = 1;
    DSKController::Snapshot keyer;
    FrameRate frameRate{60000, 1001};
    std::atomic<int> failingRenders{0};  // the next renders meet exhausted memory
    std::unique_ptr<CanvasEngine> canvas;

    void SetUp() override {
        state.canvas = CanvasFormat{96, 64, "test"};
        state.motion = MotionKind::cut;
        state.opacity = 1;
        keyer.generation = QUuid::createUuid();
        makeCanvas();
    }

    void makeCanvas() {
        CanvasEngine::Sources sources;
        sources.outputState = [this] {
            if (failingRenders.load() > 0) {
                --failingRenders;
                throw std::bad_alloc();
            }
            std::lock_guard lock(mutex);
            return PlayoutEngine::OutputSnapshot{std::make_shared<const PlayoutEngine::OutputState>(state),
                                                 presence};
        };
        sources.keyerSnapshot = [this] {
            std::lock_guard lock(mutex);
            return keyer;
        };
        sources.frameRate = [this] {
            std::lock_guard lock(mutex);
            return frameRate;
        };
        CanvasEngine::Options options;
        options.clock = &clock;
        options.device = gpu::Device::create(2);
        options.stillCache = &stillCache;
        canvas = CanvasEngine::create(std::move(sources), options);
        ASSERT_TRUE(canvas);
    }

    void setProgram(ImageRef image) {
        std::lock_guard lock(mutex);
        state.media = PlayoutMedia::still(std::move(image));
    }
    // Keys `image` at a fixed level (a new generation when asked).
    void setKeyer(ImageRef image, double level, bool newGeneration = false) {
        std::lock_guard lock(mutex);
        keyer.media = image ? std::optional(PlayoutMedia::still(std::move(image))) : std::nullopt;
        keyer.from = keyer.to = level;
        keyer.duration = 0;
        if (newGeneration) keyer.generation = QUuid::createUuid();
    }

    std::shared_ptr<MetalRenderer::PixelBufferTexture> target(int w, int h) {
        return canvas->renderer()->makeSharedRenderTarget(w, h);
    }

    // One SDI frame of the canvas size; fails the test when the frame fails.
    std::shared_ptr<gpu::Texture> outputFrame() {
        auto t = target(state.canvas.width, state.canvas.height);
        EXPECT_TRUE(canvas->renderOutputFrame(t->texture));
        return t->texture;
    }

    // One screen frame for a consumer, committed and waited for.
    std::shared_ptr<gpu::Texture> screenFrame(CanvasEngine::Client client, MetalRenderer::CanvasTarget& into,
                                              QSizeF display, std::optional<double> hostTime = std::nullopt) {
        auto cb = canvas->renderer()->commandQueue().commandBuffer();
        auto texture = canvas->renderScreenCanvas(client, into, display, hostTime, *cb);
        cb->commit();
        cb->waitUntilCompleted();
        EXPECT_EQ(cb->status(), gpu::CommandBufferStatus::Completed) << cb->error();
        return texture;
    }
};

}  // namespace velmar::test
