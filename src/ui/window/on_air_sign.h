#pragma once

#include <QRectF>
#include <QSizeF>

class QPainter;

namespace velmar {

// The large "ON AIR" sign: red fill, red border, white text and a red glow while live; a faint
// box with dim text otherwise. It switches at once, never faded. Text 26 s heavy with letter
// spacing 2 s, padded 22 s left and right and 10 s top and bottom; corner radius 8, border 2 and
// glow 18 are plain units.
struct OnAirSign {
    static QSizeF size(double s);
    static void paint(QPainter& painter, const QRectF& box, bool isLive, double s);
};

}  // namespace velmar
