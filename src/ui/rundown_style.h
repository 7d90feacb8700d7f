#pragma once

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QRectF>

class QPainter;

namespace velmar {

// Colours, fonts and fills that the rundown views share, and the recessed well behind the clip
// strip and the sequence bar.
namespace rundown_style {

inline QColor white(double level, double alpha = 1.0) {
    return QColor::fromRgbF(level, level, level, alpha);
}
inline QColor accentBlue() {
    return QColor::fromRgbF(0.35, 0.62, 1.0);
}
inline QColor dimGrey() {
    return white(0.66);
}
QColor systemRed();
QColor systemGreen();
QColor systemOrange();
QColor systemBlue();
QColor systemAccent();

// The system font at a point size in design units; monospaced for numbers and counters.
QFont font(double points, QFont::Weight weight = QFont::Normal, bool monospaced = false);

// Top-to-bottom gradient of a colour from opacity 1.0 to 0.72 (bright) or 0.85 to 0.55.
QLinearGradient glossy(const QColor& color, bool bright, const QRectF& rect);
// The white highlight laid over glossy fills.
QLinearGradient shine(const QRectF& rect);
// Entry i & 7 of the eight section colours of the sequence bar.
QColor sectionColor(int i);

// The dark recessed well: a white 0.06 to 0.14 gradient clipped to a rounded rectangle, with a
// 1-unit inner border of black at 0.7.
void paintWellBackground(QPainter& painter, const QRectF& rect, double corner);
void paintWellBorder(QPainter& painter, const QRectF& rect, double corner);

// The checkerboard behind transparent pictures (squares of white 0.22 and 0.30).
void paintCheckerboard(QPainter& painter, const QRectF& rect, double square);

}  // namespace rundown_style
}  // namespace velmar
