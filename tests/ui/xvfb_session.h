#pragma once

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace velmar::test {

// A private X server for checks of the real window: the test program runs itself again as a
// child on that server (with the environment it is given) and reads what the child prints;
// ImageMagick shoots the screen and xdotool drives the real pointer and keyboard.
class XvfbSession {
  public:
    ~XvfbSession();

    // Why the session cannot run here (a tool missing), or empty.
    static QString missingTool();
    // Starts the server with one screen of the given size, 24 bits deep.
    void start(QSize screen = QSize(1920, 1260));
    // Runs the child test `filter` on the server with the extra environment.
    void startChild(const QString& filter, const QProcessEnvironment& extra);
    // Reads the child's output until it holds `line` (or the child ends); true when it does.
    bool waitFor(const QString& line, int seconds = 90);
    // Reads what the child prints for the next `ms` milliseconds.
    void drain(int ms);
    const QString& output() const { return output_; }

    QImage shoot();
    // Shoots until the condition holds on the picture.
    QImage shootUntil(const std::function<bool(const QImage&)>& condition);
    QString xdotool(const QStringList& arguments);
    QString path(const QString& name) const { return dir_.filePath(name); }
    const QString& display() const { return display_; }

  private:
    QTemporaryDir dir_;
    QString display_;
    QProcess server_;
    QProcess child_;
    QString output_;
    int shots_ = 0;
};

bool near(QRgb pixel, int r, int g, int b, int tolerance);

}  // namespace velmar::test
