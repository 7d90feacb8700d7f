#include "output/syphon_output_controller.h"
#include "canvas/canvas_fixture.h"
#include "fake_texshare_locator.h"
#include "output/obs_feed_guard.h"
#include "platform/texshare/receiver_process.h"
#include "platform/texshare/texture_client.h"

#include <QFile>

#include <vector>

namespace velmar::test {
namespace {

constexpr double kTick = 1.0 / 60.0;

struct SyphonOutputControllerTest : CanvasFixture {
    PrivateTexShareDirectory directory;
    std::vector<bool> clientChanges;
    std::vector<QString> failures;

    std::unique_ptr<SyphonOutputController> makeController(
        std::shared_ptr<TexShareLocator> locator) {
        SyphonOutputController::Options options;
        options.clock = &clock;
        options.timers = &clock;
        options.locator = std::move(locator);
        auto controller = std::make_unique<SyphonOutputController>(*canvas, options);
        controller->onClientChange = [this](bool on) { clientChanges.push_back(on); };
        controller->onFailure = [this](const QString& m) { failures.push_back(m); };
        return controller;
    }
    // Waits for every frame committed so far (the queue runs in order).
    void drainGpu() {
        auto cb = canvas->renderer()->commandQueue().commandBuffer();
        cb->commit();
        cb->waitUntilCompleted();
    }
};

TEST_F(SyphonOutputControllerTest, ClientsReceiveTheObsCanvasAtTheFeedRateWhileConnected) {
    frameRate = FrameRate{30, 1};
    setProgram(makeImage(96, 64, [](int x, int y) { return Bgra{x * 2, y * 3, 90, 255}; }));
    auto controller = makeController(TexShareLocator::standard());
    ASSERT_TRUE(controller->start())
        << controller->bridge().errorMessage().value_or("").toStdString();
    clock.advance(kTick);
    EXPECT_FALSE(canvas->obsClientActive());
    EXPECT_TRUE(clientChanges.empty());

    auto client = std::make_unique<texshare::TextureClient>("DOVRINE");
    clock.advance(kTick);
    drainGpu();
    EXPECT_TRUE(canvas->obsClientActive());
    EXPECT_EQ(clientChanges, std::vector<bool>{true});
    auto frame = client->latestFrame();
    ASSERT_TRUE(frame);
    MetalRenderer::CanvasTarget reference;
    const auto want = screenFrame(CanvasEngine::Client::obs, reference, QSizeF(96, 64));
    ASSERT_EQ(frame->width, want->width());
    ASSERT_EQ(frame->height, want->height());
    int mismatches = 0;
    for (int y = 0; y < want->height(); ++y)  // served bottom row first
        mismatches += std::memcmp(frame->pixel(0, want->height() - 1 - y), want->row(y),
                                  size_t(want->width()) * 4) != 0;
    EXPECT_EQ(mismatches, 0);

    // 60 ticks of one second at 30 frames per second: every second tick renders.
    const uint64_t before = frame->number;
    clock.advance(1.0);
    drainGpu();
    EXPECT_EQ(client->latestFrame()->number - before, 30u);

    // Without clients the feed gives the clock back and renders nothing until one returns.
    client.reset();
    clock.advance(kTick);
    EXPECT_FALSE(canvas->obsClientActive());
    clock.advance(0.5);
    EXPECT_EQ(clientChanges, (std::vector<bool>{true, false}));
    client = std::make_unique<texshare::TextureClient>("DOVRINE");
    clock.advance(kTick);
    drainGpu();
    EXPECT_EQ(client->latestFrame()->number, before + 31);

    controller->stop();
    EXPECT_FALSE(canvas->obsClientActive());
    EXPECT_FALSE(client->isConnected());
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

TEST_F(SyphonOutputControllerTest, AReceiverInAnotherProcessGetsTheObsCanvasByteForByte) {
    setProgram(makeImage(96, 64, [](int x, int y) { return Bgra{x * 2, 255 - y * 3, 40, 200}; }));
    auto controller = makeController(TexShareLocator::standard());
    ASSERT_TRUE(controller->start());
    const QString file = directory.dir.filePath("frame.bgra");
    ReceiverProcess receiver({"DOVRINE", "frames", "1", file.toStdString()});
    ASSERT_EQ(receiver.readLine(), "connected");
    clock.advance(kTick);  // counts the receiver and renders its first frame
    EXPECT_TRUE(canvas->obsClientActive());
    EXPECT_EQ(receiver.readLine(), "frame 1 96 64");

    MetalRenderer::CanvasTarget reference;
    const auto want = screenFrame(CanvasEngine::Client::obs, reference, QSizeF(96, 64));
    QFile received(file);
    ASSERT_TRUE(received.open(QIODevice::ReadOnly));
    const QByteArray bytes = received.readAll();
    ASSERT_EQ(bytes.size(), want->width() * want->height() * 4);
    int mismatches = 0;
    for (int y = 0; y < want->height(); ++y)  // served bottom row first
        mismatches += std::memcmp(bytes.constData() + (want->height() - 1 - y) * want->width() * 4,
                                  want->row(y), size_t(want->width()) * 4) != 0;
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(receiver.finish(), 0);
    clock.advance(kTick);
    EXPECT_FALSE(canvas->obsClientActive()) << "the receiver left";
}

TEST_F(SyphonOutputControllerTest, AFailedPublishStopsTheFeedAndReportsWhy) {
    struct Case {
        const char* name;
        bool throws;
        QString want;
    };
    const Case cases[] = {
        {"the server raises", true, "共有テクスチャのフレームを送れません"},
        {"the server declines without a message", false, "OBS へフレームを送れません"},
    };
    setProgram(solidImage(96, 64, Bgra{0, 0, 255, 255}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clientChanges.clear();
        failures.clear();
        auto locator = std::make_shared<FakeTexShareLocator>();
        locator->registeredAt = "/a";
        locator->publishThrows = c.throws;
        locator->publishAccepts = false;
        auto controller = makeController(locator);
        ASSERT_TRUE(controller->start());
        EXPECT_EQ(ObsFeedGuard::runningFeed(), OBSTransport::syphon);
        clock.advance(kTick);
        EXPECT_EQ(failures, std::vector<QString>{c.want});
        EXPECT_EQ(clientChanges, (std::vector<bool>{true, false}));
        EXPECT_FALSE(controller->isRunning());
        EXPECT_FALSE(canvas->obsClientActive());
        EXPECT_EQ(ObsFeedGuard::runningFeed(), std::nullopt);
        clock.advance(kTick);
        EXPECT_EQ(locator->publishes, 1) << "the timer is gone";
    }
}

TEST_F(SyphonOutputControllerTest, AStartThatFailsStartsNothingAndStopLeavesTheNdiFlag) {
    auto locator = std::make_shared<FakeTexShareLocator>();  // nothing installed
    auto controller = makeController(locator);
    EXPECT_FALSE(controller->start());
    EXPECT_EQ(clock.activeTimerCount(), 0);
    EXPECT_EQ(ObsFeedGuard::runningFeed(), std::nullopt);
    // Mended: stopping a feed that never ran leaves the other feed's client flag alone.
    canvas->setObsClientActive(true);
    controller->stop();
    EXPECT_TRUE(canvas->obsClientActive());
    locator->registeredAt = "/a";
    ASSERT_TRUE(controller->start());
    EXPECT_TRUE(controller->start());
    EXPECT_EQ(clock.activeTimerCount(), 1) << "a second start changes nothing";
}

// Mended: a start refused because the NDI feed runs went on as if started.
TEST_F(SyphonOutputControllerTest, AStartRefusedWhileTheNdiFeedRunsIsAFailedStart) {
#ifndef NDEBUG
    GTEST_SKIP() << "the guard's assertion ends a debug build first";
#endif
    ASSERT_TRUE(ObsFeedGuard::feedStarted(OBSTransport::ndi));
    struct Leave {
        ~Leave() { ObsFeedGuard::feedStopped(OBSTransport::ndi); }
    } leave;
    canvas->setObsClientActive(true);  // the NDI feed's receiver
    auto locator = std::make_shared<FakeTexShareLocator>();
    locator->registeredAt = "/a";
    auto controller = makeController(locator);
    EXPECT_FALSE(controller->start());
    EXPECT_FALSE(controller->isRunning());
    EXPECT_EQ(controller->bridge().errorMessage(), std::nullopt) << "the caller's own message";
    EXPECT_EQ(locator->stops, 1) << "the server it made is gone again";
    EXPECT_EQ(clock.activeTimerCount(), 0);
    controller->stop();
    EXPECT_EQ(ObsFeedGuard::runningFeed(), OBSTransport::ndi);
    EXPECT_TRUE(canvas->obsClientActive());
}

}  // namespace
}  // namespace velmar::test
