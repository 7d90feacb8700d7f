#include "ui/tools/signal_monitor_window_controller.h"

#include "app/app_state.h"
#include "canvas/signal_probe.h"
#include "core/playout_engine.h"
#include "ui/tools/signal_monitor_view.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

namespace velmar {

SignalMonitorWindowController::SignalMonitorWindowController(SignalProbe& probe,
                                                             SignalMonitorContext context,
                                                             QObject* parent)
    : QObject(parent), probe_(probe), context_(std::move(context)) {}

SignalMonitorWindowController::~SignalMonitorWindowController() {
    if (window_) {
        window_->removeEventFilter(this);
        delete window_.data();
        probe_.stop();
    }
}

SignalMonitorWindowController& SignalMonitorWindowController::shared() {
    static SignalMonitorWindowController* controller = new SignalMonitorWindowController(
        SignalProbe::shared(), SignalMonitorContext::of(AppState::shared()));
    return *controller;
}

void SignalMonitorWindowController::show() {
    if (window_) {
        window_->show();
        window_->raise();
        window_->activateWindow();
        return;
    }

    // The composite feed reads the same state the view shows.
    PlayoutEngine* engine = context_.engine;
    probe_.setCompositeFeed({context_.isDeckLinkRunning, context_.canvasEngine, [engine] {
                                 return engine
                                            ? QSize(engine->canvas().width, engine->canvas().height)
                                            : QSize();
                             }});
    probe_.start();

    auto* view = new SignalMonitorView(probe_, context_);
    view->setWindowFlag(Qt::Window);
    view->setObjectName(QStringLiteral("dovrine.signal-monitor"));
    view->setAttribute(Qt::WA_DeleteOnClose, false);
    view->setMinimumSize(kMinimumWidth, kMinimumHeight);
    view->resize(kWidth, kHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), view->size());
        frame.moveCenter(screen->availableGeometry().center());
        view->move(frame.topLeft());
    }
    view->installEventFilter(this);
    window_ = view;
    view->show();
    view->raise();
    view->activateWindow();
}

QWidget* SignalMonitorWindowController::window() const {
    return window_.data();
}

void SignalMonitorWindowController::toggle() {
    if (window_)
        window_->close();
    else
        show();
}

bool SignalMonitorWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::Close) {
        event->accept();
        windowWillClose();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void SignalMonitorWindowController::windowWillClose() {
    probe_.stop();
    SignalMonitorView* closing = window_;
    window_ = nullptr;
    if (closing) {
        closing->removeEventFilter(this);
        closing->hide();
        closing->deleteLater();
    }
}

}  // namespace velmar
