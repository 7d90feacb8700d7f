#include "ui/tools/signal_monitor_geometry.h"

#include <algorithm>

namespace velmar {

QRectF SignalMonitorGeometry::waveformPlot(QSizeF pane) {
    return QRectF(46, 6, std::max(1.0, pane.width() - 52), std::max(1.0, pane.height() - 12));
}

std::vector<SignalMonitorGeometry::LevelLine> SignalMonitorGeometry::levelLines(
    const QRectF& plot, Graticule graticule) {
    struct Level {
        double level;
        const char* lumaLabel;
        const char* label;
    };
    static constexpr Level levels[] = {{1.0, "100% 940", "100%"},
                                       {0.75, "75%", "75%"},
                                       {0.5, "50%", "50%"},
                                       {0.25, "25%", "25%"},
                                       {0.0, "0% 64", "0%"}};
    std::vector<LevelLine> lines;
    for (const Level& l : levels) {
        LevelLine out;
        out.level = l.level;
        out.label = QString::fromLatin1(graticule == Graticule::luma ? l.lumaLabel : l.label);
        const double y = plot.bottom() - l.level * plot.height();
        out.line = QLineF(plot.left(), y, plot.right(), y);
        const bool edge = l.level == 0.0 || l.level == 1.0;
        out.dashed = !edge;
        out.opacity = edge ? 0.45 : 0.18;
        out.labelAnchor = QPointF(plot.left() - 4, y);
        lines.push_back(out);
    }
    return lines;
}

std::array<QLineF, 2> SignalMonitorGeometry::paradeSeparators(const QRectF& plot) {
    const double a = plot.left() + plot.width() / 3;
    const double b = plot.left() + 2 * plot.width() / 3;
    return {QLineF(a, plot.top(), a, plot.bottom()), QLineF(b, plot.top(), b, plot.bottom())};
}

QRectF SignalMonitorGeometry::vectorscopeSquare(QSizeF pane) {
    const double side = std::min(pane.width(), pane.height()) - 8;
    return QRectF((pane.width() - side) / 2, (pane.height() - side) / 2, side, side);
}

QPointF SignalMonitorGeometry::vectorscopePoint(const QRectF& square, double cb, double cr) {
    return QPointF(square.left() + square.width() * (0.5 + cb),
                   square.top() + square.height() * (0.5 - cr));
}

std::vector<SignalMonitorGeometry::Target> SignalMonitorGeometry::vectorscopeTargets(
    const QRectF& square) {
    struct Bar {
        const char* label;
        double r, g, b;
    };
    static constexpr Bar bars[] = {{"R", 1, 0, 0},  {"Mg", 1, 0, 1}, {"B", 0, 0, 1},
                                   {"Cy", 0, 1, 1}, {"G", 0, 1, 0},  {"Yl", 1, 1, 0}};
    std::vector<Target> targets;
    for (const Bar& bar : bars) {
        const double r = 0.75 * bar.r, g = 0.75 * bar.g, b = 0.75 * bar.b;
        const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
        const double cb = (b - y) / 1.8556;
        const double cr = (r - y) / 1.5748;
        Target t;
        t.label = QString::fromLatin1(bar.label);
        t.centre = vectorscopePoint(square, cb, cr);
        t.box = QRectF(t.centre.x() - 5, t.centre.y() - 5, 10, 10);
        t.labelCentre = QPointF(t.centre.x(), t.centre.y() - 11);
        targets.push_back(t);
    }
    return targets;
}

}  // namespace velmar
