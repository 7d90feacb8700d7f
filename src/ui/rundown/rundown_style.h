#pragma once

#include "ui/controls/palette.h"

#include <QFont>
#include <QFontMetricsF>
#include <QRectF>

class QPainter;

namespace velmar {

// What the rundown views share beyond the palette: fonts at design size (the painter carries
// the scale), the platform accent of the current tab, and the recessed well behind the clip
// strip and the sequence bar.
namespace rundown_style {

inline QColor white(double level, double alpha = 1.0) {
    return Palette::white(level, alpha);
}
inline QColor accentBlue() {
    return Palette::accentBlue();
}
inline QColor dimGrey() {
    return Palette::secondaryText();
}
inline QColor systemRed() {
    return Palette::systemRed();
}
inline QColor systemGreen() {
    return Palette::systemGreen();
}
inline QColor systemOrange() {
    return Palette::systemOrange();
}
inline QColor systemBlue() {
    return Palette::systemBlue();
}
// The platform accent colour that lights the current tab.
inline QColor systemAccent() {
    return Palette::systemBlue();
}

// The system font at a size in design units, for a painter already scaled by s, and its
// metrics; both made once per size, weight and face.
const QFont& font(double points, QFont::Weight weight = QFont::Normal, bool monospaced = false);
const QFontMetricsF& metrics(double points, QFont::Weight weight = QFont::Normal,
                             bool monospaced = false);

// The dark recessed well: a white 0.06 to 0.14 gradient clipped to a rounded rectangle, with a
// 1-unit inner border of black at 0.7.
void paintWellBackground(QPainter& painter, const QRectF& rect, double corner);
void paintWellBorder(QPainter& painter, const QRectF& rect, double corner);

}  // namespace rundown_style
}  // namespace velmar
