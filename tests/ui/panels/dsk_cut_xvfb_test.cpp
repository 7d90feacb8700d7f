// The keyer's CUT clicked with xdotool in the assembled control window on an X server: the ON AIR
// sign lights in its live red and the control bar's "DSK" title turns red, both measured on a
// screenshot taken by ImageMagick.
#include "app/app_state.h"
#include "app/document_dialogs_qt.h"
#include "app/document_workflow.h"
#include "app/dovrine_app_document_host.h"
#include "core/autosave_store.h"
#include "core/dsk_controller.h"
#include "platform/base/user_defaults.h"
#include "support/fake_clock.h"
#include "ui/app_views.h"
#include "ui/control_window_harness.h"
#include "ui/controls/palette.h"
#include "ui/panels/dsk_control_bar.h"
#include "ui/window/content_view.h"
#include "ui/xvfb_session.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

namespace velmar {
namespace {

const bool kDskChild = qEnvironmentVariableIsSet("VELMAR_XVFB_DSK_CHILD");

// Runs inside the X server: the control window at 1920 x 1260 with the still of
// VELMAR_XVFB_STILL loaded into the keyer. Says "READY x y left top right bottom" (the CUT
// button's centre and the title's rectangle on the screen) once CUT can be pressed, then waits.
TEST(DSKCutXvfbChild, ShowsTheWindow) {
    if (!kDskChild) GTEST_SKIP() << "run by DSKCutXvfbTest";
    test::ControlWindowHarness harness({.backgroundLevel = 3});
    QWidget& window = harness.window;
    ContentView* view = harness.view;
    AppState& app = harness.app;
    window.setGeometry(0, 0, 1920, 1260);
    view->setGeometry(0, 0, 1920, 1260);
    window.show();

    app.engine().dsk().load(QUrl::fromLocalFile(qEnvironmentVariable("VELMAR_XVFB_STILL")));
    auto* bar = view->findChild<DSKControlBar*>();
    ASSERT_NE(bar, nullptr);
    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout, [&] {
        if (!bar->cutButton()->isEnabled() || !bar->isVisible()) return;
        const QPoint cut = bar->cutButton()->mapToGlobal(bar->cutButton()->rect().center());
        const QRect title(bar->title()->mapToGlobal(QPoint(0, 0)), bar->title()->size());
        std::printf("READY %d %d %d %d %d %d\n", cut.x(), cut.y(), title.left(), title.top(),
                    title.right(), title.bottom());
        std::fflush(stdout);
        ready.stop();
    });
    ready.start(50);
    QTimer::singleShot(90000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

int countNear(const QImage& image, const QRect& area, const QColor& colour, int tolerance) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += test::near(image.pixel(x, y), colour.red(), colour.green(), colour.blue(),
                                tolerance)
                         ? 1
                         : 0;
    return count;
}

TEST(DSKCutXvfbTest, CutLightsTheSignAndTurnsTheTitleRed) {
    if (kDskChild) GTEST_SKIP() << "the child";
    if (const QString tool = test::XvfbSession::missingTool(); !tool.isEmpty())
        GTEST_SKIP() << "needs " << tool.toStdString();
    test::XvfbSession x;
    const QString still = x.path("logo.png");
    ASSERT_EQ(QProcess::execute("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i",
                                           "color=c=0x20E080:s=640x360", "-frames:v", "1", still}),
              0);
    x.start();
    QProcessEnvironment env;
    env.insert("VELMAR_XVFB_DSK_CHILD", "1"), env.insert("VELMAR_XVFB_STILL", still);
    x.startChild("DSKCutXvfbChild.*", env);
    ASSERT_TRUE(x.waitFor("READY")) << x.output().toStdString();
    x.drain(500);  // the rest of the READY line
    const int at = x.output().indexOf("READY");
    const QStringList figures = x.output().mid(at, x.output().indexOf('\n', at) - at).split(' ');
    ASSERT_EQ(figures.size(), 7) << x.output().toStdString();
    const QPoint cut(figures[1].toInt(), figures[2].toInt());
    const QRect title(QPoint(figures[3].toInt(), figures[4].toInt()),
                      QPoint(figures[5].toInt(), figures[6].toInt()));
    // The sign's row: the middle of the information bar (8 to 169 at this size).
    const QRect signRow(0, (8 + 169) / 2, 1920, 1);
    const QColor live(200, 45, 45);

    // Before the cut: the sign is dark and the title grey.
    const QImage before = x.shoot();
    EXPECT_EQ(countNear(before, signRow, live, 2), 0);
    EXPECT_EQ(countNear(before, title, Palette::systemRed(), 12), 0);

    x.xdotool({"mousemove", QString::number(cut.x()), QString::number(cut.y())});
    x.xdotool({"click", "1"});
    const QImage after =
        x.shootUntil([&](const QImage& shot) { return countNear(shot, signRow, live, 2) > 20; });
    EXPECT_GT(countNear(after, signRow, live, 2), 20);
    EXPECT_GT(countNear(after, title, Palette::systemRed(), 12), 20);
}

}  // namespace
}  // namespace velmar
