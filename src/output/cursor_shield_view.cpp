#include "output/cursor_shield_view.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace velmar {

CursorShieldView::CursorShieldView(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::BlankCursor);
    setMouseTracking(true);
    // Nothing is painted: the picture below shows through.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

void CursorShieldView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}
void CursorShieldView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}
void CursorShieldView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}
void CursorShieldView::wheelEvent(QWheelEvent* event) {
    event->accept();
}
void CursorShieldView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}

}  // namespace velmar
