#pragma once

#include <QWidget>

namespace velmar {

// A transparent layer over the output window's picture: the pointer is blank over it (a cursor
// of this widget only, never the application's override, so it shows again wherever the
// pointer leaves or the window closes), and clicks, double clicks, context menus and wheel
// turns stop here, reaching nothing of the application. Main thread.
class CursorShieldView : public QWidget {
    Q_OBJECT
  public:
    explicit CursorShieldView(QWidget* parent = nullptr);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

}  // namespace velmar
