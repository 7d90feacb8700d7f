#include "ui/rundown/rundown_style.h"

#include "ui/controls/design_scale.h"

#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace velmar::rundown_style {

namespace {

struct Face {
    QFont font;
    QFontMetricsF metrics;
};

const Face& face(double points, QFont::Weight weight, bool monospaced) {
    static QHash<QString, std::shared_ptr<Face>> faces;
    const QString key = QStringLiteral("%1/%2/%3").arg(points).arg(weight).arg(monospaced);
    auto& entry = faces[key];
    if (!entry) {
        QFont f = DesignScale::font(points, 1.0, weight, monospaced);
        entry = std::make_shared<Face>(Face{f, QFontMetricsF(f)});
    }
    return *entry;
}

}  // namespace

const QFont& font(double points, QFont::Weight weight, bool monospaced) {
    return face(points, weight, monospaced).font;
}

const QFontMetricsF& metrics(double points, QFont::Weight weight, bool monospaced) {
    return face(points, weight, monospaced).metrics;
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
