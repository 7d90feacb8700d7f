#include "support/event_loop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace velmar::test {

bool waitUntil(const std::function<bool()>& condition, double timeoutSeconds) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > static_cast<qint64>(timeoutSeconds * 1000)) return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

void waitFor(const std::function<bool()>& condition) {
    while (!condition()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

void drainMainQueue() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace velmar::test
