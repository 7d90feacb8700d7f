#include "ui/rundown_style.h"

#include <QBrush>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace velmar::rundown_style {

QColor systemRed() {
    return QColor(255, 59, 48);
}
QColor systemGreen() {
    return QColor(40, 205, 65);
}
QColor systemOrange() {
    return QColor(255, 149, 0);
}
QColor systemBlue() {
    return QColor(0, 122, 255);
}
QColor systemAccent() {
    return QColor(0, 122, 255);
}

QFont font(double points, QFont::Weight weight, bool monospaced) {
    QFont f(monospaced ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("Noto Sans CJK JP"));
    if (monospaced) f.setStyleHint(QFont::Monospace);
    // Design units are pixels of the unscaled surface; the painter's scale does the rest.
    f.setPixelSize(std::max(1, qRound(points)));
    f.setWeight(weight);
    return f;
}

QLinearGradient glossy(const QColor& color, bool bright, const QRectF& rect) {
    QLinearGradient g(rect.topLeft(), rect.bottomLeft());
    QColor top = color, bottom = color;
    top.setAlphaF(bright ? 1.0 : 0.85);
    bottom.setAlphaF(bright ? 0.72 : 0.55);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

QLinearGradient shine(const QRectF& rect) {
    QLinearGradient g(rect.topLeft(), rect.bottomLeft());
    g.setColorAt(0, white(1, 0.34));
    g.setColorAt(0.48, white(1, 0.1));
    g.setColorAt(0.5, white(1, 0));
    g.setColorAt(1, white(1, 0));
    return g;
}

QColor sectionColor(int i) {
    static const double palette[8][3] = {{0.26, 0.52, 0.85}, {0.85, 0.45, 0.28}, {0.32, 0.66, 0.44},
                                         {0.68, 0.38, 0.72}, {0.85, 0.68, 0.26}, {0.30, 0.64, 0.70},
                                         {0.80, 0.36, 0.48}, {0.48, 0.52, 0.78}};
    const auto& c = palette[i & 7];
    return QColor::fromRgbF(c[0], c[1], c[2]);
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
    painter.setPen(QPen(QColor(0, 0, 0, qRound(0.7 * 255)), 1));
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), corner, corner);
    painter.restore();
}

void paintCheckerboard(QPainter& painter, const QRectF& rect, double square) {
    static QPixmap tile;
    static double tileSquare = 0;
    if (tileSquare != square) {
        const int n = std::max(1, qRound(square));
        tile = QPixmap(2 * n, 2 * n);
        QPainter p(&tile);
        p.fillRect(0, 0, 2 * n, 2 * n, white(0.22));
        p.fillRect(n, 0, n, n, white(0.30));
        p.fillRect(0, n, n, n, white(0.30));
        tileSquare = square;
    }
    painter.save();
    QBrush brush(tile);
    brush.setTransform(QTransform::fromTranslate(rect.x(), rect.y()));
    painter.fillRect(rect, brush);
    painter.restore();
}

}  // namespace velmar::rundown_style
