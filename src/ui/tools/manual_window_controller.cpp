#include "ui/tools/manual_window_controller.h"

#include "models/language_settings.h"
#include "models/localized.h"
#include "ui/tools/manual_view.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace velmar {

ManualWindowController::ManualWindowController(LanguageSettings* language, QObject* parent)
    : QObject(parent), language_(language ? language : &LanguageSettings::shared()) {}

ManualWindowController::~ManualWindowController() {
    delete window_.data();
}

void ManualWindowController::show() {
    if (window_) {
        window_->show();
        window_->raise();
        window_->activateWindow();
        return;
    }
    // Titled, closable, minimisable and resizable; no minimum size.
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setObjectName(QString::fromLatin1(kIdentifier));
    window->setWindowTitle(localized("DOVRINE マニュアル"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new ManualView(*language_));
    window->resize(kContentWidth, kContentHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window_ = window;  // a guarded pointer: empty again once the closed window is gone
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace velmar
