#include "canvas_fixture.h"

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <thread>

namespace velmar::test {
namespace {

using Client = CanvasEngine::Client;
using CanvasEngineTest = CanvasFixture;

const Bgra kRed{0, 0, 255, 255};
const Bgra kBlue{255, 0, 0, 255};
const Bgra kKey{0, 255, 0, 255};

TEST_F(CanvasEngineTest, KeyerLevelDecidesWhetherTheKeyerIsDrawn) {
    setProgram(solidImage(96, 64, kRed));
    struct Case {
        const char* name;
        double from, to, duration, advance;
        bool testPattern;
        Bgra want;
    };
    const Case cases[] = {
        {"fading in, still at 0", 0, 1, 1.0, 0.0, false, kRed},
        {"fading in, first level above 0", 0, 1, 1.0, 0.25, false, Bgra{0, 64, 191, 255}},
        {"a level above 1 draws fully", 2, 2, 0, 0, false, kKey},
        {"a test pattern hides the keyer", 1, 1, 0, 0, true, kRed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::lock_guard lock(mutex);
            keyer.media = PlayoutMedia::still(solidImage(96, 64, kKey));
            keyer.from = c.from;
            keyer.to = c.to;
            keyer.started = clock.now();
            keyer.duration = c.duration;
            state.isTestPattern = c.testPattern;
        }
        clock.advance(c.advance);
        const auto out = outputFrame();
        EXPECT_EQ(pixelAt(*out, 40, 30), c.want);
    }
}

TEST_F(CanvasEngineTest, ANewKeyerGenerationNeverShowsThePreviousFrame) {
    setProgram(solidImage(96, 64, kRed));
    setKeyer(solidImage(96, 64, kKey), 1);
    EXPECT_EQ(pixelAt(*outputFrame(), 1, 1), kKey);
    // New content whose frame is not there yet: the probe (which pulls nothing) must not fall
    // back on the old content's frame.
    setKeyer(solidImage(96, 64, kBlue), 1, true);
    auto probe = target(96, 64);
    EXPECT_TRUE(probeFrame(probe->texture).first);
    EXPECT_TRUE(allPixels(*probe->texture, kRed));
}

TEST_F(CanvasEngineTest, ProbeFramesReuseTheLastProgramFrameUntilTheSourceIsInvalidated) {
    state.keyAlphaMode = KeyAlphaMode::premultiplied;
    setProgram(solidImage(96, 64, kRed));
    outputFrame();
    setProgram(solidImage(96, 64, kBlue));  // not pulled by the probe
    auto probe = target(96, 64);
    EXPECT_EQ(probeFrame(probe->texture),
              std::make_pair(true, KeyAlphaMode(KeyAlphaMode::premultiplied)));
    EXPECT_TRUE(allPixels(*probe->texture, kRed));
    canvas->invalidateSource();
    probeFrame(probe->texture);
    EXPECT_TRUE(allPixels(*probe->texture, Bgra{})) << "no program frame: transparent black";
}

TEST_F(CanvasEngineTest, AFailingEncodeStepFailsTheFrameWithoutCommittingIt) {
    setProgram(solidImage(96, 64, kRed));
    auto t = target(96, 64);
    EXPECT_FALSE(canvas->renderOutputFrame(t->texture, [](gpu::CommandBuffer&) { return false; }));
    EXPECT_TRUE(allPixels(*t->texture, Bgra{})) << "nothing was executed";
    EXPECT_EQ(canvas->renderer()->flushCounter(), 0);
    int calls = 0;
    EXPECT_TRUE(
        canvas->renderOutputFrame(t->texture, [&](gpu::CommandBuffer&) { return ++calls == 1; }));
    EXPECT_TRUE(allPixels(*t->texture, kRed));
}

// The queue runs card-priority work before preview and probe work committed earlier (see the
// command queue's tests): the card's frame must be committed at that priority.
TEST_F(CanvasEngineTest, CardFramesAreCommittedAtTheCardOutputsPriority) {
    setProgram(solidImage(96, 64, kRed));
    auto t = target(96, 64);
    std::optional<gpu::CommandPriority> priority;
    EXPECT_TRUE(canvas->renderOutputFrame(t->texture, [&](gpu::CommandBuffer& cb) {
        priority = cb.priority();
        return true;
    }));
    EXPECT_EQ(priority, gpu::CommandPriority::cardOutput);
    EXPECT_TRUE(allPixels(*t->texture, kRed));
}

TEST_F(CanvasEngineTest, EveryHundredAndTwentiethOutputFrameFlushesTheTextureCache) {
    auto t = target(96, 64);
    for (int i = 1; i <= 119; ++i) ASSERT_TRUE(canvas->renderOutputFrame(t->texture));
    EXPECT_EQ(canvas->renderer()->flushCounter(), 119);
    ASSERT_TRUE(canvas->renderOutputFrame(t->texture));
    EXPECT_EQ(canvas->renderer()->flushCounter(), 0);
}

// A render target larger than the device makes textures: its layer targets cannot be made.
std::shared_ptr<gpu::Texture> oversizedTarget(int width) {
    gpu::TextureDescriptor d;
    d.width = width;
    d.height = 1;
    d.usage = gpu::TextureUsageShaderRead | gpu::TextureUsageRenderTarget;
    std::shared_ptr<uint8_t> memory(new uint8_t[size_t(width) * 4],
                                    std::default_delete<uint8_t[]>());
    std::memset(memory.get(), 0x7f, size_t(width) * 4);  // an old picture
    return std::make_shared<gpu::Texture>(d, size_t(width) * 4, memory, nullptr);
}

TEST_F(CanvasEngineTest,
       WithoutLayerTargetsSdiFailsAndScreensAreClearedRatherThanShowingAnOldFrame) {
    const int width = gpu::kMaxTextureSide + 16;
    state.canvas = CanvasFormat{width, 1, "wide"};
    setProgram(solidImage(16, 1, kRed));
    setKeyer(solidImage(16, 1, kKey), 1);

    const auto sdi = oversizedTarget(width);
    EXPECT_FALSE(canvas->renderOutputFrame(sdi))
        << "the card must send its fallback, not an old frame";
    EXPECT_EQ(pixelAt(*sdi, 0, 0), (Bgra{0x7f, 0x7f, 0x7f, 0x7f})) << "nothing committed";
    EXPECT_EQ(canvas->renderer()->flushCounter(), 0);

    EXPECT_FALSE(probeFrame(oversizedTarget(width)).first);

    MetalRenderer::CanvasTarget screen;
    screen.texture = oversizedTarget(width);
    const auto texture = screenFrame(Client::outputWindow, screen, QSizeF(width, 1));
    ASSERT_EQ(texture, screen.texture);
    EXPECT_TRUE(allPixels(*texture, Bgra{}));
}

// A compute step that holds the GPU until the test lets it go.
std::atomic<bool> gKernelRunning{false};
std::atomic<bool> gKernelRelease{false};
void holdingKernel(const gpu::ComputeArguments&, uint32_t, uint32_t) {
    gKernelRunning = true;
    while (!gKernelRelease) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST_F(CanvasEngineTest, ScreenRendersDoNotWaitForAnSdiFrameThatIsExecuting) {
    gpu::registerComputeKernel("test_holding_kernel", holdingKernel);
    auto& device = canvas->renderer()->device();
    auto pipeline = device.newComputePipelineState(
        device.newDefaultLibrary()->newFunction("test_holding_kernel"));
    ASSERT_TRUE(pipeline);
    gKernelRunning = false;
    gKernelRelease = false;
    setProgram(solidImage(96, 64, kRed));
    auto t = target(96, 64);
    bool sdiOk = false;
    std::thread sdi([&] {
        sdiOk = canvas->renderOutputFrame(t->texture, [&](gpu::CommandBuffer& cb) {
            auto* encoder = cb.computeCommandEncoder();
            encoder->setComputePipelineState(pipeline);
            encoder->dispatchThreads({1, 1, 1}, {1, 1, 1});
            encoder->endEncoding();
            return true;
        });
    });
    while (!gKernelRunning) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    MetalRenderer::CanvasTarget screen;
    auto encodeScreen = std::async(std::launch::async, [&] {
        auto cb = canvas->renderer()->commandQueue().commandBuffer();
        return canvas->renderScreenCanvas(Client::programPane, screen, QSizeF(96, 64), std::nullopt,
                                          *cb) != nullptr;
    });
    const bool encodedMeanwhile =
        encodeScreen.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    gKernelRelease = true;
    sdi.join();
    EXPECT_TRUE(encodedMeanwhile) << "the screen render waited for the SDI frame's GPU work";
    EXPECT_TRUE(encodeScreen.get());
    EXPECT_TRUE(sdiOk);
}

TEST_F(CanvasEngineTest, OnlyTheClockOwnerPullsNewProgramFrames) {
    MetalRenderer::CanvasTarget window;
    setProgram(solidImage(96, 64, kRed));
    canvas->setDeckLinkClock(true, 1.0 / 50);
    canvas->setOutputWindowIsOpen(true);
    EXPECT_EQ(canvas->clockOwner(), std::nullopt);
    outputFrame();
    setProgram(solidImage(96, 64, kBlue));
    EXPECT_TRUE(allPixels(*screenFrame(Client::outputWindow, window, QSizeF(96, 64)), kRed))
        << "while SDI runs the window shows the frames SDI pulled";
    canvas->setObsClientActive(true);  // the window still comes first
    canvas->setDeckLinkClock(false, 1.0 / 50);
    EXPECT_EQ(canvas->deckLinkFramePeriod(), 0);
    EXPECT_EQ(canvas->clockOwner(), Client::outputWindow);
    EXPECT_TRUE(allPixels(*screenFrame(Client::outputWindow, window, QSizeF(96, 64)), kBlue));
    setProgram(solidImage(96, 64, kRed));
    MetalRenderer::CanvasTarget pane;
    EXPECT_TRUE(allPixels(*screenFrame(Client::programPane, pane, QSizeF(96, 64)), kBlue))
        << "the pane reuses the window's frame";
}

TEST_F(CanvasEngineTest, ScreenCanvasSizeAndObsRate) {
    struct SizeCase {
        QSizeF canvas, display, want;
    };
    for (const SizeCase& c :
         {SizeCase{{1920, 1080}, {1000, 1000}, {1008, 576}},
          SizeCase{{1920, 1080}, {4000, 3000}, {1920, 1080}},
          SizeCase{{1920, 1080}, {3, 2}, {16, 16}}, SizeCase{{10, 8}, {3, 2}, {10, 8}},
          SizeCase{{1920, 1080}, {0, 500}, {1920, 1080}}})
        EXPECT_EQ(CanvasEngine::screenCanvasSize(c.canvas, c.display), c.want) << c.display.width();

    struct RateCase {
        FrameRate rate;
        bool sdi, window;
        FrameRate want;
    };
    for (const RateCase& c :
         {RateCase{{60000, 1001}, true, false, {60000, 2002}},
          RateCase{{60000, 1001}, false, true, {60000, 2002}},
          RateCase{{60000, 1001}, false, false, {60000, 1001}},
          RateCase{{25, 1}, true, false, {25, 1}}, RateCase{{30, 0}, true, false, {30, 1}}}) {
        frameRate = c.rate;
        canvas->setDeckLinkClock(c.sdi, c.sdi ? 1.0 / 60 : 0);
        canvas->setOutputWindowIsOpen(c.window);
        EXPECT_EQ(canvas->obsFrameRate(), c.want)
            << c.rate.timeScale << "/" << c.rate.frameDuration;
    }
}

TEST_F(CanvasEngineTest, ObsRenderOfALargerCanvasScalesEveryLayer) {
    state.canvas = CanvasFormat{192, 128, "large"};
    // Left half red, right half blue; the keyer a green square of a quarter of the canvas.
    setProgram(makeImage(192, 128, [](int x, int) { return x < 96 ? kRed : kBlue; }));
    setKeyer(solidImage(48, 32, kKey), 1);
    canvas->setObsClientActive(true);  // the feed owns the clock and pulls the frames
    MetalRenderer::CanvasTarget feed;
    const auto out = screenFrame(Client::obs, feed, QSizeF(96, 64));
    ASSERT_EQ(QSize(out->width(), out->height()), QSize(96, 64));
    // The keyer covers 24 x 16 pixels around the centre: (36, 24) ... (59, 39).
    for (auto [x, y, want] : {std::tuple{4, 4, kRed},
                              {90, 60, kBlue},
                              {37, 25, kKey},
                              {58, 38, kKey},
                              {35, 23, kRed},
                              {60, 40, kBlue}})
        EXPECT_EQ(pixelAt(*out, x, y), want) << x << "," << y;
}

}  // namespace
}  // namespace velmar::test
