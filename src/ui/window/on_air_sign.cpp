#include "ui/window/on_air_sign.h"

#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace velmar {

namespace {

QFont signFont(double s) {
    QFont font = DesignScale::font(26 * s, 1, QFont::Black);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 2 * s);
    return font;
}

QString signText() {
    return localized("ON AIR");
}

}  // namespace

QSizeF OnAirSign::size(double s) {
    const QFontMetricsF metrics(signFont(s));
    return {metrics.horizontalAdvance(signText()) + 44 * s, metrics.height() + 20 * s};
}

void OnAirSign::paint(QPainter& painter, const QRectF& box, bool isLive, double s) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor red = Palette::onAirRed();
    if (isLive) {
        // The glow: rings of falling opacity out to 18 units around the box, none under it.
        QPainterPath inside;
        inside.addRoundedRect(box, 8, 8);
        for (int i = 6; i >= 1; --i) {
            const double grow = 3.0 * i;
            QPainterPath ring;
            ring.addRoundedRect(box.adjusted(-grow, -grow, grow, grow), 8 + grow, 8 + grow);
            painter.fillPath(ring.subtracted(inside),
                             Palette::withOpacity(red, 0.7 * 0.12 * (7 - i) / 6));
        }
    }
    QPainterPath shape;
    shape.addRoundedRect(box, 8, 8);
    painter.fillPath(shape, Palette::withOpacity(red, isLive ? 0.8 : 0.06));
    painter.setPen(QPen(isLive ? red : Palette::white(1, 0.12), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(box.adjusted(1, 1, -1, -1), 7, 7);
    painter.setFont(signFont(s));
    painter.setPen(isLive ? QColor(Qt::white) : Palette::white(0.66, 0.5));
    painter.drawText(box, Qt::AlignCenter, signText());
    painter.restore();
}

}  // namespace velmar
