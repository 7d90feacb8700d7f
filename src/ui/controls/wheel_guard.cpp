#include "ui/controls/wheel_guard.h"

#include "ui/controls/scrubbable_value.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>
#include <QWidget>

namespace velmar {

bool WheelGuard::isValueControl(const QWidget* widget) {
    if (qobject_cast<const QScrollBar*>(widget)) return false;  // scrolling is what it is for
    return qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QAbstractSlider*>(widget) ||
           qobject_cast<const ScrubbableValue*>(widget);
}

bool WheelGuard::hasOperatorFocus(const QWidget* widget) {
    const QWidget* focus = QApplication::focusWidget();
    return widget->hasFocus() || (focus && widget->isAncestorOf(focus));
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (event->type() == QEvent::Polish) {
        // The application gives the focus to a wheel-focus widget before any filter sees the
        // wheel, which would make every turn count as a focused one.
        if (isValueControl(widget) && (widget->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
            widget->setFocusPolicy(Qt::StrongFocus);
        return false;
    }
    if (event->type() != QEvent::Wheel || !isValueControl(widget) || hasOperatorFocus(widget))
        return false;
    // Taken but not accepted: the application hands the wheel on to the parents, up to the
    // scroll area that scrolls.
    event->ignore();
    return true;
}

}  // namespace velmar
