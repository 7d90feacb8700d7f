#pragma once

#include "models/canvas_format.h"
#include "models/clip.h"
#include "models/motion_kind.h"

#include <QImage>
#include <QRectF>
#include <QString>

#include <optional>

class QPainter;

namespace velmar {

// One clip of the strip as drawn: the picture tile with its border, and under it the running
// number and the badges. A value filled by the strip for each visible clip; it paints at a cell
// x in the strip's content coordinates (design units) and answers tooltips for a point.
struct ClipCell {
    const Clip* clip = nullptr;
    int index = 0;
    bool isProgram = false;
    bool isNext = false;
    bool isSelected = false;
    bool matchesFilter = true;
    bool isDragging = false;
    // The tile as composeTile() makes it for the thumbnail; null: the spinner over the
    // checkerboard.
    QImage picture;
    int spinnerPhase = 0;
    CanvasFormat canvas;
    MotionKind fallbackMotion = MotionKind::fade;
    double fallbackDuration = 0.5;

    // The picture is shown unless the file is missing or unreadable.
    bool showsPicture() const { return !clip->isMissing && !clip->unreadableReason; }

    void paint(QPainter& painter, double x) const;
    // The help text under a point, if any: the warning tile, the transform and motion badges.
    std::optional<QString> toolTipAt(QPointF p, double x) const;

    // The END cell: black tile with "消す", green with a thick border while NEXT is at END.
    static void paintEnd(QPainter& painter, double x, bool atEnd);

    struct Footer {
        QRectF number, dot, film, fit, transform, motion;
    };
    Footer footer(double x) const;

    // Where a picture of a size sits in the tile at x: centred, fitted with its aspect.
    static QRectF pictureRect(double x, QSizeF imageSize);
    // The picture tile at scale s: the checkerboard, the picture fitted over it (none: the
    // checkerboard alone), clipped to the rounded tile.
    static QImage composeTile(const QImage* picture, double s);
    // How many border images are kept (those of the scale painted last).
    static int borderImageCount();
};

}  // namespace velmar
