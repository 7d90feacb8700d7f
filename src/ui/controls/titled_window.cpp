#include "ui/controls/titled_window.h"

#include "models/localized.h"

#include <QEvent>

namespace velmar {

TitledWindow::TitledWindow(const char* titleKey, Qt::WindowFlags flags)
    : QWidget(nullptr, flags | Qt::Window), titleKey_(titleKey) {
    retranslate();
}

void TitledWindow::retranslate() {
    setWindowTitle(localized(titleKey_));
}

void TitledWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

}  // namespace velmar
