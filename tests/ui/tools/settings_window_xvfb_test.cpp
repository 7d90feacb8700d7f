// The settings form in a real window on an X server, looked at on a screenshot taken by the
// ffmpeg command: the window is 460 wide, the nine section headers are drawn top to bottom, and
// with the SDI output running the format rows are drawn greyed beside an enabled picker.
#include "app/app_state.h"
#include "core/autosave_store.h"
#include "platform/base/user_defaults.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "support/fake_clock.h"
#include "ui/tools/settings_view.h"
#include "ui/xvfb_session.h"

#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

namespace velmar {
namespace {

const bool kSettingsChild = qEnvironmentVariableIsSet("VELMAR_XVFB_SETTINGS_CHILD");

QString rect(const QWidget* w) {
    const QPoint at = w->mapToGlobal(QPoint(0, 0));
    return QStringLiteral("%1 %2 %3 %4").arg(at.x()).arg(at.y()).arg(w->width()).arg(w->height());
}

// Runs inside the X server: the form with the SDI output of a virtual card running; prints the
// places of its headers and of four controls, then READY, and waits to be ended.
TEST(SettingsWindowXvfbChild, ShowsTheForm) {
    if (!kSettingsChild) GTEST_SKIP() << "run by SettingsWindowXvfbTest";
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.json"));
    VirtualSdiConfig config;
    config.clock = SdiClockMode::manual;
    config.devices.push_back(SdiDeviceConfig{});
    VirtualSdiCard card(config);
    AppState::Environment environment;
    environment.defaults = &defaults;
    environment.useSdiCard = true;
    environment.sdiCard = &card;
    environment.installScreenObservers = false;
    environment.isSandboxed = [] { return false; };
    AppState app(environment);
    test::FakeClock clock;
    AutosaveStore store({dir.filePath("support"), &defaults, &clock, nullptr, false});
    SettingsView::Services services;
    services.isSandboxed = [] { return false; };
    services.autosave = &store;
    services.modes = [&card](long long device, SDIBitDepth depth, bool keyer) {
        return DeckLinkController::supportedModes(&card, device, depth, keyer);
    };
    SettingsView view(app, services);
    view.setWindowTitle(QStringLiteral("Settings Probe"));
    view.move(0, 0);
    view.show();
    app.startDeckLink();
    ASSERT_TRUE(app.isDeckLinkRunning()) << app.engine().lastMessage().toStdString();
    QTimer::singleShot(500, [&] {
        for (const QGroupBox* box : view.findChildren<QGroupBox*>())
            std::printf("HEADER %s\n", rect(box).toUtf8().constData());
        for (const char* name : {"format", "frameRate", "custom", "keyAlpha"})
            std::printf("CONTROL %s %s\n", name,
                        rect(view.findChild<QWidget*>(name)).toUtf8().constData());
        std::printf("READY\n"), std::fflush(stdout);
    });
    QTimer::singleShot(90000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// The darkest grey level inside a rectangle of the picture.
int darkest(const QImage& image, const QRect& r) {
    int level = 255;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            level = std::min(level, qGray(image.pixel(x, y)));
    return level;
}

QRect parseRect(const QStringList& parts, int from) {
    return QRect(parts[from].toInt(), parts[from + 1].toInt(), parts[from + 2].toInt(),
                 parts[from + 3].toInt());
}

TEST(SettingsWindowXvfbTest, FormIs460WideWithHeadersInOrderAndFormatGreyedWhileSDIRuns) {
    if (kSettingsChild) GTEST_SKIP() << "the child";
    if (const QString tool = test::XvfbSession::missingTool(); !tool.isEmpty())
        GTEST_SKIP() << "needs " << tool.toStdString();
    test::XvfbSession x;
    x.start(QSize(1920, 2400));  // taller than the usual screen, so that the whole form fits
    QProcessEnvironment env;
    env.insert("VELMAR_XVFB_SETTINGS_CHILD", "1");
    x.startChild("SettingsWindowXvfbChild.*", env);
    ASSERT_TRUE(x.waitFor("READY")) << x.output().toStdString();
    x.drain(300);  // the lines printed with READY

    const QString geometry =
        x.xdotool({"search", "--name", "^Settings Probe$", "getwindowgeometry", "--shell"});
    EXPECT_TRUE(geometry.contains("WIDTH=460\n")) << geometry.toStdString();
    const QString shot = x.path("shot.png");
    QProcess grab;
    QProcessEnvironment onDisplay = QProcessEnvironment::systemEnvironment();
    onDisplay.insert("DISPLAY", x.display());
    grab.setProcessEnvironment(onDisplay);
    grab.start("ffmpeg", {"-loglevel", "error", "-f", "x11grab", "-video_size", "1920x2400", "-i",
                          x.display(), "-frames:v", "1", shot});
    grab.waitForFinished(60000);
    const QImage image = QImage(shot).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(image.isNull()) << grab.readAllStandardError().toStdString();

    QList<QRect> headers;
    QHash<QString, QRect> controls;
    for (const QString& line : x.output().split('\n')) {
        const QStringList parts = line.split(' ');
        if (parts[0] == "HEADER" && parts.size() == 5) headers << parseRect(parts, 1);
        if (parts[0] == "CONTROL" && parts.size() == 6) controls[parts[1]] = parseRect(parts, 2);
    }
    ASSERT_EQ(headers.size(), 9);
    for (int i = 0; i < headers.size(); ++i) {
        SCOPED_TRACE(i);
        if (i > 0) {
            EXPECT_GT(headers[i].top(), headers[i - 1].bottom());
        }
        // The header's title is drawn: dark text in its top row band.
        const QRect title(headers[i].left() + 4, headers[i].top(), 120, 14);
        EXPECT_LT(darkest(image, title), 120);
    }
    const int enabled = darkest(image, controls["keyAlpha"].adjusted(4, 4, -20, -4));
    for (const char* name : {"format", "frameRate", "custom"}) {
        SCOPED_TRACE(name);
        EXPECT_GT(darkest(image, controls[name].adjusted(4, 4, -20, -4)), enabled + 40);
    }
}

}  // namespace
}  // namespace velmar
