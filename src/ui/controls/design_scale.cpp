#include "ui/controls/design_scale.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace velmar {

double DesignScale::forWindow(QSizeF window) {
    const double w = window.width();
    const double h = window.height();
    if (!(w > 0) || !(h > 0) || !std::isfinite(w) || !std::isfinite(h)) return 1.0;
    return std::min({w / kWidth, h / kHeight, 1.0});
}

QFont DesignScale::font(double designPoints, double s, QFont::Weight weight, bool monospaced) {
    QFont font(monospaced ? QStringLiteral("DejaVu Sans Mono")
                          : QStringLiteral("Noto Sans CJK JP"));
    if (monospaced) font.setStyleHint(QFont::Monospace);
    // Design units are logical pixels; Qt sizes fonts in points of 1/72 inch.
    double dpi = 96;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInchY();
    if (!(dpi > 0)) dpi = 96;
    const double pixels = std::max(designPoints * s, 0.5);
    font.setPointSizeF(pixels * 72.0 / dpi);
    font.setWeight(weight);
    return font;
}

}  // namespace velmar
