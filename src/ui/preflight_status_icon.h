#pragma once

#include "app/preflight_runner.h"

#include <QByteArray>
#include <QColor>
#include <QPixmap>
#include <QSize>

namespace velmar {

// The status symbols of the pre-show check list: an SVG under :/icons per status, drawn in the
// status colour (pending and running secondary, ok green, warning orange, failed red).
//
// The symbols use a small part of SVG, which render() draws itself: <circle> and <path> whose
// data holds absolute M, L, H, V and Z commands, with fill, stroke and stroke-width, where
// "currentColor" stands for the given colour and "none" for nothing. Anything else is skipped.
class PreflightStatusIcon {
  public:
    static QString resourcePath(PreflightRunner::Item::Status status);
    static QColor color(PreflightRunner::Item::Status status);
    static QPixmap pixmap(PreflightRunner::Item::Status status, int size, qreal devicePixelRatio);

    // The SVG scaled from its viewBox to `size` logical pixels; transparent where nothing is
    // drawn. Unreadable text gives a transparent picture.
    static QPixmap render(const QByteArray& svg, QSize size, const QColor& currentColor,
                          qreal devicePixelRatio = 1.0);
};

}  // namespace velmar
