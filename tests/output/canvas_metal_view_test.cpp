#include "output/canvas_metal_view.h"
#include "canvas/canvas_fixture.h"
#include "output/gpu_time_sink.h"

#include <QCoreApplication>
#include <QScreen>

#include <functional>

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
        QSizeF drawable, texture, canvas;
        bool fits;
        Quad want;
    };
    auto box = [](float x, float y) {
        return Quad{Float2{-x, -y}, Float2{x, -y}, Float2{-x, y}, Float2{x, y}};
    };
    const Case cases[] = {
        {"16:9 in 4:3 is letterboxed", {400, 300}, {160, 90}, {}, true, box(1, 0.75f)},
        {"stretched without fitting",
         {400, 300},
         {160, 90},
         {1920, 1080},
         false,
         MetalRenderer::fullTargetCorners},
        // 1920 x 1080 at 1000 x 560 comes in 1008 x 560 with the canvas in its middle 995.6
        // columns (mended: stretched whole, 6 px of background showed each side).
        {"rounded-up texture stretched",
         {1000, 560},
         {1008, 560},
         {1920, 1080},
         false,
         box(1008 / 995.5555f, 1)},
        {"an empty drawable gives a zero quad", {0, 300}, {160, 90}, {}, true, Quad{}},
        // A 1920 x 1080 canvas at 640 x 360 comes in a 640 x 368 texture with the canvas in
        // its middle 360 rows: the texture overhangs by 4 rows so the canvas fills the view
        // (mended: fitted by the texture's proportions, 7 px of background showed each side).
        {"rounded-up texture", {640, 360}, {640, 368}, {1920, 1080}, true, box(1, 368 / 360.f)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Quad got = CanvasMetalView::canvasQuad(c.drawable, c.texture, c.canvas, c.fits);
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

TEST_F(CanvasMetalViewTest, ProgramPaneDrawsChangesAtThirtyFramesPerSecond) {
    makeView(CanvasEngine::Client::programPane, {60, 40});
    const int ticks = int(std::lround(1.0 / tick));
    for (int i = 0; i < ticks; ++i) {
        view->setCheckerSquare(10 + i % 3);  // something new on every refresh
        clock.advance(tick);
        settle();
    }
    EXPECT_NEAR(double(view->drawnFrames()), 30.0, 1.0);

    // No program: the 10-point checkerboard shows, lighter square first.
    view->setCheckerSquare(10);
    clock.advance(2 * tick);
    settle();
    const QImage image = view->grab().toImage();
    EXPECT_EQ(at(image, 2, 2), 0x4d4d4du);
    EXPECT_EQ(at(image, 12, 2), 0x333333u);
    EXPECT_EQ(at(image, 12, 12), 0x4d4d4du);
}

// A still at rest is drawn once; every later refresh finds nothing new and draws nothing, and
// whatever changes after skipped refreshes is drawn at the next one.
TEST_F(CanvasMetalViewTest, AFrameAtRestIsDrawnOnceAndEachChangeAtTheNextRefresh) {
    setProgram(solidImage(96, 64, Bgra{0, 0, 255, 255}));
    makeView(CanvasEngine::Client::programPane, {96, 64});
    const double interval = canvas->minimumScreenInterval(CanvasEngine::Client::programPane);
    auto refresh = [&] {
        clock.advance(interval + tick);
        settle();
    };
    for (int i = 0; i < 20; ++i) refresh();
    EXPECT_EQ(view->drawnFrames(), 1u);
    EXPECT_GE(view->presentedFrames(), 16u) << "the frame shown is presented again";
    EXPECT_EQ(at(view->grab().toImage(), 48, 32), 0xff0000u);

    struct Change {
        const char* name;
        std::function<void()> make;
        QRgb centre;
    };
    const Change changes[] = {
        {"a new program still",
         [&] {
             setProgram(solidImage(96, 64, Bgra{255, 0, 0, 255}));
         },
         0x0000ffu},
        {"the keyer",
         [&] {
             setKeyer(solidImage(96, 64, Bgra{0, 255, 0, 255}), 1, true);
         },
         0x00ff00u},
        {"the fitting (a square view of a 3:2 canvas leaves the background)",
         [&] {
             view->setCheckerSquare(0);
             view->setSolidBackgroundColor({1, 1, 1});
             view->setFitsCanvas(true);
             view->resize(64, 64);
         },
         0x00ff00u},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.name);
        const quint64 before = view->drawnFrames();
        for (int i = 0; i < 3; ++i) refresh();
        EXPECT_EQ(view->drawnFrames(), before);
        c.make();
        refresh();
        EXPECT_EQ(view->drawnFrames(), before + 1);
        EXPECT_EQ(at(view->grab().toImage(), view->width() / 2, view->height() / 2), c.centre);
    }
    EXPECT_EQ(at(view->grab().toImage(), 32, 2), 0xffffffu);
}

// Mended: the canvas texture's sides are rounded up to multiples of 16 and the canvas is
// fitted into it, so drawing the whole texture as the canvas left a band of background beside
// the picture after a resize (6 to 8 px each side).
TEST_F(CanvasMetalViewTest, TheCanvasFillsA16By9ViewAtEachSize) {
    {
        std::lock_guard lock(mutex);
        state.canvas = CanvasFormat{1920, 1080, "HD"};
    }
    setProgram(solidImage(1920, 1080, Bgra{0, 0, 255, 255}));
    makeView(CanvasEngine::Client::programPane, {640, 360});
    view->setCheckerSquare(0);
    view->setSolidBackgroundColor({0, 0, 1});
    struct Case {
        QSize size;
        bool fits;
    };
    // 1000 x 563 is fitted with 0.25 px of background above and below; the PROGRAM pane's
    // view is stretched over a rectangle already fitted to the canvas, to the pixel.
    for (const Case c : {Case{{640, 360}, true}, Case{{1000, 563}, true}, Case{{640, 360}, false},
                         Case{{1000, 560}, false}}) {
        SCOPED_TRACE(testing::Message() << c.size.width() << "x" << c.size.height() << " "
                                        << (c.fits ? "fitted" : "stretched"));
        view->setFitsCanvas(c.fits);
        view->resize(c.size);
        clock.advance(1.0 / 10);
        settle();
        const QImage image = view->grab().toImage();
        ASSERT_EQ(image.size(), c.size);
        const int w = c.size.width(), h = c.size.height();
        for (const QPoint p :
             {QPoint(0, h / 2), QPoint(w - 1, h / 2), QPoint(w / 2, 1), QPoint(w / 2, h - 2)})
            EXPECT_EQ(at(image, p.x(), p.y()), 0xff0000u) << p.x() << "," << p.y();
    }
}

}  // namespace
}  // namespace velmar::test
