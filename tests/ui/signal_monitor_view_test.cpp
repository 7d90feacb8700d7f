#include "ui/signal_monitor_view.h"
#include "canvas/signal_probe.h"
#include "canvas/signal_test_support.h"
#include "models/localized.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "ui/signal_monitor_pane.h"
#include "ui/signal_monitor_window_controller.h"

#include <QCheckBox>
#include <QLabel>

#include <gtest/gtest.h>

namespace velmar::test {
namespace {

struct SignalMonitorViewTest : ::testing::Test {
    FakeClock clock;
    SignalProbe probe{clock, clock};
    bool running = false;

    SignalMonitorContext context() {
        SignalMonitorContext c;
        c.isDeckLinkRunning = [this] { return running; };
        return c;
    }

    // Publishes a snapshot of the frame as the SDI feed would.
    void publish(const gpu::PixelBuffer& frame, KeyAlphaMode mode) {
        clock.advance(1.0);
        ASSERT_TRUE(probe.reserveCapture());
        probe.capture(frame, mode, SignalProbe::Source::sdi);
        probe.waitForAnalysis();
        drainMainQueue();
        ASSERT_TRUE(probe.snapshot());
    }

    void TearDown() override {
        probe.stop();
        drainMainQueue();
    }
};

QColor pixel(const QImage& image, QPoint at) {
    return image.pixelColor(at);
}

TEST_F(SignalMonitorViewTest, PlaceholderUntilASnapshotThenPicturesWithTheOverlayOnlyWhenChecked) {
    probe.start();
    SignalMonitorView view(probe, context());
    view.resize(1180, 860);
    view.show();
    auto* placeholder = view.findChild<QLabel*>("placeholder");
    auto* sampleLine = view.findChild<QLabel*>("sampleLine");
    auto* source = view.findChild<QLabel*>("statusValue0");
    ASSERT_TRUE(placeholder && sampleLine && source);
    EXPECT_TRUE(placeholder->isVisible());
    EXPECT_FALSE(sampleLine->isVisible());
    EXPECT_EQ(source->text(), QStringLiteral("—"));
    EXPECT_TRUE(view.highlightViolations());

    // Premultiplied: the left half breaks the rule (colour over key 0), the right half is grey.
    auto frame = bgraBuffer(8, 4, [](int x, int) {
        return x < 4 ? Pixel{0, 0, 255, 0} : Pixel{128, 128, 128, 255};
    });
    publish(*frame, KeyAlphaMode::premultiplied);
    EXPECT_FALSE(placeholder->isVisible());
    EXPECT_EQ(
        sampleLine->text(),
        localizedFormat("サンプル %lld×%lld（%lld×%lld を間引き）・1 秒に最大 8 回・輝度と色差は "
                        "Rec.709 の計算値。10bit 出力時は変換前の BGRA を測定",
                        {8LL, 4LL, 8LL, 4LL}));
    EXPECT_EQ(source->text(), localized("SDI 出力バッファ（実際に送っている値）"));

    auto* fill = view.findChild<SignalMonitorPane*>("fillPane");
    ASSERT_TRUE(fill);
    const QRect content = fill->contentRect();
    // The 8 x 4 samples fill the pane's width as blocks; the first block is a violation.
    const double block = std::min(content.width() / 8.0, content.height() / 4.0);
    const QPoint inFirst(content.center().x() - int(3.5 * block), content.center().y());
    const QPoint inLast(content.center().x() + int(3.5 * block), content.center().y());
    QImage shot = fill->grab().toImage();
    EXPECT_EQ(pixel(shot, inFirst), QColor(255, 0, 255)) << "magenta over the violation";
    EXPECT_EQ(pixel(shot, inLast), QColor(128, 128, 128));
    // Nearest-neighbour: the boundary between blocks is a step, no blend.
    const int boundary = content.center().x();
    EXPECT_EQ(pixel(shot, QPoint(boundary - 1, content.center().y())), QColor(255, 0, 255));
    EXPECT_EQ(pixel(shot, QPoint(boundary + 1, content.center().y())), QColor(128, 128, 128));

    view.findChild<QCheckBox*>("highlightViolations")->setChecked(false);
    shot = fill->grab().toImage();
    EXPECT_EQ(pixel(shot, inFirst), QColor(0, 0, 255)) << "the fill alone";
}

TEST_F(SignalMonitorViewTest, TheWaveformPaneDrawsItsPlotAndGraticuleWhereTheGeometrySays) {
    SignalMonitorPane pane(SignalMonitorPane::Kind::waveform, QStringLiteral("W"));
    pane.setGraticule(SignalMonitorGeometry::Graticule::rgb);
    pane.resize(300, 200);
    pane.resize(300, 200 + pane.contentRect().top());
    QImage trace(3, 256, QImage::Format_RGBA8888_Premultiplied);
    trace.fill(QColor(0, 255, 0));
    pane.setImage(trace);
    const QImage shot = pane.grab().toImage();
    const int top = pane.contentRect().top();
    // The image fills exactly the plot (46, 6, 248, 188).
    EXPECT_EQ(pixel(shot, QPoint(46 + 20, top + 30)).green(), 255);
    EXPECT_EQ(pixel(shot, QPoint(44, top + 30)), QColor(Qt::black)) << "left of the plot";
    EXPECT_EQ(pixel(shot, QPoint(150, top + 196)), QColor(Qt::black)) << "below the plot";

    // Over an empty plot: the 50 % line is dashed 3 on, 3 off from the plot's left edge, and
    // the parade's first separator crosses at a third of the plot's width.
    pane.setImage(QImage());
    const QImage lines = pane.grab().toImage();
    auto lit = [&](int x, int y) {
        return std::max(pixel(lines, QPoint(x, top + y - 1)).red(),
                        pixel(lines, QPoint(x, top + y)).red());
    };
    EXPECT_GT(lit(47, 100), 8) << "a dash";
    EXPECT_LT(lit(50, 100), 4) << "a gap";
    EXPECT_GT(lit(47, 6), lit(47, 100)) << "the 100 % line is solid and brighter";
    const int separator = std::max(pixel(lines, QPoint(128, top + 30)).red(),
                                   pixel(lines, QPoint(129, top + 30)).red());
    EXPECT_GT(separator, 20);
    EXPECT_LT(pixel(lines, QPoint(110, top + 30)).red(), 4);
}

TEST_F(SignalMonitorViewTest, TheControllerRunsTheProbeExactlyWhileItsOneWindowIsOpen) {
    SignalMonitorWindowController controller(probe, context());
    controller.show();
    QWidget* window = controller.window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(probe.isRunning());
    EXPECT_EQ(window->objectName(), QStringLiteral("dovrine.signal-monitor"));
    EXPECT_EQ(window->windowTitle(), localized("信号モニター（SDI フィル / キー）"));
    EXPECT_EQ(window->size(), QSize(1180, 860));
    EXPECT_EQ(window->minimumSize(), QSize(1080, 700));
    window->findChild<QCheckBox*>("highlightViolations")->setChecked(false);

    auto frame = bgraBuffer(4, 4, [](int, int) { return Pixel{10, 20, 30, 255}; });
    publish(*frame, KeyAlphaMode::straight);

    controller.show();
    EXPECT_EQ(controller.window(), window) << "an open window is only brought to the front";
    EXPECT_EQ(clock.activeTimerCount(), 1);

    controller.toggle();
    EXPECT_FALSE(controller.isOpen());
    EXPECT_FALSE(probe.isRunning());
    EXPECT_FALSE(probe.snapshot()) << "closing stops the probe and clears its snapshot";
    EXPECT_EQ(clock.activeTimerCount(), 0);
    drainMainQueue();

    controller.toggle();
    ASSERT_TRUE(controller.isOpen());
    EXPECT_TRUE(probe.isRunning());
    auto* view = qobject_cast<SignalMonitorView*>(controller.window());
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->highlightViolations()) << "each opening starts with the overlay on";
    EXPECT_TRUE(view->findChild<QLabel*>("placeholder")->isVisible());

    controller.window()->close();  // the close button
    EXPECT_FALSE(controller.isOpen());
    EXPECT_FALSE(probe.isRunning());
}

}  // namespace
}  // namespace velmar::test
