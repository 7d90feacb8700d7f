#include "platform/base/main_thread.h"

#include <QCoreApplication>
#include <QThread>

namespace velmar {

void postToMain(std::function<void()> work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;  // no event loop: nothing could ever run it
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void postToMain(QObject* context, std::function<void()> work) {
    if (context == nullptr || QCoreApplication::instance() == nullptr) return;
    // Queued on the context: Qt discards the call if the context dies first. The context must
    // live on the main thread for the work to run there.
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

bool isMainThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace velmar
