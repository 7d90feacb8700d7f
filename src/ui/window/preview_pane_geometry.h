#pragma once

#include "models/canvas_format.h"
#include "models/clip_transform.h"

#include <QPointF>
#include <QSizeF>

#include <optional>

namespace velmar {

// The arithmetic of the NEXT picture: how large the medium is drawn on the shown canvas, where
// its centre goes, which part of it takes the pointer and what a corner drag does. Lengths are
// in design units on screen axes (x right, y down); rotations in degrees, clockwise on screen.
struct PreviewPaneGeometry {
    static constexpr double kScaleFloor = 0.05;
    static constexpr double kHandleMinimum = 44;
    static constexpr double kGrabMinimum = 28;
    static constexpr double kHandleSize = 10;
    static constexpr double kDragThreshold = 2;

    struct Media {
        enum class Kind { none, still, movie };
        Kind kind = Kind::none;
        QSizeF pixelSize;  // the still's pixels, or the movie's display size
        bool hasPoster = false;
    };

    // Stills pixel for pixel on the canvas; movies fitted into it but never enlarged; nothing
    // for no medium, a movie without poster or one without a size. k = points per canvas pixel.
    static QSizeF contentSize(const Media& media, const CanvasFormat& canvas, double k);
    // scale + delta, raised to 0.05 when it is 0.05 or less.
    static double effectiveScale(double scale, double resizeDelta = 0);
    // The picture centre's offset from the canvas centre on a canvas shown at `canvasSize`; the
    // anchor term keeps the anchor point in place as the scale changes; `live` is the running
    // gesture's move plus its centre shift.
    static QPointF placement(QSizeF canvasSize, const ClipTransform& transform, QPointF anchor,
                             QSizeF content, double effectiveScale, QPointF live);
    static bool showsHandles(QSizeF picture);
    // The area that takes a move: the picture grown to at least 28 x 28 about its centre.
    static QSizeF grabSize(QSizeF picture);

    // A vector on screen axes in the frame of a picture rotated by `degrees`, and back.
    static QPointF toPictureFrame(QPointF screen, double degrees);
    static QPointF toScreen(QPointF picture, double degrees);

    enum class Hit { none, move, handle };
    struct HitResult {
        Hit hit = Hit::none;
        QPointF corner;  // (sx, sy) of a handle
    };
    // What the point `fromCentre` (relative to the picture centre, screen axes) touches:
    // a handle first (when shown), then the grab area.
    static HitResult hitTest(QPointF fromCentre, QSizeF picture, double degrees);

    struct Resize {
        double delta = 0;  // change of scale
        QPointF shift;     // centre shift on screen axes
    };
    // A drag of the handle at corner (sx, sy) by `translation` (screen axes). The pointer is
    // projected on the picture's diagonal in the picture's own, rotated frame; the factor is
    // held at 0.05 or more; the shift keeps the opposite corner where it is on screen, with any
    // rotation. None when the diagonal has no length.
    static std::optional<Resize> resize(QPointF corner, QPointF translation, QSizeF content,
                                        double scale, QPointF anchor, double degrees);
};

}  // namespace velmar
