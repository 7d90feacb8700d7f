#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace velmar::test {

// Sends a left-button press, moves and release to a widget directly (no window system), with
// positions in the widget's pixels and global positions offset by a fixed amount.
class MouseDrag {
  public:
    MouseDrag(QWidget& widget, QPointF start) : widget_(widget) {
        send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    }
    void moveTo(QPointF position) {
        send(QEvent::MouseMove, position, Qt::NoButton, Qt::LeftButton);
    }
    void release(QPointF position) {
        send(QEvent::MouseButtonRelease, position, Qt::LeftButton, Qt::NoButton);
    }

  private:
    void send(QEvent::Type type, QPointF position, Qt::MouseButton button,
              Qt::MouseButtons buttons) {
        QMouseEvent event(type, position, position, position + QPointF(500, 300), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(&widget_, &event);
    }
    QWidget& widget_;
};

}  // namespace velmar::test
