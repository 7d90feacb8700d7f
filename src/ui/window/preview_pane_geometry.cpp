#include "ui/window/preview_pane_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velmar {

QSizeF PreviewPaneGeometry::contentSize(const Media& media, const CanvasFormat& canvas, double k) {
    switch (media.kind) {
        case Media::Kind::none:
            return {0, 0};
        case Media::Kind::still:
            return media.pixelSize * k;
        case Media::Kind::movie: {
            const QSizeF size = media.pixelSize;
            if (!media.hasPoster || !(size.width() > 0) || !(size.height() > 0)) return {0, 0};
            const double f = std::min(
                {double(canvas.width) / size.width(), double(canvas.height) / size.height(), 1.0});
            return size * (k * f);
        }
    }
    return {0, 0};
}

double PreviewPaneGeometry::effectiveScale(double scale, double resizeDelta) {
    const double eff = scale + resizeDelta;
    return eff <= kScaleFloor || std::isnan(eff) ? kScaleFloor : eff;
}

QPointF PreviewPaneGeometry::placement(QSizeF canvasSize, const ClipTransform& transform,
                                       QPointF anchor, QSizeF content, double eff, QPointF live) {
    const double px = canvasSize.width() * transform.offsetX +
                      0.5 * content.width() * anchor.x() * (1 - eff) + live.x();
    const double py = -canvasSize.height() * transform.offsetY +
                      0.5 * content.height() * anchor.y() * (1 - eff) + live.y();
    return {px, py};
}

bool PreviewPaneGeometry::showsHandles(QSizeF picture) {
    return picture.width() >= kHandleMinimum && picture.height() >= kHandleMinimum;
}

QSizeF PreviewPaneGeometry::grabSize(QSizeF picture) {
    return {std::max(picture.width(), kGrabMinimum), std::max(picture.height(), kGrabMinimum)};
}

QPointF PreviewPaneGeometry::toPictureFrame(QPointF v, double degrees) {
    const double a = -degrees * std::numbers::pi / 180;
    return {v.x() * std::cos(a) - v.y() * std::sin(a), v.x() * std::sin(a) + v.y() * std::cos(a)};
}

QPointF PreviewPaneGeometry::toScreen(QPointF v, double degrees) {
    return toPictureFrame(v, -degrees);
}

PreviewPaneGeometry::HitResult PreviewPaneGeometry::hitTest(QPointF fromCentre, QSizeF picture,
                                                            double degrees) {
    const QPointF local = toPictureFrame(fromCentre, degrees);
    if (showsHandles(picture)) {
        // In order top-left, top-right, bottom-left, bottom-right.
        for (const QPointF corner :
             {QPointF(-1, -1), QPointF(1, -1), QPointF(-1, 1), QPointF(1, 1)}) {
            const QPointF centre(corner.x() * picture.width() / 2,
                                 corner.y() * picture.height() / 2);
            if (std::abs(local.x() - centre.x()) <= kHandleSize / 2 &&
                std::abs(local.y() - centre.y()) <= kHandleSize / 2)
                return {Hit::handle, corner};
        }
    }
    const QSizeF grab = grabSize(picture);
    if (std::abs(local.x()) <= grab.width() / 2 && std::abs(local.y()) <= grab.height() / 2)
        return {Hit::move, {}};
    return {};
}

std::optional<PreviewPaneGeometry::Resize> PreviewPaneGeometry::resize(QPointF corner,
                                                                       QPointF translation,
                                                                       QSizeF content, double scale,
                                                                       QPointF anchor,
                                                                       double degrees) {
    const double s0 = effectiveScale(scale);
    const QPointF t = toPictureFrame(translation, degrees);
    const double dx = corner.x() * content.width() * s0;
    const double dy = corner.y() * content.height() * s0;
    const double length = dx * dx + dy * dy;
    if (!(length > 0)) return std::nullopt;
    double f = ((dx + t.x()) * dx + (dy + t.y()) * dy) / length;
    if (f <= kScaleFloor) f = kScaleFloor;
    Resize result;
    result.delta = s0 * (f - 1);
    // The corner part moves with the picture's frame; the anchor part is placed on screen axes
    // (as the placement adds it), so only the former turns with the rotation.
    const QPointF cornerPart(0.5 * result.delta * content.width() * corner.x(),
                             0.5 * result.delta * content.height() * corner.y());
    const QPointF anchorPart(0.5 * result.delta * content.width() * anchor.x(),
                             0.5 * result.delta * content.height() * anchor.y());
    result.shift = toScreen(cornerPart, degrees) + anchorPart;
    return result;
}

}  // namespace velmar
