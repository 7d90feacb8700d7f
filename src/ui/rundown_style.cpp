#include "ui/rundown_style.h"

#include "ui/design_scale.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace velmar::rundown_style {

QFont font(double points, QFont::Weight weight, bool monospaced) {
    return DesignScale::font(points, 1.0, weight, monospaced);
}

void paintWellBackground(QPainter& painter, const QRectF& rect, double corner) {
    QLinearGradient g(rect.topLeft(), rect.bottomLeft());
    g.setColorAt(0, white(0.06));
    g.setColorAt(1, white(0.14));
    QPainterPath path;
    path.addRoundedRect(rect, corner, corner);
    painter.fillPath(path, g);
}

void paintWellBorder(QPainter& painter, const QRectF& rect, double corner) {
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Palette::black(0.7), 1));
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), corner, corner);
    painter.restore();
}

}  // namespace velmar::rundown_style
