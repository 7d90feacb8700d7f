#include "canvas/signal_probe.h"

#include "canvas_fixture.h"
#include "platform/gpu/command_buffer.h"
#include "signal_test_support.h"
#include "support/event_loop.h"

#include <QSignalSpy>

#include <future>

namespace velmar::test {
namespace {

struct SignalProbeTest : CanvasFixture {
    std::unique_ptr<SignalProbe> probe;
    bool deckLinkRunning = true;  // SDI feeds the probe unless a test turns it off
    QSize canvasSize{96, 64};
    std::shared_ptr<gpu::PixelBuffer> frame = bgraBuffer(32, 18, [](int x, int) {
        return Pixel{x * 8, 0, 0, 255};
    });

    void SetUp() override {
        CanvasFixture::SetUp();
        probe = std::make_unique<SignalProbe>(clock, clock);
        probe->setCompositeFeed({[this] { return deckLinkRunning; },
                                 [this] { return canvas.get(); }, [this] { return canvasSize; }});
    }
    void TearDown() override {
        probe.reset();
        drainMainQueue();
    }

    // Lets the analysis queued so far finish and its result reach the main thread.
    void settle() {
        probe->waitForAnalysis();
        drainMainQueue();
    }

    // One SDI offer as the frame path makes it: true when it was taken.
    bool offer(const gpu::PixelBuffer& buffer) {
        if (!probe->reserveCapture()) return false;
        probe->capture(buffer, KeyAlphaMode::premultiplied, SignalProbe::Source::sdi);
        return true;
    }
};

TEST_F(SignalProbeTest, OffersAreSpacedByAtLeastTheMinimumAndOnlyOneIsInFlight) {
    QSignalSpy published(probe.get(), &SignalProbe::snapshotChanged);
    EXPECT_FALSE(probe->reserveCapture()) << "a stopped probe takes nothing";
    probe->start();
    ASSERT_TRUE(probe->reserveCapture());
    clock.advance(1.0);
    EXPECT_FALSE(probe->reserveCapture()) << "busy: the first capture has not been analysed";
    probe->capture(*frame, KeyAlphaMode::premultiplied, SignalProbe::Source::sdi);
    settle();
    const auto first = probe->snapshot();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->source, SignalSource::sdi);
    EXPECT_EQ(first->keyAlphaMode, KeyAlphaMode::premultiplied);
    EXPECT_EQ(published.count(), 1);

    ASSERT_TRUE(offer(*gpu::PixelBuffer::create(48, 4, gpu::kPixelFormat422YpCbCr10)));
    settle();
    EXPECT_EQ(probe->snapshot(), first) << "a frame that cannot be copied publishes nothing";
    clock.advance(0.1);
    EXPECT_FALSE(offer(*frame)) << "0.1 s after the last reservation";
    clock.advance(0.0125);
    EXPECT_TRUE(offer(*frame)) << "0.1125 s after it, the refused frame having freed the probe";
    settle();
    EXPECT_EQ(published.count(), 2);
}

TEST_F(SignalProbeTest, StopDuringAnAnalysisDropsItsResultAndTheProbeStartsAgain) {
    probe->start();
    ASSERT_TRUE(offer(*frame));
    probe->stop();  // the analysis is queued or running
    settle();
    EXPECT_FALSE(probe->snapshot());
    probe->start();
    clock.advance(0.2);
    EXPECT_TRUE(offer(*frame)) << "busy cleared when the dropped analysis ended";
    settle();
    EXPECT_TRUE(probe->snapshot());
    probe->stop();
    EXPECT_FALSE(probe->snapshot()) << "stop clears the published snapshot";
}

TEST_F(SignalProbeTest, TheCompositeFeedRendersOnlyWhileSdiIsStoppedAtTheCanvasSize) {
    setProgram(solidImage(96, 64, {0, 0, 255, 255}));
    outputFrame();  // the probe reuses the program frame that an output pulled last
    probe->start();
    probe->start();
    EXPECT_EQ(clock.activeTimerCount(), 1) << "a second start adds no timer";

    clock.advance(SignalProbe::kInterval);
    settle();
    EXPECT_FALSE(probe->snapshot());
    EXPECT_TRUE(probe->reserveCapture()) << "nothing was reserved while SDI runs";
    probe->capture(*frame, KeyAlphaMode::straight, SignalProbe::Source::sdi);
    settle();

    deckLinkRunning = false;
    clock.advance(SignalProbe::kInterval);
    ASSERT_TRUE(waitUntil([&] {
        drainMainQueue();
        return probe->snapshot() && probe->snapshot()->source == SignalSource::composite;
    }));
    EXPECT_EQ(probe->snapshot()->frameWidth, 96);
    EXPECT_EQ(rgbaAt(probe->snapshot()->fill, 10, 10), (Pixel{255, 0, 0, 255}));

    canvasSize = QSize(48, 40);
    clock.advance(SignalProbe::kInterval);
    EXPECT_TRUE(waitUntil([&] {
        drainMainQueue();
        return probe->snapshot() && probe->snapshot()->frameWidth == 48;
    })) << "a new canvas size makes a new target at the next tick";
    EXPECT_EQ(probe->snapshot()->frameHeight, 40);
}

// The composite completion used the probe's target after stop() had dropped it.
TEST_F(SignalProbeTest, StopWhileTheCompositeRendersKeepsTheTargetAliveForTheCompletion) {
    deckLinkRunning = false;
    setProgram(solidImage(96, 64, {0, 255, 0, 255}));
    // Hold the GPU queue, so that the probe's render completes only when the test says.
    std::promise<void> release;
    auto gate = canvas->renderer()->commandQueue().commandBuffer();
    gate->addCompletedHandler(
        [held = release.get_future().share()](gpu::CommandBuffer&) { held.wait(); });
    gate->commit();

    probe->start();
    clock.advance(SignalProbe::kInterval);  // the tick reserves and commits the render
    probe->stop();                          // drops the composite target
    release.set_value();
    auto after = canvas->renderer()->commandQueue().commandBuffer();
    after->commit();
    after->waitUntilCompleted();  // in order: the probe's completion has run
    settle();
    EXPECT_FALSE(probe->snapshot());

    probe->start();
    clock.advance(SignalProbe::kInterval);
    EXPECT_TRUE(waitUntil([&] {
        drainMainQueue();
        return probe->snapshot() != nullptr;
    })) << "the render after stop ended its capture and the probe works again";
}

TEST_F(SignalProbeTest, ACompositeRenderThatFailsToEncodeEndsItsCapture) {
    deckLinkRunning = false;
    probe->start();
    failingRenders = 1;
    clock.advance(SignalProbe::kInterval);
    clock.advance(SignalProbe::kInterval);
    EXPECT_TRUE(waitUntil([&] {
        drainMainQueue();
        return probe->snapshot() != nullptr;
    })) << "the next tick renders again";
}

}  // namespace
}  // namespace velmar::test
