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
#include <cmath>
#include <cstring>
#include <functional>
#include <future>
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

inline bool allPixels(const gpu::Texture& t, Bgra want) {
    for (int y = 0; y < t.height(); ++y)
        for (int x = 0; x < t.width(); ++x)
            if (!(pixelAt(t, x, y) == want)) return false;
    return true;
}

// Whether every channel is within `tolerance`.
inline bool nearly(Bgra got, Bgra want, int tolerance) {
    return std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
           std::abs(got.b - want.b) <= tolerance && std::abs(got.a - want.a) <= tolerance;
}

// Straight colour of premultiplied bytes p (R, G, B, A) as BGRA, rounded.
inline Bgra straightOf(const uchar* p) {
    if (p[3] == 0) return {};
    auto c = [&](int v) { return std::min(255, int(std::floor(v * 255.0 / p[3] + 0.5))); };
    return {c(p[2]), c(p[1]), c(p[0]), p[3]};
}

// Independent model of the keyer: premultiplied key bytes at `level` over a straight program
// pixel, in plain arithmetic; straight output, or premultiplied when asked.
inline Bgra keyedOver(Bgra program, const uchar* key, double level, bool premultipliedOut = false) {
    const double ka = key[3] / 255.0 * level, pa = program.a / 255.0;
    const double alpha = ka + pa * (1 - ka);
    if (alpha <= 0) return {};
    auto mix = [&](int k, int p) {
        const double keyStraight = key[3] == 0 ? 0.0 : key[k] * 255.0 / key[3];
        const double premultiplied = keyStraight * ka + p * pa * (1 - ka);
        return int(std::lround(premultipliedOut ? premultiplied : premultiplied / alpha));
    };
    return {mix(2, program.b), mix(1, program.g), mix(0, program.r), int(std::lround(alpha * 255))};
}

// Every pixel of `out` against the keyer model over `program` (straight): exact where the key
// is transparent, within one step elsewhere. Reports the first few mismatches.
inline void expectKeyed(const gpu::Texture& out, const QImage& key, double level,
                        const std::function<Bgra(int, int)>& program,
                        bool premultipliedOut = false) {
    int mismatches = 0;
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const uchar* k = key.constScanLine(y) + x * 4;
            const Bgra want = k[3] == 0 && !premultipliedOut
                                  ? program(x, y)
                                  : keyedOver(program(x, y), k, level, premultipliedOut);
            const Bgra got = pixelAt(out, x, y);
            if (!nearly(got, want, k[3] == 0 ? 0 : 1) && ++mismatches <= 5)
                ADD_FAILURE() << "at " << x << "," << y << " got " << got << " want " << want;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// A canvas engine over a state the test sets directly: the output snapshot, the program
// presence, the keyer ramp and the frame rate, on a fake clock and a two-thread device.
struct CanvasFixture : ::testing::Test {
    FakeClock clock;
    StillTextureCache stillCache;
    std::mutex mutex;  // guards what the sources read (SDI renders run on other threads)
    OutputState state;
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
            return OutputSnapshot{std::make_shared<const OutputState>(state), presence};
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

    // A probe frame into `into`: whether it rendered, and the key alpha mode it was made in.
    std::pair<bool, KeyAlphaMode> probeFrame(const std::shared_ptr<gpu::Texture>& into) {
        std::promise<std::pair<bool, KeyAlphaMode>> result;
        canvas->renderProbeFrame(into, [&](bool ok, KeyAlphaMode mode) {
            result.set_value({ok, mode});
        });
        return result.get_future().get();
    }

    // One screen frame for a consumer, committed and waited for.
    std::shared_ptr<gpu::Texture> screenFrame(CanvasEngine::Client client,
                                              MetalRenderer::CanvasTarget& into, QSizeF display,
                                              std::optional<double> hostTime = std::nullopt) {
        auto cb = canvas->renderer()->commandQueue().commandBuffer();
        auto texture = canvas->renderScreenCanvas(client, into, display, hostTime, *cb);
        cb->commit();
        cb->waitUntilCompleted();
        EXPECT_EQ(cb->status(), gpu::CommandBufferStatus::Completed) << cb->error();
        return texture;
    }
};

}  // namespace velmar::test
