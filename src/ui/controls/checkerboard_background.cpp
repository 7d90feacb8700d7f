#include "ui/controls/checkerboard_background.h"

#include "ui/controls/palette.h"

#include <QImage>
#include <QPainter>

#include <cmath>

namespace velmar {

CheckerboardBackground::CheckerboardBackground(double square, QWidget* parent)
    : QWidget(parent), square_(square) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CheckerboardBackground::setScale(double s) {
    if (scale_ == s) return;
    scale_ = s;
    update();
}

QBrush CheckerboardBackground::brush(double square, QPointF origin) {
    static const QImage pattern = [] {
        QImage image(2, 2, QImage::Format_RGB32);
        const QRgb light = Palette::checkerLight().rgb();
        const QRgb base = Palette::checkerBase().rgb();
        image.setPixel(0, 0, light);
        image.setPixel(1, 1, light);
        image.setPixel(1, 0, base);
        image.setPixel(0, 1, base);
        return image;
    }();
    QBrush brush(pattern);
    QTransform transform;
    transform.translate(origin.x(), origin.y());
    transform.scale(square, square);
    brush.setTransform(transform);
    return brush;
}

void CheckerboardBackground::paint(QPainter& painter, const QRectF& rect, double square) {
    if (!(square > 0) || !std::isfinite(square)) {
        painter.fillRect(rect, Palette::checkerBase());
        return;
    }
    painter.save();
    // Magnified texels must stay sharp squares.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.fillRect(rect, brush(square, rect.topLeft()));
    painter.restore();
}

void CheckerboardBackground::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, QRectF(rect()), square_ * scale_);
}

}  // namespace velmar
