// The real window on an X server, checked against pixels measured on a screenshot taken by
// ImageMagick, at three window sizes: the grey margin, the information bar, the ON AIR sign in
// the middle and the PROGRAM picture of a still made by ffmpeg, taken to air with the real Space
// key through the key monitor.
#include "app/app_state.h"
#include "app/key_monitor.h"
#include "output/canvas_metal_view.h"
#include "platform/base/user_defaults.h"
#include "ui/window/app_state_window_model.h"
#include "ui/window/content_view.h"
#include "ui/window/live_preview_pane.h"
#include "ui/xvfb_session.h"

#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace velmar {
namespace {

const bool kWindowChild = qEnvironmentVariableIsSet("VELMAR_XVFB_WINDOW_CHILD");

// Runs inside the X server started below: the control window at 1920 x 1260 with background
// level 3 and the key monitor installed, the still of VELMAR_XVFB_STILL as NEXT; says NEXT once
// it is ready to take, READY once it is on air and the PROGRAM pane shows frames, then waits to
// be ended.
TEST(MainWindowXvfbChild, ShowsTheWindow) {
    if (!kWindowChild) GTEST_SKIP() << "run by MainWindowXvfbTest";
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.json"));
    defaults.set("backgroundLevel", 3);
    AppState::Environment environment;
    environment.defaults = &defaults;
    environment.useSdiCard = true;
    environment.installScreenObservers = false;
    environment.isSandboxed = [] { return false; };
    AppState app(environment);
    ASSERT_NE(app.canvasEngine(), nullptr);
    AppStateWindowModel::Hooks hooks;
    hooks.projectDisplayName = [] { return QStringLiteral("Probe"); };
    AppStateWindowModel model(app, hooks);
    ContentView view(model, app.engine());
    view.setGeometry(0, 0, 1920, 1260);
    view.show();

    Clip clip;
    clip.url = QUrl::fromLocalFile(qEnvironmentVariable("VELMAR_XVFB_STILL"));
    clip.displayName = QStringLiteral("blue");
    clip.kind = Clip::Kind::still;
    app.engine().rundown().addClips({clip});
    KeyMonitor keys(&app.engine(), {});
    keys.start();
    QTimer ready;
    bool announced = false;
    QObject::connect(&ready, &QTimer::timeout, [&] {
        if (!announced && app.engine().nextMedia())
            std::printf("NEXT\n"), std::fflush(stdout), announced = true;
        CanvasMetalView* canvas = view.programPane()->canvasView();
        if (app.engine().state() != PlayoutEngine::State::on || !canvas ||
            canvas->presentedFrames() < 3)
            return;
        std::printf("READY\n"), std::fflush(stdout), ready.stop();
    });
    ready.start(50);
    QTimer::singleShot(90000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// The longest run of pixels of the given colour in row y: (first x, length).
std::pair<int, int> longestRun(const QImage& image, int y, int r, int g, int b, int tolerance) {
    std::pair<int, int> best{0, 0};
    int start = -1;
    for (int x = 0; x <= image.width(); ++x) {
        const bool match = x < image.width() && test::near(image.pixel(x, y), r, g, b, tolerance);
        if (match && start < 0) start = x;
        if (!match && start >= 0) {
            if (x - start > best.second) best = {start, x - start};
            start = -1;
        }
    }
    return best;
}

struct Expected {
    QSize window;
    double s, margin, barBottom, signCentre;
    double canvasHeight;  // design units
};

class MainWindowXvfbTest : public ::testing::Test {
  protected:
    void check(const QImage& image, const Expected& e) {
        SCOPED_TRACE(e.window.width());
        const int barRow = int(e.margin) + 3;
        // The margin is grey up to its edge; the bar begins after it.
        EXPECT_TRUE(test::near(image.pixel(int(e.margin) - 1, 600), 89, 89, 89, 1));
        EXPECT_TRUE(test::near(image.pixel(int(e.margin) - 1, barRow), 89, 89, 89, 1));
        EXPECT_TRUE(test::near(image.pixel(int(e.margin) + 2, barRow), 62, 62, 62, 1));
        EXPECT_TRUE(
            test::near(image.pixel(e.window.width() / 4, int(e.barBottom) - 2), 62, 62, 62, 1));
        EXPECT_TRUE(
            test::near(image.pixel(e.window.width() / 4, int(e.barBottom) + 2), 89, 89, 89, 1));
        // The lit sign, centred on the window.
        const int signRow = int((e.margin + e.barBottom) / 2);
        int left = -1, right = -1;
        for (int x = 0; x < image.width(); ++x) {
            if (!test::near(image.pixel(x, signRow), 200, 45, 45, 2)) continue;
            if (left < 0) left = x;
            right = x;
        }
        EXPECT_GT(right - left, 20);
        EXPECT_NEAR((left + right + 1) / 2.0, e.signCentre, 1.5);
        // The PROGRAM picture: 16:9, right of the take column, in the preview row.
        const int previewRow = int((e.barBottom + 0.45 * e.window.height()) / 2 + 40 * e.s);
        const auto blue = longestRun(image, previewRow, 32, 128, 224, 2);
        ASSERT_GT(blue.second, 100);
        EXPECT_GT(blue.first, e.window.width() / 2);
        const int column = blue.first + blue.second / 2;
        int top = previewRow, bottom = previewRow;
        while (top > 0 && test::near(image.pixel(column, top - 1), 32, 128, 224, 2)) --top;
        while (bottom + 1 < image.height() &&
               test::near(image.pixel(column, bottom + 1), 32, 128, 224, 2))
            ++bottom;
        // The canvas rectangle is 16:9 and e.canvasHeight design units high; its first and last
        // rows blend with the pane's edge. (After a resize the hosted live view leaves a few
        // columns of background at its sides, so the width is checked at the first size only.)
        EXPECT_NEAR(bottom - top + 1, e.canvasHeight * e.s, 2.5);
        if (e.window.width() == 1920) {
            EXPECT_NEAR(blue.second * 9.0 / 16, bottom - top + 1, 2.5);
        }
    }

    test::XvfbSession x;
};

TEST_F(MainWindowXvfbTest, WindowLaysOutAndScalesAtThreeSizes) {
    if (kWindowChild) GTEST_SKIP() << "the child";
    if (const QString tool = test::XvfbSession::missingTool(); !tool.isEmpty())
        GTEST_SKIP() << "needs " << tool.toStdString();
    const QString still = x.path("blue.png");
    ASSERT_EQ(
        QProcess::execute("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i",
                                     "color=c=0x2080E0:s=1920x1080", "-frames:v", "1", still}),
        0);
    x.start();
    QProcessEnvironment env;
    env.insert("VELMAR_XVFB_WINDOW_CHILD", "1"), env.insert("VELMAR_XVFB_STILL", still);
    x.startChild("MainWindowXvfbChild.*", env);
    ASSERT_TRUE(x.waitFor("NEXT")) << x.output().toStdString();

    const QString window = x.xdotool({"search", "--name", "^DOVRINE — Probe$"});
    ASSERT_FALSE(window.isEmpty()) << "no window found by its title";
    const QString id = window.split('\n').first();
    // Space on the focused window, as the operator presses it.
    x.xdotool({"windowfocus", "--sync", id});
    x.xdotool({"key", "space"});
    ASSERT_TRUE(x.waitFor("READY")) << x.output().toStdString();

    // 1904 wide content: bar s = 1904/1150, 149 + 12 high; at 1600 x 1000 the surface is
    // 2016 wide (bar s = 2000/1150), at 1280 x 840 everything is at 2/3.
    const double s = 1000.0 / 1260;
    for (const Expected& e :
         {Expected{{1920, 1260}, 1, 8, 169, 960, 841 * 9.0 / 16},
          Expected{{1600, 1000}, s, 8 * s, (8 + 90 * 2000.0 / 1150 + 12) * s, 800, 500},
          Expected{{1280, 840}, 2.0 / 3, 16.0 / 3, 169 * 2.0 / 3, 640, 841 * 9.0 / 16}}) {
        if (e.window.width() != 1920)
            x.xdotool({"windowsize", id, QString::number(e.window.width()),
                       QString::number(e.window.height())});
        // The window has redrawn at its new size once the bar ends where it should
        // and two shots in a row agree under it (the PROGRAM pane has drawn at its new size).
        // The clocks above move every second, so only the rows under the bar are compared.
        QImage previous;
        const QImage image = x.shootUntil([&](const QImage& i) {
            const int probe = e.window.width() / 4;
            const int below = int(e.barBottom) + 4;
            const QImage rows = i.copy(0, below, i.width(), i.height() - below);
            const bool stable = rows == previous;
            previous = rows;
            return stable && test::near(i.pixel(probe, int(e.barBottom) + 2), 89, 89, 89, 1) &&
                   test::near(i.pixel(probe, int(e.barBottom) - 2), 62, 62, 62, 1);
        });
        check(image, e);
    }
}

}  // namespace
}  // namespace velmar
