// Starting and stopping the SDI output controller: mode matching, failures, the clock handover,
// the slot ring, the probe hook and failed frames.
#include "deck_link_controller_fixture.h"

#include "models/localized.h"
#include "platform/gpu/pixel_buffer.h"
#include "support/child_probe.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <optional>

namespace velmar {
namespace {

// While set, aligned allocations of a frame's size fail as they do when memory runs out (the
// graphics device allocates its textures and buffers this way). Set only in a child process.
std::atomic<bool> refuseLargeAllocations{false};
constexpr std::size_t kLargeAllocation = std::size_t(1) << 20;

}  // namespace
}  // namespace velmar

// A sanitizer replaces the allocator itself: the refusal below is left out under one (GCC says so
// with __SANITIZE_ADDRESS__, Clang through __has_feature).
#if defined(__SANITIZE_ADDRESS__)
#define VELMAR_SANITIZED_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || \
    __has_feature(thread_sanitizer)
#define VELMAR_SANITIZED_ALLOCATOR 1
#endif
#endif

#if !defined(VELMAR_SANITIZED_ALLOCATOR)
// The test program's aligned allocations come here: the C library's, or a refusal.
extern "C" void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    if (size >= velmar::kLargeAllocation && velmar::refuseLargeAllocations.load()) {
        errno = ENOMEM;
        return nullptr;
    }
    return ::memalign(alignment, size);
}
#endif

namespace velmar {
namespace {

using Kind = DeckLinkController::StartError::Kind;

class DeckLinkControllerTest : public test::ControllerFixture {
  protected:
    // The kind of error start throws, or nothing when it starts.
    std::optional<Kind> startFailure(SDIBitDepth depth, FrameRate rate, bool externalKeyer = true,
                                     QString* message = nullptr) {
        try {
            start(depth, externalKeyer, true, rate);
        } catch (const DeckLinkController::StartError& error) {
            if (message) *message = error.localizedDescription();
            return error.kind();
        }
        return std::nullopt;
    }

    void expectStopped() {
        EXPECT_FALSE(controller->isRunning());
        EXPECT_FALSE(controller->bridge().isRunning());
        EXPECT_EQ(controller->installedTargetCount(), 0);
        EXPECT_EQ(controller->runningBitDepth(), SDIBitDepth::eightBit);
        EXPECT_FALSE(canvas->deckLinkOwnsClock());
        EXPECT_EQ(canvas->deckLinkFramePeriod(), 0);
        EXPECT_FALSE(SDIAudioBridge::shared().isActive());
    }
};

TEST_F(DeckLinkControllerTest, ModesMatchExactlyByCanvasSizeAndRate) {
    const std::vector<ZRDeckLinkMode> modes =
        DeckLinkController::supportedModes(card.get(), 0, SDIBitDepth::eightBit, true);
    struct Case {
        const char* name;
        CanvasFormat canvas;
        FrameRate rate;
        std::optional<std::uint32_t> mode;
    };
    const CanvasFormat size{test::kCanvasWidth, test::kCanvasHeight, ""};
    const Case cases[] = {
        {"59.94", size, {60000, 1001}, test::kMode5994},
        {"29.97 is not 30", size, {30000, 1001}, std::nullopt},
        {"30 as 30000/1000", size, {30000, 1000}, test::kMode30},
        {"60: the first of two equal rates", size, {120, 2}, test::kMode60},
        {"one pixel wider",
         {test::kCanvasWidth + 1, test::kCanvasHeight, ""},
         {60000, 1001},
         std::nullopt},
        {"no frame duration", size, {60, 0}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto mode = DeckLinkController::matchingMode(modes, c.canvas, c.rate);
        EXPECT_EQ(mode ? std::optional(mode->displayMode()) : std::nullopt, c.mode);
    }

    QString message;
    EXPECT_EQ(startFailure(SDIBitDepth::eightBit, {30000, 1001}, true, &message),
              Kind::noMatchingMode);
    EXPECT_EQ(message,
              localized("この解像度とフレームレートの組み合わせは、この機器では出せません"));
    expectStopped();
}

TEST_F(DeckLinkControllerTest, StartHandsTheClockToTheCardAndStopGivesItBackCleanly) {
    setTake(false);
    start(SDIBitDepth::eightBit);
    ASSERT_TRUE(controller->isRunning() && controller->runningMode());
    EXPECT_EQ(controller->runningMode()->displayMode(), test::kMode5994);
    EXPECT_EQ(controller->installedTargetCount(), 4);
    EXPECT_TRUE(canvas->deckLinkOwnsClock());
    EXPECT_DOUBLE_EQ(canvas->deckLinkFramePeriod(), 1001.0 / 60000.0);
    EXPECT_FALSE(controller->isStalled() || controller->keyerFailed());
    output->step(5);

    controller->stop();
    expectStopped();
    EXPECT_FALSE(output->isPlaybackRunning());
    controller->stop();  // harmless when stopped

    // A start while running replaces the running output.
    start(SDIBitDepth::tenBit);
    start(SDIBitDepth::tenBitFillOnly);
    EXPECT_EQ(controller->runningBitDepth(), SDIBitDepth::tenBitFillOnly);
    EXPECT_EQ(controller->installedTargetCount(), 4);
    controller.reset();  // the destructor stops
    EXPECT_FALSE(canvas->deckLinkOwnsClock());
    EXPECT_FALSE(SDIAudioBridge::shared().isActive());
}

// The watch counts silent looks of the running output only: one look without a completed frame
// is a hiccup, the second in a row a stall; a restarted output begins the count anew.
TEST_F(DeckLinkControllerTest, ARestartedOutputBeginsItsSilentCountAnew) {
    std::vector<QString> failures;
    controller->onFailure = [&](const QString& message) { failures.push_back(message); };
    setTake(false);
    start(SDIBitDepth::eightBit);  // the card's clock never moves: no frame ever completes
    controller->watchOutput();
    ASSERT_TRUE(controller->isRunning());
    controller->stop();

    start(SDIBitDepth::eightBit);
    controller->watchOutput();
    EXPECT_TRUE(controller->isRunning()) << "one silent look of this run";
    EXPECT_TRUE(failures.empty());
    controller->watchOutput();
    EXPECT_FALSE(controller->isRunning());
    EXPECT_EQ(failures.size(), 1u);
}

// Each bridge failure has its code in the bridge tests; here one shows as the bridge says it.
TEST_F(DeckLinkControllerTest, FailedStartsLeaveTheControllerStopped) {
    SdiFaults busy;
    busy.enableVideoBusy = true;
    SetUpWith(busy);
    QString message;
    EXPECT_EQ(startFailure(SDIBitDepth::eightBit, {60000, 1001}, true, &message), Kind::bridge);
    EXPECT_EQ(message, ZRDeckLinkError::messageForCode(ZRDeckLinkError::cannotEnableOutput));
    expectStopped();

    // A mode too wide for any render target cannot be given buffers.
    SetUpWith({});
    state.canvas = CanvasFormat{test::kHugeWidth, 1, "wide"};
    EXPECT_EQ(startFailure(SDIBitDepth::eightBit, {60000, 1001}, true, &message),
              Kind::allocationFailed);
    EXPECT_EQ(message, localized("出力用のバッファを確保できません"));
    expectStopped();
}

// Frames cycle through the four slots from the first preroll on; the probe is offered each
// frame but given it only when its reservation says yes (a probe without one never is), with the
// output's key alpha mode.
TEST_F(DeckLinkControllerTest, FramesCycleThroughTheSlotsAndReachTheProbeOnlyWhenReserved) {
    setTake(false);
    state.keyAlphaMode = KeyAlphaMode::premultiplied;
    std::mutex probeMutex;
    std::vector<const gpu::PixelBuffer*> offered;
    std::vector<KeyAlphaMode> modes;
    std::atomic<int> asked{0};
    DeckLinkController::ProbeHook hook;
    hook.capture = [&](const std::shared_ptr<gpu::PixelBuffer>& buffer, KeyAlphaMode mode) {
        std::lock_guard lock(probeMutex);
        offered.push_back(buffer.get());
        modes.push_back(mode);
    };
    controller->setProbeHook(hook);  // no reservation: the answer is no
    start(SDIBitDepth::eightBit);
    output->step(4);
    EXPECT_TRUE(offered.empty());
    controller->stop();

    hook.reserveCapture = [&] { return ++asked % 2 == 1; };  // every other frame
    controller->setProbeHook(hook);
    start(SDIBitDepth::eightBit);
    output->step(13);  // 3 preroll + 13 frames: 16 requests

    std::lock_guard lock(probeMutex);
    EXPECT_EQ(asked.load(), 16);
    ASSERT_EQ(offered.size(), 8u);
    // Requests 1, 3, 5, ... render slots 0, 2, 0, 2, ...: two distinct buffers alternating.
    EXPECT_NE(offered[0], offered[1]);
    for (std::size_t i = 2; i < offered.size(); ++i) EXPECT_EQ(offered[i], offered[i - 2]);
    for (KeyAlphaMode mode : modes) EXPECT_EQ(mode, KeyAlphaMode::premultiplied);
}

// The v210 fallback is the bridge's black over a ring-format buffer: other depths' black is
// seen in the bridge tests.
TEST_F(DeckLinkControllerTest, AFailedRenderSendsTheFallbackAndCountsADrop) {
    setTake(false);
    start(SDIBitDepth::tenBitFillOnly);
    output->step(1);  // shows frame 0 and renders frame 3 on the completion thread
    clearCaptures();
    failingRenders = 1;  // frame 4 cannot be made
    output->step(8);     // shows frames 1 ... 8
    EXPECT_EQ(controller->droppedFrameCount(), 1u);
    EXPECT_TRUE(controller->isRunning() && !controller->isStalled());
    const auto played = capturedFrames();
    ASSERT_EQ(played.size(), 8u);
    for (const SdiCapturedFrame& f : played) {
        // Pixel (12, 10): red from the take (Y' 326), or black (Y' 64) in the fallback.
        const std::uint32_t luma = (test::wordAt(f, 10 * f.rowBytes + 2 * 16) >> 10) & 0x3FF;
        EXPECT_EQ(luma == 64, f.tick == 4) << "tick " << f.tick;
    }
    EXPECT_EQ(output->counters().invalidContentFrames, 0);
}

// A v210 frame the canvas cannot render, without anything being thrown (the layer targets of a
// keyer that appears cannot be allocated while large allocations are refused, in a child
// process), is dropped: the bridge sends its black frame and counts it, rather than the stale
// words of the slot going out; the next frames render again.
TEST_F(DeckLinkControllerTest, AV210FrameTheCanvasCannotRenderIsDroppedNotSentStale) {
#if defined(VELMAR_SANITIZED_ALLOCATOR)
    GTEST_SKIP() << "the sanitizer owns the allocator";
#else
    const auto result = test::ChildProbe::run(
        [] {},
        [this]() -> QByteArray {
            // The objects made before the fork belong to threads this process does not have.
            (void)controller.release();
            (void)canvas.release();
            state.canvas = CanvasFormat{1920, 1080, "HD 1080"};
            makeCanvas();
            VirtualSdiConfig config;
            config.clock = SdiClockMode::manual;
            config.devices.push_back(SdiDeviceConfig{});
            VirtualSdiCard hd(config);
            DeckLinkController sdi(*canvas, &hd);
            setProgram(test::solidImage(1920, 1080, test::Bgra{0, 0, 255, 255}));
            sdi.start(0, state.canvas, {60000, 1001}, false, false, SDIBitDepth::tenBitFillOnly);
            const std::shared_ptr<SdiOutput> out = hd.deviceAtIndex(0)->output();
            out->step(2);
            const auto before = sdi.droppedFrameCount();
            setKeyer(test::solidImage(16, 16, test::Bgra{0, 255, 0, 255}), 1);
            refuseLargeAllocations = true;
            out->step(1);  // renders one frame with the keyer
            refuseLargeAllocations = false;
            const auto during = sdi.droppedFrameCount() - before;
            out->step(6);
            const auto after = sdi.droppedFrameCount() - before;
            sdi.stop();
            return QByteArray::number(qulonglong(during)) + " " +
                   QByteArray::number(qulonglong(after));
        });
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.output, "1 1") << "drops while refused, then in all";
#endif
}

}  // namespace
}  // namespace velmar
