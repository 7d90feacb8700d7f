#pragma once

#include "app/preflight_runner.h"

#include <QColor>
#include <QPixmap>
#include <QSize>

namespace velmar {

// The status symbols of the pre-show check list: an SVG under :/icons per status, drawn in the
// status colour (pending and running secondary, ok green, warning orange, failed red); SvgIcon
// draws them.
class PreflightStatusIcon {
  public:
    static QString resourcePath(PreflightRunner::Item::Status status);
    static QColor color(PreflightRunner::Item::Status status);
    static QPixmap pixmap(PreflightRunner::Item::Status status, int size, qreal devicePixelRatio);
};

}  // namespace velmar
