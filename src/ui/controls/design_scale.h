#pragma once

#include <QFont>
#include <QSizeF>

namespace velmar {

// The main window is laid out on a surface of 1920 x 1260 design units and drawn scaled by one
// factor s, never enlarged. Views keep their geometry in design units; fonts of standard
// controls are sized here in design units times s.
struct DesignScale {
    static constexpr double kWidth = 1920;
    static constexpr double kHeight = 1260;

    // s = min(w / 1920, h / 1260, 1); 1 when either side is not positive (or not finite).
    static double forWindow(QSizeF window);

    // The proportional text face (Noto Sans CJK JP) or the monospaced one for digits
    // (DejaVu Sans Mono), `designPoints` design units high at scale s.
    static QFont font(double designPoints, double s, QFont::Weight weight = QFont::Normal,
                      bool monospaced = false);
};

}  // namespace velmar
