// The main window's drawing, offscreen: the whole surface at 1920 x 1260, one tick of the
// information bar, and the NEXT pane during a drag over a 3840 x 2160 still, with its scaled
// copy kept between paints, beside drawing the full still into the same rectangle each paint.
#include "core/playout_engine.h"
#include "platform/base/host_clock.h"
#include "platform/base/timer.h"
#include "ui/window/content_view.h"
#include "ui/window/info_bar.h"
#include "ui/window/main_window_model.h"
#include "ui/window/preview_pane.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace velmar {
namespace {

struct StillModel final : MainWindowModel {
    int backgroundLevel() const override { return 3; }
    QString projectDisplayName() const override { return QStringLiteral("Show"); }
    bool isProjectLoading() const override { return false; }
    bool programOnLeft() const override { return false; }
    double centerColumnWidth() const override { return 160; }
    void setCenterColumnWidth(double) override {}
    PreviewBackground previewBackground() const override { return PreviewBackground::checker; }
    CanvasEngine* canvasEngine() const override { return nullptr; }
    std::optional<int> durationEditor() const override { return std::nullopt; }
    void closeDurationEditor() override {}
    bool isDeckLinkRunning() const override { return false; }
    bool isOutputOpen() const override { return false; }
    bool isOBSOpen() const override { return false; }
    OBSTransport effectiveOBSTransport() const override { return OBSTransport::ndi; }
    bool chromaKeyEnabled() const override { return false; }
    void setChromaKeyEnabled(bool) override {}
    void startDeckLink() override {}
    void stopDeckLink() override {}
    void toggleOutput() override {}
    void toggleOBSOutput() override {}
    void presentAddClips(AddPanel) override {}
    void remember(const QList<QUrl>&) override {}
    void importURLs(const QList<QUrl>&) override {}
    void resizeSelectedTransform(double, QSizeF, QSizeF) override {}
    SystemLoadPanel::Figures loadFigures() const override { return {12, 8, 40}; }
    void setFrameBudget(double) override {}
    void startMonitor() override {}
};

void BM_SurfacePaint(benchmark::State& state) {
    StillModel model;
    PlayoutEngine engine;
    ContentView view(model, engine);
    view.resize(1920, 1260);
    QImage target(1920, 1260, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_SurfacePaint)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_InfoBarTick(benchmark::State& state) {
    InfoBar bar(HostClock::system(), TimerFactory::system());
    bar.resize(1904, 161);
    SystemLoadPanel::Figures figures{120, 30, 55};
    bar.setLoadFigures(figures);
    bar.setProjectName(QStringLiteral("Evening news"));
    QImage target(1904, 161, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        bar.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_InfoBarTick)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

std::shared_ptr<QImage> bigStill() {
    auto image = std::make_shared<QImage>(3840, 2160, QImage::Format_RGBA8888_Premultiplied);
    QPainter painter(image.get());
    QLinearGradient gradient(0, 0, 3840, 2160);
    gradient.setColorAt(0, Qt::blue);
    gradient.setColorAt(1, Qt::yellow);
    painter.fillRect(image->rect(), gradient);
    return image;
}

void sendMove(QWidget& widget, QPointF at, QEvent::Type type, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, at, at, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

// The NEXT pane as the window shows it at 1920 x 1080 (a pane of about 1000 x 600 pixels).
void BM_NextPaneDragCached(benchmark::State& state) {
    PreviewPane pane(QStringLiteral("NEXT"), Qt::green);
    pane.setCanvas({1920, 1080});
    pane.setMedia(PlayoutMedia::still(bigStill()));
    pane.setEditable(true);
    pane.resize(1000, 600);
    const QPointF start = pane.pictureCentre();
    sendMove(pane, start, QEvent::MouseButtonPress, Qt::LeftButton);
    QImage target(1000, 600, QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    for (auto _ : state) {
        sendMove(pane, start + QPointF(10 + step++ % 50, 5), QEvent::MouseMove, Qt::LeftButton);
        pane.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_NextPaneDragCached)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// What each paint costs without the scaled copy: the full still drawn into the picture's
// rectangle (the rest of the pane left out, so this is the lower bound of that way).
void BM_NextPaneDragFullStill(benchmark::State& state) {
    PreviewPane pane(QStringLiteral("NEXT"), Qt::green);
    pane.setCanvas({1920, 1080});
    const auto still = bigStill();
    pane.setMedia(PlayoutMedia::still(still));
    pane.resize(1000, 600);
    const QRectF canvas = pane.canvasRect();
    const QSizeF picture = pane.pictureSize();
    QImage target(1000, 600, QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    for (auto _ : state) {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setClipRect(canvas);
        QRectF rect(QPointF(), picture);
        rect.moveCenter(canvas.center() + QPointF(10 + step++ % 50, 5));
        painter.drawImage(rect, *still);
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_NextPaneDragFullStill)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmar

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
