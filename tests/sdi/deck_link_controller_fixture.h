#pragma once

#include "canvas/canvas_engine.h"
#include "core/sdi_audio_bridge.h"
#include "platform/gpu/device.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "render/still_texture_cache.h"
#include "sdi/deck_link_controller.h"
#include "support/fake_clock.h"

#include <QImage>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <vector>

namespace velmar::test {

inline constexpr int kCanvasWidth = 96;
inline constexpr int kCanvasHeight = 54;
inline constexpr std::uint32_t kMode5994 = fourCC("c059");
inline constexpr std::uint32_t kMode30 = fourCC("c030");
inline constexpr std::uint32_t kMode60 = fourCC("c060");
inline constexpr std::uint32_t kMode120by2 = fourCC("c612");
inline constexpr std::uint32_t kModeHuge = fourCC("cbig");
inline constexpr int kHugeWidth = 16400;  // wider than the graphics device makes textures

struct Rgba {
    int r = 0, g = 0, b = 0, a = 0;
};

// A premultiplied RGBA8 still whose straight colour comes from f(x, y).
inline ImageRef makeImage(int w, int h, const std::function<Rgba(int, int)>& f) {
    QImage image(w, h, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < h; ++y) {
        uchar* p = image.scanLine(y);
        for (int x = 0; x < w; ++x, p += 4) {
            const Rgba c = f(x, y);
            p[0] = uchar((c.r * c.a + 127) / 255);
            p[1] = uchar((c.g * c.a + 127) / 255);
            p[2] = uchar((c.b * c.a + 127) / 255);
            p[3] = uchar(c.a);
        }
    }
    return std::make_shared<const QImage>(std::move(image));
}

inline SdiModeSupport controllerMode(std::uint32_t code, long long scale, long long duration,
                                     long long width = kCanvasWidth,
                                     long long height = kCanvasHeight) {
    SdiModeSupport support;
    support.mode = {code, width, height, scale, duration, "mode " + fourCCString(code)};
    return support;
}

// One device on the manual clock with the canvas size at 59.94, 30, 60 and 120/2 (the last two
// the same rate, in that order), and a mode too wide for any render target.
inline VirtualSdiConfig controllerCard(SdiFaults faults = {}) {
    VirtualSdiConfig config;
    config.clock = SdiClockMode::manual;
    SdiDeviceConfig device;
    device.name = "Controller Test";
    device.modes = {controllerMode(kMode5994, 60000, 1001), controllerMode(kMode30, 30, 1),
                    controllerMode(kMode60, 60, 1), controllerMode(kMode120by2, 120, 2),
                    controllerMode(kModeHuge, 60000, 1001, kHugeWidth, 1)};
    device.faults = std::move(faults);
    config.devices.push_back(device);
    return config;
}

// A canvas engine over a state the test sets directly, a virtual card that keeps what it plays,
// and the controller between them.
struct ControllerFixture : ::testing::Test {
    FakeClock clock;
    StillTextureCache stillCache;
    std::mutex mutex;  // guards what the sources read (renders run on the card's thread)
    PlayoutEngine::OutputState state;
    DSKController::Snapshot keyer;
    std::atomic<int> failingRenders{0};  // the next renders meet exhausted memory
    std::unique_ptr<CanvasEngine> canvas;
    std::unique_ptr<VirtualSdiCard> card;
    std::shared_ptr<SdiOutput> output;
    std::unique_ptr<DeckLinkController> controller;

    std::mutex captureMutex;
    std::vector<SdiCapturedFrame> frames;
    std::vector<std::int32_t> audio;  // interleaved, from stream time 0

    void SetUp() override { SetUpWith({}); }

    void TearDown() override {
        controller.reset();
        SDIAudioBridge::shared().setTone(nullptr);
        SDIAudioBridge::shared().setActive(false);
    }

    void SetUpWith(SdiFaults faults) {
        controller.reset();
        state.canvas = CanvasFormat{kCanvasWidth, kCanvasHeight, "test"};
        state.motion = MotionKind::cut;
        state.opacity = 1;
        CanvasEngine::Sources sources;
        sources.outputState = [this] {
            if (failingRenders.load() > 0) {
                --failingRenders;
                throw std::bad_alloc();
            }
            std::lock_guard lock(mutex);
            return PlayoutEngine::OutputSnapshot{
                std::make_shared<const PlayoutEngine::OutputState>(state), 1.0};
        };
        sources.keyerSnapshot = [this] {
            std::lock_guard lock(mutex);
            return keyer;
        };
        sources.frameRate = [] { return FrameRate{60000, 1001}; };
        CanvasEngine::Options options;
        options.clock = &clock;
        options.device = gpu::Device::create(2);
        options.stillCache = &stillCache;
        canvas = CanvasEngine::create(std::move(sources), options);
        ASSERT_TRUE(canvas);

        card = std::make_unique<VirtualSdiCard>(controllerCard(std::move(faults)));
        output = card->deviceAtIndex(0)->output();
        output->setFrameCapture([this](const SdiCapturedFrame& frame) {
            std::lock_guard lock(captureMutex);
            frames.push_back(frame);
        });
        output->setAudioCapture(
            [this](const std::int32_t* samples, std::uint32_t count, long long start) {
                std::lock_guard lock(captureMutex);
                const auto end = static_cast<std::size_t>(start + count) * 2;
                if (audio.size() < end) audio.resize(end);
                std::memcpy(audio.data() + start * 2, samples, count * 2 * sizeof(std::int32_t));
            });
        controller = std::make_unique<DeckLinkController>(*canvas, card.get());
    }

    // Left half opaque red, right half transparent; a 16 x 16 opaque green keyer centred, at
    // level 1 when asked.
    void setTake(bool withKeyer) {
        std::lock_guard lock(mutex);
        state.media = PlayoutMedia::still(makeImage(kCanvasWidth, kCanvasHeight, [](int x, int) {
            return x < kCanvasWidth / 2 ? Rgba{255, 0, 0, 255} : Rgba{0, 0, 0, 0};
        }));
        if (withKeyer) {
            keyer.media = PlayoutMedia::still(makeImage(16, 16, [](int, int) {
                return Rgba{0, 255, 0, 255};
            }));
            keyer.from = keyer.to = 1;
        } else {
            keyer.media.reset();
            keyer.from = keyer.to = 0;
        }
        keyer.duration = 0;
    }

    void start(SDIBitDepth depth, bool externalKeyer = true, bool embedAudio = true,
               FrameRate rate = {60000, 1001}) {
        controller->start(0, state.canvas, rate, externalKeyer, embedAudio, depth);
    }

    std::vector<SdiCapturedFrame> capturedFrames() {
        std::lock_guard lock(captureMutex);
        return frames;
    }
    SdiCapturedFrame lastFrame() {
        std::lock_guard lock(captureMutex);
        return frames.empty() ? SdiCapturedFrame{} : frames.back();
    }
    std::vector<std::int32_t> capturedAudio() {
        std::lock_guard lock(captureMutex);
        return audio;
    }
    void clearCaptures() {
        std::lock_guard lock(captureMutex);
        frames.clear();
        audio.clear();
    }
};

// One 32-bit little-endian word of a captured frame.
inline std::uint32_t wordAt(const SdiCapturedFrame& frame, std::size_t byteOffset) {
    std::uint32_t word = 0;
    std::memcpy(&word, frame.bytes.data() + byteOffset, sizeof word);
    return word;
}

}  // namespace velmar::test
