#include "output/ndi_output_controller.h"

#include "canvas/canvas_fixture.h"
#include "core/sdi_audio_bridge.h"
#include "output/ndi_feed_timing.h"
#include "output/obs_feed_guard.h"
#include "platform/gpu/memory.h"
#include "platform/netvideo/netvideo_test_support.h"
#include "render/test_pattern_renderer.h"

#include <cmath>
#include <cstring>
#include <future>

namespace velmar::test {
namespace {

TEST(NDIFeedTiming, KeepsItsOwnGridUntilTwoPeriodsLate) {
    const double p = 1.0 / 30;
    const struct {
        double now, last;
        std::optional<double> want;
    } cases[] = {
        {10.0, 0, 10.0},                      // first frame: now
        {10.0 + p - 0.002, 10.0, {}},         // too early
        {10.0 + p - 0.0005, 10.0, 10.0 + p},  // within a millisecond: on the grid
        {10.0 + 1.5 * p, 10.0, 10.0 + p},
        {10.0 + 2 * p, 10.0, 10.0 + p},          // two periods late: still the grid
        {10.0 + 2.5 * p, 10.0, 10.0 + 2.5 * p},  // later: now
    };
    for (const auto& c : cases) {
        const auto got = NDIFeedTiming::frameTime(c.now, c.last, p);
        ASSERT_EQ(got.has_value(), c.want.has_value()) << c.now - c.last;
        if (got) {
            EXPECT_NEAR(*got, *c.want, 1e-12) << c.now - c.last;
        }
    }
    EXPECT_DOUBLE_EQ(NDIFeedTiming::period(FrameRate{60000, 2002}), 2002.0 / 60000);
    EXPECT_DOUBLE_EQ(NDIFeedTiming::period(FrameRate{0, 1}), 1.0);
}

TEST(NDIFeedTiming, AudioStepsCarryTheFractionAndCapAGap) {
    const struct {
        double now, last, remainder;
        int frames;
        double wantRemainder;
    } cases[] = {
        {5.0, 0, 0.25, 0, 0.25},  // first step: clock only
        {5.0 + 0.015625, 5.0, 0, 750, 0},
        {5.0 + 0.0001, 5.0, 0.5, 5, 0.3},    // 4.8 + 0.5 = 5.3
        {5.0 + 0.25, 5.0, 0.5, 9600, 0},     // gap: capped, nothing carried
        {5.0 + 0.00001, 5.0, 0.1, 0, 0.58},  // under one frame: carried
    };
    for (const auto& c : cases) {
        const auto step = NDIFeedTiming::audioStep(c.now, c.last, c.remainder);
        EXPECT_EQ(step.frames, c.frames) << c.now - c.last;
        EXPECT_NEAR(step.remainder, c.wantRemainder, 1e-6) << c.now - c.last;
        EXPECT_EQ(step.lastAudioTime, c.now);
    }
}

TEST(NDISlotPool, HoldsAtMostThreeAndRetiresIdleSlotsOfAnotherSize) {
    bool refuse = false;
    NDISlotPool pool([&](size_t length) -> std::shared_ptr<gpu::Buffer> {
        return refuse ? nullptr
                      : std::make_shared<gpu::Buffer>(length, gpu::allocateAligned(length));
    });
    auto a = pool.take(4, 2), b = pool.take(4, 2), c = pool.take(4, 2);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->buffer->length(), 32u);
    EXPECT_FALSE(pool.take(4, 2)) << "all three busy";
    pool.giveBack(b);
    EXPECT_EQ(pool.take(4, 2), b) << "an idle slot is reused";

    // A new size retires idle slots of the old size only; busy ones stay until given back.
    pool.giveBack(a);
    auto d = pool.take(8, 2);
    ASSERT_TRUE(d);
    EXPECT_EQ(pool.size(), 3u);  // b and c busy, a retired, d new
    pool.giveBack(b);
    pool.giveBack(c);
    EXPECT_NE(pool.take(8, 2), d);
    EXPECT_EQ(pool.size(), 2u);
    refuse = true;
    EXPECT_FALSE(pool.take(8, 2)) << "no buffer, no slot";
}

// A receiver that connects and reads nothing; closed at the end.
struct Connection {
    int fd;
    explicit Connection(const std::string& address) : fd(connectTo(address)) {}
    ~Connection() { ::close(fd); }
};

// The controller on a fake clock, over a canvas showing a test pattern, with the runtime module
// from the build.
struct ControllerFixture : CanvasFixture {
    PrivateRuntimeDir runtimeDir;
    NetVideoModule module;
    std::unique_ptr<NDIOutputController> controller;
    std::vector<int> reported;

    void SetUp() override {
        CanvasFixture::SetUp();
        ASSERT_TRUE(module.api);
        module.setFaults(0);
    }
    void TearDown() override {
        controller.reset();
        SDIAudioBridge::ndi().setActive(false);
    }

    void showPattern(int width, int height) {
        std::lock_guard lock(mutex);
        state.canvas = CanvasFormat{width, height, "test"};
        state.media = PlayoutMedia::still(TestPatternRenderer::makeImage(
            TestPatternKind::colorBars75, width, height, {128, 128}));
        state.isTestPattern = true;
    }

    void makeController(std::optional<ZRNDIBridge::Runtime> runtime) {
        NDIOutputController::Options options;
        options.clock = &clock;
        options.timers = &clock;
        options.bridge = std::make_unique<ZRNDIBridge>(std::move(runtime));
        controller = std::make_unique<NDIOutputController>(
            *canvas,
            [this] {
                std::lock_guard lock(mutex);
                return state.canvas;
            },
            std::move(options));
        controller->onClientChange = [this](int count) { reported.push_back(count); };
    }
    void makeController() { makeController(ZRNDIBridge::loadRuntime({netVideoLibraryPath()})); }

    std::string url() const { return "tcp://" + runtimeDir.address("DOVRINE"); }
    int accepted() const { return int(module.stats().videoFramesAccepted); }
};

// The program's audio: a sequence that never repeats within the test.
float programSample(long long i, int channel) {
    const float v = float(i % 40009) / 40009.0f - 0.5f;
    return channel == 0 ? v : -0.5f * v;
}

TEST_F(ControllerFixture, FeedsReceiversTheObsCanvasAtHalfTheSdiRateAndTheNetworkAudio) {
    showPattern(3840, 2160);
    frameRate = FrameRate{60000, 1001};
    canvas->setDeckLinkClock(true, 1001.0 / 60000);  // SDI runs: the feed is halved
    // The SDI path pulls the program frame that the screens reuse.
    auto sdi = target(3840, 2160);
    ASSERT_TRUE(canvas->renderOutputFrame(sdi->texture));
    makeController();
    ASSERT_TRUE(controller->start());

    QTemporaryDir out;
    const std::string dir = out.path().toStdString();
    ChildProcess ffmpeg({"ffmpeg", "-nostdin", "-v",       "error", "-f",           "nut",
                         "-i",     url(),      "-map",     "0:v",   "-frames:v",    "5",
                         "-f",     "rawvideo", "-pix_fmt", "bgra",  dir + "/v.raw", "-map",
                         "0:a",    "-t",       "1",        "-f",    "f32le",        dir + "/a.raw"},
                        dir + "/ffmpeg.log");
    ChildProcess ffprobe({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
                          "stream=width,height,r_frame_rate", "-of", "csv=p=0", url()},
                         dir + "/probe.txt");

    // Each step pushes 1/60 s of program audio and moves the clock on by as much, so that the
    // controller pulls it at once. The next step waits, at any pace of the machine, until the
    // last one has had its effect: the send queue has pulled what was pushed (the bridge holds
    // no backlog to trim, and a push never meets a pull), and no receiver has half a second of
    // audio waiting at the sender (far from the two seconds after which its oldest is dropped).
    SDIAudioBridge& bridge = SDIAudioBridge::ndi();
    long long pushed = 0;
    bool pullDue = false;
    bool sawActive = false;
    std::vector<float> left(800), right(800);
    const bool done =
        waitUntil([&] { return ffmpeg.exited() && ffprobe.exited(); }, std::chrono::seconds(120),
                  [&] {
                      if (pullDue && bridge.isActive() && bridge.storedFrames() >= 800) return;
                      if (module.stats().queuedAudioFrames >= 24000) return;
                      pullDue = false;
                      if (bridge.isActive()) {
                          for (int i = 0; i < 800; ++i) {
                              left[i] = programSample(pushed + i, 0);
                              right[i] = programSample(pushed + i, 1);
                          }
                          AudioBufferList block;
                          block.count = 2;
                          block.buffers[0] = {1, sizeof(float) * 800, left.data()};
                          block.buffers[1] = {1, sizeof(float) * 800, right.data()};
                          bridge.push(block, 800, 48000);
                          pushed += 800;
                          pullDue = true;
                      }
                      clock.advance(1.0 / 60);
                      sawActive = sawActive || canvas->obsClientActive();
                  });
    ASSERT_TRUE(done);
    EXPECT_EQ(ffmpeg.exitCode(), 0) << readText(dir + "/ffmpeg.log");
    EXPECT_EQ(readText(dir + "/probe.txt").substr(0, 21), "1920,1080,30000/1001\n");
    ASSERT_FALSE(reported.empty());
    EXPECT_GE(reported.front(), 1);
    EXPECT_TRUE(sawActive);

    // Every picture equals the OBS consumer's render of the canvas.
    MetalRenderer::CanvasTarget reference;
    auto expected = screenFrame(CanvasEngine::Client::obs, reference, QSizeF(1920, 1080));
    ASSERT_TRUE(expected);
    ASSERT_EQ(expected->width(), 1920);
    const auto video = readFile(dir + "/v.raw");
    const size_t frameBytes = size_t(1920) * 1080 * 4;
    ASSERT_EQ(video.size(), 5 * frameBytes);
    for (int f = 0; f < 5; ++f)
        for (int y = 0; y < 1080; ++y)
            ASSERT_EQ(std::memcmp(video.data() + f * frameBytes + size_t(y) * 1920 * 4,
                                  expected->row(y), 1920 * 4),
                      0)
                << "frame " << f << " row " << y;

    // The audio is the pushed program audio, in order, from where the receiver joined.
    const auto audio = readFile(dir + "/a.raw");
    ASSERT_EQ(audio.size(), size_t(48000) * 2 * 4);
    std::vector<float> samples(48000 * 2);
    std::memcpy(samples.data(), audio.data(), audio.size());
    long long first = -1;
    for (long long i = 0; i < pushed && first < 0; ++i)
        if (programSample(i, 0) == samples[0] && programSample(i, 1) == samples[1]) first = i;
    ASSERT_GE(first, 0);
    for (int i = 0; i < 48000; ++i) {
        ASSERT_EQ(samples[2 * i], programSample(first + i, 0)) << i;
        ASSERT_EQ(samples[2 * i + 1], programSample(first + i, 1)) << i;
    }

    controller->stop();
    EXPECT_FALSE(canvas->obsClientActive());
    EXPECT_FALSE(SDIAudioBridge::ndi().isActive());
    EXPECT_EQ(reported.back(), 0);
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

// Holds the GPU queue: the next command buffers complete only after release().
struct GpuGate {
    std::promise<void> open;
    explicit GpuGate(gpu::CommandQueue& queue) {
        auto blocker = queue.commandBuffer();
        auto opened = open.get_future().share();
        blocker->addCompletedHandler([opened](gpu::CommandBuffer&) { opened.wait(); });
        blocker->commit();
    }
    void release() { open.set_value(); }
};

TEST_F(ControllerFixture, FramesStillOnTheGpuAtAStopOrTeardownAreNeverSent) {
    showPattern(64, 36);
    makeController();
    ASSERT_TRUE(controller->start());
    Connection receiver(runtimeDir.address("DOVRINE"));
    auto& queue = canvas->renderer()->commandQueue();
    auto drainGpu = [&] {
        auto last = queue.commandBuffer();
        last->commit();
        last->waitUntilCompleted();
    };

    // Frames complete after a stop and a new start: not sent (the second stop waits for the
    // send queue).
    auto gate = std::make_unique<GpuGate>(queue);
    ASSERT_TRUE(waitUntil([&] { return !reported.empty(); }, std::chrono::seconds(20),
                          [&] { clock.advance(1.0 / 60); }));
    const int before = accepted();
    controller->stop();
    ASSERT_TRUE(controller->start());
    gate->release();
    drainGpu();
    controller->stop();
    EXPECT_EQ(accepted(), before);

    // Restarted, frames flow again.
    ASSERT_TRUE(controller->start());
    Connection again(runtimeDir.address("DOVRINE"));
    ASSERT_TRUE(waitUntil([&] { return accepted() > before; }, std::chrono::seconds(20),
                          [&] {
                              clock.advance(1.0 / 60);
                              drainGpu();
                          }));

    // The controller is destroyed while a frame is on the GPU; the frame completes later.
    gate = std::make_unique<GpuGate>(queue);
    clock.advance(1.0 / 30);
    controller.reset();  // sends of frames completed before the gate have run
    const int atTeardown = accepted();
    gate->release();
    drainGpu();
    EXPECT_EQ(accepted(), atTeardown);
}

TEST_F(ControllerFixture, AStartWithoutARuntimeStartsNothing) {
    makeController(std::nullopt);
    EXPECT_FALSE(controller->start());
    EXPECT_FALSE(controller->isStarted());
    EXPECT_EQ(controller->bridge().errorMessage(), ZRNDIBridge::runtimeMissingMessage());
    EXPECT_EQ(clock.activeTimerCount(), 0);
    clock.advance(1);
    EXPECT_FALSE(canvas->obsClientActive());
    EXPECT_TRUE(reported.empty());
}

// Mended: a start refused because the texture-share feed runs went on as if started.
TEST_F(ControllerFixture, AStartRefusedWhileTheTextureShareFeedRunsIsAFailedStart) {
#ifndef NDEBUG
    GTEST_SKIP() << "the guard's assertion ends a debug build first";
#endif
    ASSERT_TRUE(ObsFeedGuard::feedStarted(OBSTransport::syphon));
    struct Leave {
        ~Leave() { ObsFeedGuard::feedStopped(OBSTransport::syphon); }
    } leave;
    canvas->setObsClientActive(true);  // the texture-share feed's client
    makeController();
    EXPECT_FALSE(controller->start());
    EXPECT_FALSE(controller->isStarted());
    EXPECT_FALSE(controller->bridge().isRunning()) << "the sender is gone again";
    EXPECT_EQ(controller->bridge().errorMessage(), std::nullopt) << "the caller's own message";
    EXPECT_EQ(clock.activeTimerCount(), 0);
    controller.reset();
    EXPECT_EQ(ObsFeedGuard::runningFeed(), OBSTransport::syphon);
    EXPECT_TRUE(canvas->obsClientActive());
}

}  // namespace
}  // namespace velmar::test
