#pragma once

#include <QColor>

class QLabel;

namespace velmar {

// The fixed colours of the operator surface, all sRGB. The "system" colours are the dark-scheme
// platform colours the views name (red, green, orange, blue, yellow); everything else is a grey
// of a given white level or one of the named accents.
struct Palette {
    // A grey of the given white level (0...1) at the given opacity.
    static QColor white(double level, double opacity = 1.0) {
        return QColor::fromRgbF(float(level), float(level), float(level), float(opacity));
    }
    static QColor black(double opacity = 1.0) { return white(0, opacity); }
    // The colour at `opacity` times its own opacity.
    static QColor withOpacity(QColor color, double opacity) {
        color.setAlphaF(float(color.alphaF() * opacity));
        return color;
    }

    // Text and symbols.
    static QColor primaryText() { return white(0.96); }
    static QColor secondaryText() { return white(0.66); }

    // Platform colours of the dark scheme.
    static QColor systemRed() { return QColor(255, 69, 58); }
    static QColor systemGreen() { return QColor(50, 215, 75); }
    static QColor systemOrange() { return QColor(255, 159, 10); }
    static QColor systemBlue() { return QColor(10, 132, 255); }
    static QColor systemYellow() { return QColor(255, 214, 10); }

    // What is active or the clip's own setting: drop guides, handles, drag borders, dividers.
    static QColor accentBlue() { return QColor::fromRgbF(0.35f, 0.62f, 1.0f); }
    // The ON AIR sign.
    static QColor onAirRed() { return QColor::fromRgbF(0.92f, 0.16f, 0.16f); }
    // The analogue clock's second hand and centre dot.
    static QColor clockRed() { return QColor::fromRgbF(1.0f, 0.35f, 0.3f); }

    // The checkerboard behind transparent pictures.
    static QColor checkerBase() { return white(0.22); }
    static QColor checkerLight() { return white(0.30); }
};

// Draws the label's text in `color` in every state, whatever palette the label inherits. Giving
// the colour it already has leaves the label alone (no restyle, no repaint).
void setTextColor(QLabel* label, const QColor& color);

// Draws the label's text in the secondary (dimmed) colour of hints, notes and captions.
void useSecondaryText(QLabel* label);

}  // namespace velmar
