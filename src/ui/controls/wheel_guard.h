#pragma once

#include <QObject>

class QWidget;

namespace velmar {

// Keeps a stray mouse wheel from changing a value: over a combo box, spin box, slider or
// scrubbable value that does not have the keyboard focus, the wheel passes on to the widgets
// behind it, so the page under the pointer scrolls instead. The control also no longer takes
// the focus from a wheel (only from a click or Tab), so the first turn cannot change it either.
// Installed once on the application; one instance serves every window.
class WheelGuard : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // The controls whose value a wheel would change.
    static bool isValueControl(const QWidget* widget);
    // Whether `widget` or a widget inside it has the keyboard focus.
    static bool hasOperatorFocus(const QWidget* widget);

    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace velmar
