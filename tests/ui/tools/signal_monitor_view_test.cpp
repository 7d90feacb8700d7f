#include "ui/tools/signal_monitor_view.h"

#include "canvas/signal_probe.h"
#include "canvas/signal_test_support.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "ui/tools/signal_monitor_pane.h"
#include "ui/tools/signal_monitor_window_controller.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>

#include <gtest/gtest.h>

namespace velmar::test {
namespace {

struct SignalMonitorViewTest : ::testing::Test {
    FakeClock clock;
    SignalProbe probe{clock, clock};
    SignalMonitorContext context{.isDeckLinkRunning = [] { return true; }};

    // Publishes a snapshot of an 8 x 4 frame as the SDI feed would: in premultiplied mode its
    // left half (colour over key 0) breaks the rule, its right half is opaque grey.
    void publish(SignalProbe::Source source = SignalProbe::Source::sdi) {
        auto frame = bgraBuffer(8, 4, [](int x, int) {
            return x < 4 ? Pixel{0, 0, 255, 0} : Pixel{128, 128, 128, 255};
        });
        clock.advance(1.0);
        ASSERT_TRUE(probe.reserveCapture());
        probe.capture(*frame, KeyAlphaMode::premultiplied, source);
        probe.waitForAnalysis();
        drainMainQueue();
        ASSERT_TRUE(probe.snapshot());
    }
    void TearDown() override {
        probe.stop();
        drainMainQueue();
    }
};

TEST_F(SignalMonitorViewTest, PlaceholderUntilASnapshotThenPicturesWithTheOverlayOnlyWhenChecked) {
    probe.start();
    SignalMonitorView view(probe, context);
    view.resize(1180, 860);
    view.show();
    auto* placeholder = view.findChild<QLabel*>("placeholder");
    auto* source = view.findChild<QLabel*>("statusValue0");
    EXPECT_TRUE(placeholder->isVisible());
    EXPECT_EQ(source->text(), "—");

    publish();
    EXPECT_FALSE(placeholder->isVisible());
    EXPECT_TRUE(view.findChild<QLabel*>("sampleLine")->text().contains("8×4"));
    EXPECT_EQ(source->text(), localized("SDI 出力バッファ（実際に送っている値）"));
    auto* fill = view.findChild<SignalMonitorPane*>("fillPane");
    const QRect content = fill->contentRect();
    const int block = int(std::min(content.width() / 8.0, content.height() / 4.0));
    const QPoint centre = content.center();
    const QPoint first = centre - QPoint(3 * block + block / 2, 0);
    QImage shot = fill->grab().toImage();
    EXPECT_EQ(shot.pixelColor(first), QColor(255, 0, 255)) << "magenta over the violation";
    // Nearest neighbour: the middle of the picture is a step between blocks, not a blend.
    EXPECT_EQ(shot.pixelColor(centre - QPoint(1, 0)), QColor(255, 0, 255));
    EXPECT_EQ(shot.pixelColor(centre + QPoint(1, 0)), QColor(128, 128, 128));
    view.findChild<QCheckBox*>("highlightViolations")->setChecked(false);
    EXPECT_EQ(fill->grab().toImage().pixelColor(first), QColor(0, 0, 255)) << "the fill alone";
}

// Mended: the first status row was held at 18 px and its items were squeezed, cutting the
// English source text; the items keep their natural size, in both languages, within the
// window's default width.
TEST_F(SignalMonitorViewTest, StatusItemsKeepTheirNaturalSizeInBothLanguages) {
    probe.start();
    context.isDeckLinkRunning = [] { return false; };
    for (const AppLanguage language : {AppLanguage::ja, AppLanguage::en}) {
        LanguageSettings::shared().setLanguage(language);
        SignalMonitorView view(probe, context);
        view.resize(1180, 860);
        view.show();
        publish(SignalProbe::Source::composite);  // the longest source text
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        EXPECT_EQ(view.width(), 1180) << "the status row fits the default width";
        for (int i = 0; i < 4; ++i) {
            auto* value = view.findChild<QLabel*>(QStringLiteral("statusValue%1").arg(i));
            ASSERT_NE(value, nullptr);
            SCOPED_TRACE(value->text().toStdString());
            const QWidget* item = value->parentWidget();
            EXPECT_GE(item->width(), item->sizeHint().width());
            EXPECT_GE(item->height(), item->sizeHint().height());
            EXPECT_GE(value->width(), value->sizeHint().width());
        }
    }
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
}

TEST_F(SignalMonitorViewTest, TheWaveformPaneDrawsItsPlotAndGraticuleWhereTheGeometrySays) {
    SignalMonitorPane pane(SignalMonitorPane::Kind::waveform, "W");
    pane.setGraticule(SignalMonitorGeometry::Graticule::rgb);
    pane.resize(300, 200);
    pane.resize(300, 200 + pane.contentRect().top());
    const int top = pane.contentRect().top();
    QImage trace(3, 256, QImage::Format_RGBA8888_Premultiplied);
    trace.fill(QColor(0, 255, 0));
    pane.setImage(trace);
    QImage shot = pane.grab().toImage();
    EXPECT_EQ(shot.pixelColor(66, top + 30).green(), 255) << "the image fills the plot";
    EXPECT_EQ(shot.pixelColor(44, top + 30), QColor(Qt::black)) << "left of the plot";
    EXPECT_EQ(shot.pixelColor(150, top + 196), QColor(Qt::black)) << "below the plot";

    // Over an empty plot: the 50 % line dashed 3 on, 3 off from the plot's left edge, the 100 %
    // line solid and brighter, a separator at a third of the plot's width.
    pane.setImage(QImage());
    shot = pane.grab().toImage();
    auto lit = [&](int x, int y) {
        return std::max(shot.pixelColor(x, top + y - 1).red(), shot.pixelColor(x, top + y).red());
    };
    EXPECT_GT(lit(47, 100), 8);
    EXPECT_LT(lit(50, 100), 4);
    EXPECT_GT(lit(47, 6), lit(47, 100));
    EXPECT_GT(std::max(lit(128, 31), lit(129, 31)), 20);
    EXPECT_LT(lit(110, 31), 4);
}

TEST_F(SignalMonitorViewTest, TheControllerRunsTheProbeExactlyWhileItsOneWindowIsOpen) {
    SignalMonitorWindowController controller(probe, context);
    controller.show();
    QWidget* window = controller.window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(probe.isRunning());
    EXPECT_EQ(window->objectName(), "dovrine.signal-monitor");
    EXPECT_EQ(window->windowTitle(), localized("信号モニター（SDI フィル / キー）"));
    EXPECT_EQ(window->size(), QSize(1180, 860));
    EXPECT_EQ(window->minimumSize(), QSize(1080, 700));
    window->findChild<QCheckBox*>("highlightViolations")->setChecked(false);
    publish();

    controller.show();
    EXPECT_EQ(controller.window(), window) << "an open window is only brought to the front";
    EXPECT_EQ(clock.activeTimerCount(), 1);
    controller.toggle();
    EXPECT_FALSE(controller.isOpen());
    EXPECT_FALSE(probe.isRunning());
    EXPECT_FALSE(probe.snapshot()) << "closing stops the probe and clears its snapshot";
    drainMainQueue();

    controller.toggle();
    auto* view = qobject_cast<SignalMonitorView*>(controller.window());
    ASSERT_TRUE(view);
    EXPECT_TRUE(probe.isRunning());
    EXPECT_TRUE(view->highlightViolations()) << "each opening starts with the overlay on";
    EXPECT_TRUE(view->findChild<QLabel*>("placeholder")->isVisible());
    view->close();  // the close button
    EXPECT_FALSE(controller.isOpen());
    EXPECT_FALSE(probe.isRunning());
}

}  // namespace
}  // namespace velmar::test
