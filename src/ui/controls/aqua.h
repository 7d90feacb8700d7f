#pragma once

#include <QColor>
#include <QLinearGradient>

namespace velmar {

// The glossy look of the rundown's tabs and sequence sections. The gradients run from the top
// edge to the bottom edge of whatever shape they fill (object bounding mode), so one value
// serves every cell.
struct Aqua {
    // The colour at 1.0 then 0.72 of its own opacity when bright, at 0.85 then 0.55 otherwise.
    static QLinearGradient glossy(const QColor& color, bool bright);
    // White 0.34 at the top falling to 0.10 at 48 %, clear from 50 % down.
    static QLinearGradient shine();
    // Entry i & 7 of the eight section colours (negative i included).
    static QColor sectionColor(int i);
};

}  // namespace velmar
