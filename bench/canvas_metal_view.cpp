// The PROGRAM pane's view at 1920 x 1080 with a 1920 x 1080 still on air, offscreen:
//   canvas changed: the program's presence changes before every refresh (a fade), so the
//     refresh renders the canvas, the background and the picture on the device and the new
//     frame is painted;
//   view changed: only the checkerboard square changes, so the same canvas is rendered again
//     with a new background and painted;
//   unchanged: nothing changes, so the refresh finds the frame shown still right (the idle
//     case: a still on air);
// beside QPainter::drawImage of a 1920 x 1080 picture onto a 1920 x 1080 image, measured in the
// same benchmark. Counters: ms per refresh, drawImage_ms, "x_drawImage" (refresh / drawImage),
// the frames the view drew per refresh, and "cpu_ms" / "cpu_x_drawImage", the processor time of
// the whole process per refresh and per drawImage (the work done, which on a loaded machine
// varies less than the wall-clock time).
#include "output/canvas_metal_view.h"
#include "canvas/canvas_engine.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "render/still_texture_cache.h"
#include "support/fake_clock.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <utility>

#include <time.h>

using namespace velmar;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

ImageRef makeStill() {
    QImage img(kWidth, kHeight, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < kHeight; ++y) {
        uchar* p = img.scanLine(y);
        for (int x = 0; x < kWidth; ++x, p += 4) {
            p[0] = uchar((x * 7 + y) & 255);
            p[1] = uchar((x + y * 3) & 255);
            p[2] = uchar((x ^ y) & 255);
            p[3] = 255;
        }
    }
    return std::make_shared<const QImage>(img);
}

double processSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Wall-clock and processor seconds of one drawImage.
std::pair<double, double> drawImageSeconds() {
    QImage source(kWidth, kHeight, QImage::Format_RGB32);
    source.fill(0xff336699);
    QImage into(kWidth, kHeight, QImage::Format_RGB32);
    const int n = 20;
    const double cpu0 = processSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
        QPainter painter(&into);
        painter.drawImage(QRectF(0, 0, kWidth, kHeight), source);
    }
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / n,
            (processSeconds() - cpu0) / n};
}

// Argument: 2 = the canvas changes before every refresh, 1 = the view's background does,
// 0 = nothing does.
void BM_ProgramPaneRefresh(benchmark::State& state) {
    const int changing = int(state.range(0));
    OutputState s;
    s.canvas = CanvasFormat{kWidth, kHeight, "1080"};
    s.media = PlayoutMedia::still(makeStill());
    s.motion = MotionKind::fade;  // the presence is the program's opacity
    s.opacity = 1;
    OutputSnapshot snapshot{std::make_shared<const OutputState>(s), 1};
    CanvasEngine::Sources sources;
    sources.outputState = [&] { return snapshot; };
    sources.keyerSnapshot = [] { return DSKController::Snapshot{}; };
    sources.frameRate = [] { return FrameRate{30000, 1001}; };
    test::FakeClock clock;
    StillTextureCache cache;
    CanvasEngine::Options options;
    options.clock = &clock;
    options.stillCache = &cache;
    auto canvas = CanvasEngine::create(std::move(sources), options);
    if (!canvas) {
        state.SkipWithError("no canvas engine");
        return;
    }
    CanvasMetalView::Options viewOptions;
    viewOptions.clock = &clock;
    viewOptions.timers = &clock;
    CanvasMetalView view(*canvas, CanvasEngine::Client::programPane, viewOptions);
    view.setFitsCanvas(true);
    view.resize(kWidth, kHeight);
    view.show();
    QImage screen(kWidth, kHeight, QImage::Format_RGB32);

    int refresh = 0;
    auto step = [&] {
        ++refresh;
        if (changing == 1) view.setCheckerSquare(refresh % 2 ? 10 : 12);
        if (changing == 2) snapshot.opacity = refresh % 2 ? 0.5 : 0.6;
        clock.advance(0.1);
        // The frame's completion reaches the view through the event loop.
        auto marker = canvas->renderer()->commandQueue().commandBuffer();
        marker->commit();
        marker->waitUntilCompleted();
        QCoreApplication::processEvents();
        if (changing != 0)  // paintEvent: the drawable onto the screen image
            static_cast<QWidget&>(view).render(&screen);
    };
    for (int i = 0; i < 3; ++i) step();  // drawables, targets and the still's texture
    const quint64 drawnBefore = view.drawnFrames();
    const double cpu0 = processSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) step();
    const double perRefresh =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
        double(state.iterations());
    const double cpuPerRefresh = (processSeconds() - cpu0) / double(state.iterations());
    const auto [drawImage, drawImageCpu] = drawImageSeconds();
    state.counters["ms"] = perRefresh * 1e3;
    state.counters["cpu_ms"] = cpuPerRefresh * 1e3;
    state.counters["cpu_x_drawImage"] = cpuPerRefresh / drawImageCpu;
    state.counters["drawImage_ms"] = drawImage * 1e3;
    state.counters["x_drawImage"] = perRefresh / drawImage;
    state.counters["drawn_per_refresh"] =
        double(view.drawnFrames() - drawnBefore) / double(state.iterations());
    state.SetLabel(changing == 2   ? "canvas changed: render + paint"
                   : changing == 1 ? "view changed: render + paint"
                                   : "unchanged frame");
}

}  // namespace

BENCHMARK(BM_ProgramPaneRefresh)
    ->ArgName("changing")
    ->Arg(2)
    ->Arg(1)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
