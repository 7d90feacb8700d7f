#include "canvas/canvas_fixture.h"
#include "fake_screens.h"
#include "output/output_window_controller.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <unistd.h>

namespace velmar::test {
namespace {

const bool kChild = qEnvironmentVariableIsSet("VELMAR_XVFB_CHILD");

// Runs inside a two-screen X server (started by the test below): opens the output window on
// the 1920 x 1080 screen showing a red 3:2 canvas, says READY once frames are shown, and waits.
using OutputWindowXvfbChild = CanvasFixture;

TEST_F(OutputWindowXvfbChild, ShowsTheOutputWindow) {
    if (!kChild) GTEST_SKIP() << "run by OutputWindowXvfbTest";
    setProgram(solidImage(96, 64, Bgra{0, 0, 255, 255}));
    FakeInhibitor inhibitor;
    OutputWindowController::Options options;
    options.inhibitor = &inhibitor;
    OutputWindowController controller(*canvas, options);
    QString wide;
    for (const ScreenInfo& s : ScreenProvider::system().screens())
        if (s.geometry.size() == QSize(1920, 1080)) wide = s.identity;
    ASSERT_TRUE(controller.open(wide)) << "screen " << wide.toStdString();
    QTimer ready;  // once frames are on the screen (repainted after the second one)
    QObject::connect(&ready, &QTimer::timeout, [&] {
        if (controller.outputView()->presentedFrames() < 3) return;
        std::printf("READY\n"), std::fflush(stdout), ready.stop();
    });
    ready.start(50);
    QTimer::singleShot(60000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

TEST(OutputWindowXvfbTest, SecondScreenShowsTheFittedCanvasBetweenBlackBars) {
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    if (kChild || xvfb.isEmpty() || ffmpeg.isEmpty()) GTEST_SKIP() << "needs Xvfb and ffmpeg";
    int display = 300 + int(getpid() % 600);
    while (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(display))) ++display;
    const QString name = QStringLiteral(":%1").arg(display);
    QProcess server;
    server.start(xvfb, {name, "-screen", "0", "1280x720x24", "-screen", "1", "1920x1080x24",
                        "-nolisten", "tcp"});
    for (int i = 0; i < 600 && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display));
         ++i)
        QThread::msleep(50);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb"), env.insert("DISPLAY", name),
        env.insert("VELMAR_XVFB_CHILD", "1");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=OutputWindowXvfbChild.*"});
    QByteArray output;
    for (int i = 0; i < 60 && !output.contains("READY") && child.state() != QProcess::NotRunning;
         ++i)
        if (child.waitForReadyRead(1000)) output += child.readAllStandardOutput();
    ASSERT_TRUE(output.contains("READY"))
        << output.toStdString() << child.readAllStandardError().toStdString();

    QTemporaryDir dir;
    const QString shot = dir.filePath("shot.png");
    EXPECT_EQ(QProcess::execute(ffmpeg, {"-loglevel", "error", "-f", "x11grab", "-i", name + ".1",
                                         "-frames:v", "1", shot}),
              0);
    child.kill(), child.waitForFinished(30000);
    server.kill(), server.waitForFinished(30000);

    // 96 x 64 fitted to 1920 x 1080: 1620 x 1080 centred, black bars of 150 pixels left and right.
    const QImage image(shot);
    ASSERT_EQ(image.size(), QSize(1920, 1080));
    struct Probe {
        int x, y;
        QRgb want;
    };
    for (const Probe& p :
         {Probe{75, 540, 0x000000}, Probe{160, 10, 0xff0000}, Probe{960, 540, 0xff0000},
          Probe{1760, 1070, 0xff0000}, Probe{1845, 540, 0x000000}})
        EXPECT_EQ(image.pixel(p.x, p.y) & 0xffffff, p.want) << p.x << "," << p.y;
}

}  // namespace
}  // namespace velmar::test
