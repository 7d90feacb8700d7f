#include "output/canvas_metal_view.h"
#include "canvas/canvas_fixture.h"
#include "output/gpu_time_sink.h"

#include <QCoreApplication>
#include <QScreen>

namespace velmar::test {
namespace {

using gpu::Float2;
using Quad = std::array<Float2, 4>;

TEST(CanvasMetalViewLogicTest, RefreshRendersOncePerMinimumInterval) {
    struct Case {
        const char* name;
        double sinceLast, interval;
        bool renders;
    };
    const Case cases[] = {
        {"no minimum interval", 0.0001, 0, true},
        {"one 60 Hz refresh into a 1/30 s interval", 1.0 / 60, 1.0 / 30, false},
        {"two refreshes", 2.0 / 60, 1.0 / 30, true},
        // Display links jitter: a refresh half a millisecond early still renders (mended: the
        // pane would otherwise drop from 30 to 20 frames per second).
        {"half a millisecond early", 1.0 / 30 - 0.0005, 1.0 / 30, true},
        {"two milliseconds early", 1.0 / 30 - 0.002, 1.0 / 30, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CanvasMetalView::refreshRenders(1000 + c.sinceLast, 1000, c.interval), c.renders);
    }
}

TEST(CanvasMetalViewLogicTest, CanvasQuadFitsLetterboxesAndStretches) {
    struct Case {
        const char* name;
        QSizeF drawable, texture;
        bool fits;
        Quad want;
    };
    const Quad letterboxed{Float2{-1, -0.75f}, Float2{1, -0.75f}, Float2{-1, 0.75f},
                           Float2{1, 0.75f}};
    const Case cases[] = {
        {"16:9 in 4:3 is letterboxed", {400, 300}, {160, 90}, true, letterboxed},
        {"stretched without fitting",
         {400, 300},
         {160, 90},
         false,
         MetalRenderer::fullTargetCorners},
        {"an empty drawable gives a zero quad", {0, 300}, {160, 90}, true, Quad{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Quad got = CanvasMetalView::canvasQuad(c.drawable, c.texture, c.fits);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(got[i].x, c.want[i].x, 1e-5) << "corner " << i;
            EXPECT_NEAR(got[i].y, c.want[i].y, 1e-5) << "corner " << i;
        }
    }
}

struct CanvasMetalViewTest : CanvasFixture {
    std::unique_ptr<CanvasMetalView> view;
    double tick = 1.0 / 60;

    void makeView(CanvasEngine::Client client, QSize size) {
        CanvasMetalView::Options options;
        options.clock = &clock;
        options.timers = &clock;
        view = std::make_unique<CanvasMetalView>(*canvas, client, options);
        view->resize(size);
        view->show();
        if (view->screen() && view->screen()->refreshRate() > 0)
            tick = 1.0 / view->screen()->refreshRate();
    }
    // Lets every committed frame finish and its completion reach the main thread.
    void settle() {
        auto cb = canvas->renderer()->commandQueue().commandBuffer();
        cb->commit();
        cb->waitUntilCompleted();
        QCoreApplication::processEvents();
    }
    QRgb at(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xffffff; }
};

TEST_F(CanvasMetalViewTest, FitsTheCanvasOverItsBackgroundOffTheMainThread) {
    setProgram(solidImage(96, 64, Bgra{0, 0, 255, 255}));
    canvas->setOutputWindowIsOpen(true);  // the output window owns the clock
    makeView(CanvasEngine::Client::outputWindow, {120, 120});
    view->setCheckerSquare(0);
    view->setSolidBackgroundColor({0, 0, 1});
    view->setFitsCanvas(true);
    ASSERT_TRUE(view->hasDisplayLink());
    const double gpuBefore = GpuTimeSink::shared().seconds();

    // Two refreshes before the first frame is back: the second finds it in flight and skips.
    clock.advance(2 * tick);
    settle();
    EXPECT_EQ(view->presentedFrames(), 1u);
    EXPECT_NE(GpuTimeSink::shared().seconds(), gpuBefore);

    // 3:2 canvas in a square view: 120 x 80 centred, the background above and below.
    const QImage image = view->grab().toImage();
    EXPECT_EQ(at(image, 60, 60), 0xff0000u);
    EXPECT_EQ(at(image, 60, 5), 0x0000ffu);
    EXPECT_EQ(at(image, 60, 115), 0x0000ffu);

    view->hide();
    EXPECT_FALSE(view->hasDisplayLink());
    EXPECT_EQ(clock.activeTimerCount(), 0);
    clock.advance(10 * tick);
    settle();
    EXPECT_EQ(view->presentedFrames(), 1u);
}

TEST_F(CanvasMetalViewTest, ProgramPaneShowsACheckerboardAtThirtyFramesPerSecond) {
    makeView(CanvasEngine::Client::programPane, {60, 40});
    const int ticks = int(std::lround(1.0 / tick));
    for (int i = 0; i < ticks; ++i) {
        clock.advance(tick);
        settle();
    }
    EXPECT_NEAR(double(view->presentedFrames()), 30.0, 1.0);

    // No program: the 10-point checkerboard shows, lighter square first.
    const QImage image = view->grab().toImage();
    EXPECT_EQ(at(image, 2, 2), 0x4d4d4du);
    EXPECT_EQ(at(image, 12, 2), 0x333333u);
    EXPECT_EQ(at(image, 12, 12), 0x4d4d4du);
}

}  // namespace
}  // namespace velmar::test
