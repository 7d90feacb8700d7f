#pragma once

#include "canvas/canvas_fixture.h"
#include "core/sdi_audio_bridge.h"
#include "platform/player/movie_player.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "sdi/deck_link_controller.h"

#include <cstring>
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

// One device on the manual clock with the canvas size at 59.94, 30, 60 and 120/2 (the last two
// the same rate, in that order), and a mode too wide for any render target.
inline VirtualSdiConfig controllerCard(SdiFaults faults = {}) {
    auto mode = [](std::uint32_t code, long long scale, long long duration,
                   long long width = kCanvasWidth, long long height = kCanvasHeight) {
        SdiModeSupport support;
        support.mode = {code, width, height, scale, duration, "mode " + fourCCString(code)};
        return support;
    };
    VirtualSdiConfig config;
    config.clock = SdiClockMode::manual;
    SdiDeviceConfig device;
    device.name = "Controller Test";
    device.modes = {mode(kMode5994, 60000, 1001), mode(kMode30, 30, 1), mode(kMode60, 60, 1),
                    mode(kMode120by2, 120, 2), mode(kModeHuge, 60000, 1001, kHugeWidth, 1)};
    device.faults = std::move(faults);
    config.devices.push_back(device);
    return config;
}

// The canvas fixture's engine at the card's canvas size, a virtual card that keeps what it
// plays, and the controller between them. Movies a test plays run on the fixture's clock:
// a released player is torn down on a background thread that may still read its clock, so the
// teardown waits for every release before the clock goes.
struct ControllerFixture : CanvasFixture {
    std::unique_ptr<VirtualSdiCard> card;
    std::shared_ptr<SdiOutput> output;
    std::unique_ptr<DeckLinkController> controller;

    std::mutex captureMutex;
    std::vector<SdiCapturedFrame> frames;
    std::vector<std::int32_t> audio;  // interleaved, from stream time 0

    void SetUp() override {
        CanvasFixture::SetUp();
        SetUpWith({});
    }

    void TearDown() override {
        controller.reset();
        canvas.reset();
        {
            std::lock_guard lock(mutex);
            state.media.reset();
            keyer.media.reset();
        }
        MoviePlayer::waitForReleases();
        SDIAudioBridge::shared().setTone(nullptr);
        SDIAudioBridge::shared().setActive(false);
    }

    // A fresh canvas, card and controller; the card with `faults`.
    void SetUpWith(SdiFaults faults) {
        controller.reset();
        state.canvas = CanvasFormat{kCanvasWidth, kCanvasHeight, "test"};
        makeCanvas();
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
        setProgram(makeImage(kCanvasWidth, kCanvasHeight, [](int x, int) {
            return x < kCanvasWidth / 2 ? Bgra{0, 0, 255, 255} : Bgra{};
        }));
        setKeyer(withKeyer ? solidImage(16, 16, Bgra{0, 255, 0, 255}) : nullptr, withKeyer ? 1 : 0);
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
