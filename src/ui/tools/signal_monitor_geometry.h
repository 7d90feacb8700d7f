#pragma once

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <array>
#include <vector>

namespace velmar {

// Where the signal monitor draws its scopes and their graticules, in points of a pane's content
// area (below its title), as pure functions.
class SignalMonitorGeometry {
  public:
    // luma: level lines with percent and 10-bit code labels; key: percent labels; rgb: the key
    // lines plus the parade's two panel separators.
    enum class Graticule { luma, key, rgb };

    struct LevelLine {
        double level = 0;     // fraction of the plot height from the bottom
        QString label;        // fixed text, shown as it stands
        QLineF line;          // across the plot
        bool dashed = false;  // 3 on, 3 off
        double opacity = 0;   // of white
        QPointF labelAnchor;  // the label's trailing edge, vertically centred
    };

    struct Target {
        QString label;  // fixed text
        QPointF centre;
        QRectF box;           // 10 x 10 around the centre
        QPointF labelCentre;  // 11 above the centre
    };

    // x 46, y 6, width max(1, W - 52), height max(1, H - 12).
    static QRectF waveformPlot(QSizeF pane);
    // The five levels from 100 % down to 0 %, in drawing order.
    static std::vector<LevelLine> levelLines(const QRectF& plot, Graticule graticule);
    // The two vertical lines between the parade's red, green and blue panels.
    static std::array<QLineF, 2> paradeSeparators(const QRectF& plot);

    // The square of side min(W, H) - 8 centred in the pane.
    static QRectF vectorscopeSquare(QSizeF pane);
    // The point of a colour difference pair: Cb to the right, Cr up, 0.5 at the square's edges.
    static QPointF vectorscopePoint(const QRectF& square, double cb, double cr);
    // The six 75 % colour-bar targets: R, Mg, B, Cy, G, Yl.
    static std::vector<Target> vectorscopeTargets(const QRectF& square);
};

}  // namespace velmar
