#include "ui/tools/preflight_window_controller.h"

#include "app/app_state.h"
#include "app/preflight_app_host.h"
#include "app/preflight_runner.h"
#include "models/localized.h"
#include "ui/controls/titled_window.h"
#include "ui/tools/preflight_view.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace velmar {

PreflightWindowController& PreflightWindowController::shared() {
    // Never destroyed: a window still open at exit must not reach a state already gone.
    static auto* controller = new PreflightWindowController([] {
        static PreflightAppHost host(AppState::shared());
        return std::make_unique<PreflightRunner>(AppState::shared().engine(), host);
    });
    return *controller;
}

PreflightWindowController::PreflightWindowController(RunnerFactory makeRunner,
                                                     std::function<void()> openLog)
    : makeRunner_(std::move(makeRunner)), openLog_(std::move(openLog)) {}

PreflightWindowController::~PreflightWindowController() {
    delete window_.data();
    runner_.reset();
}

void PreflightWindowController::show() {
    if (window_) {
        window_->show();
        window_->raise();
        window_->activateWindow();
        return;
    }
    runner_ = makeRunner_();

    // Titled, closable and resizable, without a minimise button.
    auto* window = new TitledWindow(L10N_KEY("本番前チェック"),
                                    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                        Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);
    window->setObjectName(QString::fromLatin1(kIdentifier));
    window->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new PreflightView(*runner_, openLog_));
    window->resize(kContentWidth, kContentHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    // Children (the view) are gone by the time this arrives, so the runner can go too.
    connect(window, &QObject::destroyed, this, &PreflightWindowController::windowGone);
    window_ = window;
    window->show();
    window->raise();
    window->activateWindow();
}

void PreflightWindowController::windowGone() {
    window_ = nullptr;
    runner_.reset();  // ends a soak test still running
}

}  // namespace velmar
