#include "ui/xvfb_session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

namespace velmar::test {

bool near(QRgb pixel, int r, int g, int b, int tolerance) {
    return std::abs(qRed(pixel) - r) <= tolerance && std::abs(qGreen(pixel) - g) <= tolerance &&
           std::abs(qBlue(pixel) - b) <= tolerance;
}

XvfbSession::~XvfbSession() {
    if (child_.state() != QProcess::NotRunning) child_.kill(), child_.waitForFinished(30000);
    if (server_.state() != QProcess::NotRunning) server_.kill(), server_.waitForFinished(30000);
}

QString XvfbSession::missingTool() {
    for (const char* tool : {"Xvfb", "ffmpeg", "xdotool", "import"})
        if (QStandardPaths::findExecutable(tool).isEmpty()) return tool;
    return {};
}

void XvfbSession::start(QSize screen) {
    // The server picks a free display itself and writes its number on its standard output:
    // sessions started side by side (tests run in parallel) never race for one number.
    server_.start(
        QStandardPaths::findExecutable("Xvfb"),
        {"-displayfd", "1", "-screen", "0",
         QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()), "-nolisten", "tcp"});
    QByteArray number;
    for (int i = 0; i < 60 && !number.contains('\n'); ++i) {
        if (server_.state() == QProcess::NotRunning) break;
        if (server_.waitForReadyRead(1000)) number += server_.readAllStandardOutput();
    }
    display_ = QStringLiteral(":%1").arg(QString::fromLatin1(number.trimmed()));
    for (int i = 0;
         i < 600 && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display_.mid(1))); ++i)
        QThread::msleep(50);
}

void XvfbSession::startChild(const QString& filter, const QProcessEnvironment& extra) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(extra);
    env.insert("QT_QPA_PLATFORM", "xcb"), env.insert("DISPLAY", display_);
    child_.setProcessEnvironment(env);
    child_.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=" + filter});
}

bool XvfbSession::waitFor(const QString& line, int seconds) {
    for (int i = 0; i < seconds && !output_.contains(line); ++i) {
        if (child_.state() == QProcess::NotRunning) break;
        if (child_.waitForReadyRead(1000))
            output_ += QString::fromUtf8(child_.readAllStandardOutput());
    }
    if (!output_.contains(line)) output_ += QString::fromUtf8(child_.readAllStandardError());
    return output_.contains(line);
}

void XvfbSession::drain(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < ms && child_.state() != QProcess::NotRunning)
        if (child_.waitForReadyRead(50))
            output_ += QString::fromUtf8(child_.readAllStandardOutput());
}

QImage XvfbSession::shoot() {
    const QString file = dir_.filePath(QStringLiteral("shot%1.ppm").arg(shots_++));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    QProcess import;
    import.setProcessEnvironment(env);
    import.start(QStringLiteral("import"), {"-window", "root", file});
    import.waitForFinished(60000);
    return QImage(file).convertToFormat(QImage::Format_RGB32);
}

QImage XvfbSession::shootUntil(const std::function<bool(const QImage&)>& condition) {
    QImage image;
    for (int i = 0; i < 100; ++i) {
        image = shoot();
        if (!image.isNull() && condition(image)) break;
        QThread::msleep(200);
    }
    return image;
}

QString XvfbSession::xdotool(const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("xdotool"), arguments);
    tool.waitForFinished(30000);
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

}  // namespace velmar::test
