#include "ui/window/preview_pane.h"

#include "ui/controls/checkerboard_background.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>

namespace velmar {

namespace {
// Above this many pixels the picture is drawn from the source rather than a scaled copy.
constexpr qint64 kMaximumCachedPixels = 16'000'000;

// Rows copied per call: Qt's raster engine hands taller blends to its thread pool, whose
// hand-offs cost more than these copies on a busy machine.
constexpr int kBand = 64;

// `source`'s rectangle `from` drawn unscaled at device point `at`, in bands of rows.
void drawBanded(QPainter& painter, QPoint at, const QImage& source, const QRect& from) {
    for (int y = 0; y < from.height(); y += kBand) {
        const int rows = std::min(kBand, from.height() - y);
        painter.drawImage(at + QPoint(0, y), source,
                          QRect(from.x(), from.y() + y, from.width(), rows));
    }
}

// Whether every pixel is fully opaque (a format without alpha always is).
bool isOpaque(const QImage& image) {
    if (!image.hasAlphaChannel()) return true;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(row[x]) != 255) return false;
    }
    return true;
}
}  // namespace

PreviewPane::PreviewPane(QString title, QColor accent, QWidget* parent)
    : PaneView(std::move(title), accent, parent) {}

void PreviewPane::setMedia(const std::optional<PlayoutMedia>& media) {
    media_ = media;
    setShowsMovieBadge(media && media->isMovie());
    update();
}

void PreviewPane::setBackground(PreviewBackground background) {
    if (background_ == background) return;
    background_ = background;
    update();
}

void PreviewPane::setTransform(const ClipTransform& transform) {
    const bool same =
        transform.offsetX == transform_.offsetX && transform.offsetY == transform_.offsetY &&
        transform.scale == transform_.scale && transform.rotation == transform_.rotation &&
        transform.opacity == transform_.opacity;
    if (same) return;
    transform_ = transform;
    clearLive();
    update();
}

void PreviewPane::setContentAnchor(QPointF anchor) {
    if (anchor_ == anchor) return;
    anchor_ = anchor;
    update();
}

void PreviewPane::setScrubImage(ImageRef image) {
    if (scrubImage_ == image) return;
    scrubImage_ = std::move(image);
    update();
}

void PreviewPane::setEditable(bool editable) {
    if (editable_ == editable) return;
    editable_ = editable;
    if (!editable_) clearLive();
    update();
}

void PreviewPane::clearLive() {
    dragOffset_ = {};
    resizeDelta_ = 0;
    resizeShift_ = {};
}

PreviewPaneGeometry::Media PreviewPane::mediaGeometry() const {
    PreviewPaneGeometry::Media m;
    if (!media_) return m;
    if (const ImageRef* still = media_->asStill()) {
        m.kind = PreviewPaneGeometry::Media::Kind::still;
        if (*still) m.pixelSize = QSizeF((*still)->size());
    } else if (const auto* movie = media_->asMovie()) {
        m.kind = PreviewPaneGeometry::Media::Kind::movie;
        m.pixelSize = movie->size;
        m.hasPoster = movie->poster != nullptr;
    }
    return m;
}

QSizeF PreviewPane::content(const QRectF& canvasRect) const {
    if (canvas().width <= 0) return {0, 0};
    const double k = canvasRect.width() / canvas().width;
    return PreviewPaneGeometry::contentSize(mediaGeometry(), canvas(), k);
}

const QImage* PreviewPane::image() const {
    if (scrubImage_) return scrubImage_.get();
    if (!media_) return nullptr;
    if (const ImageRef* still = media_->asStill()) return still->get();
    if (const auto* movie = media_->asMovie()) return movie->poster.get();
    return nullptr;
}

bool PreviewPane::showsEditor() const {
    if (!editable_ || !media_) return false;
    if (const auto* movie = media_->asMovie()) return movie->poster != nullptr;
    return true;
}

QSizeF PreviewPane::pictureSize() const {
    const double eff = PreviewPaneGeometry::effectiveScale(transform_.scale, resizeDelta_);
    return content(canvasRect()) * eff;
}

QPointF PreviewPane::pictureCentre() const {
    const QRectF rect = canvasRect();
    const double eff = PreviewPaneGeometry::effectiveScale(transform_.scale, resizeDelta_);
    return rect.center() + PreviewPaneGeometry::placement(rect.size(), transform_, anchor_,
                                                          content(rect), eff,
                                                          dragOffset_ + resizeShift_);
}

const QImage& PreviewPane::scaledImage(const QImage& source, QSize pixels) {
    // By the picture's key, not its address: a new still may take the freed one's memory.
    if (cachedKey_ != source.cacheKey() || cached_.size() != pixels) {
        cachedKey_ = source.cacheKey();
        cached_ = source.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        // Kept in the screen's own format, so each paint is a plain copy (no alpha: rows copied
        // as they are) or a blend without a conversion per pixel.
        cached_ = cached_.convertToFormat(isOpaque(cached_) ? QImage::Format_RGB32
                                                            : QImage::Format_ARGB32_Premultiplied);
    }
    return cached_;
}

void PreviewPane::paintContent(QPainter& painter, const QRectF& canvasRect) {
    // Device pixels: the background and an unrotated picture are plain copies of cached images.
    const QRect deviceCanvas = painter.transform().mapRect(canvasRect).toAlignedRect();
    const QSizeF picture = pictureSize();
    const QPointF centre = pictureCentre();
    const QRectF local(-picture.width() / 2, -picture.height() / 2, picture.width(),
                       picture.height());
    const QImage* source = image();
    const bool hasPicture = source && !source->isNull() && !picture.isEmpty();
    const QSize pixels(int(std::lround(picture.width() * scale())),
                       int(std::lround(picture.height() * scale())));
    const bool cacheable = hasPicture && pixels.width() > 0 && pixels.height() > 0 &&
                           qint64(pixels.width()) * pixels.height() <= kMaximumCachedPixels;
    const bool upright = std::fmod(transform_.rotation, 360.0) == 0;
    const double opacity = std::clamp(transform_.opacity, 0.0, 1.0);
    // An upright, opaque, fully shown picture hides the background under it: only the rest of
    // the canvas is filled.
    const QImage* kept = cacheable && upright ? &scaledImage(*source, pixels) : nullptr;
    const QPoint topLeft =
        kept ? painter.transform().map(centre + local.topLeft()).toPoint() : QPoint();
    QRegion background(deviceCanvas);
    if (kept && opacity == 1 && !kept->hasAlphaChannel())
        background -= QRect(topLeft, kept->size());

    painter.save();
    painter.resetTransform();
    for (const QRect& r : background) {
        if (background_ == PreviewBackground::checker) {
            if (checker_.size() != deviceCanvas.size()) {
                checker_ = QImage(deviceCanvas.size(), QImage::Format_RGB32);
                QPainter checker(&checker_);
                CheckerboardBackground::paint(checker, QRectF(checker_.rect()), 10 * scale());
            }
            drawBanded(painter, r.topLeft(), checker_, r.translated(-deviceCanvas.topLeft()));
        } else {
            painter.fillRect(r, Qt::black);
        }
    }
    painter.restore();

    if (hasPicture) {
        painter.save();
        painter.setOpacity(opacity);
        if (kept) {
            painter.resetTransform();
            painter.setClipRect(deviceCanvas, Qt::IntersectClip);
            drawBanded(painter, topLeft, *kept, kept->rect());
        } else if (cacheable) {
            painter.translate(centre);
            painter.rotate(transform_.rotation);
            painter.drawImage(local, scaledImage(*source, pixels));
        } else {
            painter.translate(centre);
            painter.rotate(transform_.rotation);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(local, *source);
        }
        painter.restore();
    }

    if (!showsEditor()) return;
    painter.save();
    painter.translate(centre);
    painter.rotate(transform_.rotation);
    const QColor blue = QColor::fromRgbF(0.35f, 0.62f, 1.0f);
    frameRect(painter, local, 1, QColor::fromRgbF(0.35f, 0.62f, 1.0f, 0.9f));
    if (PreviewPaneGeometry::showsHandles(picture)) {
        const double half = PreviewPaneGeometry::kHandleSize / 2;
        for (const QPointF c : {QPointF(-1, -1), QPointF(1, -1), QPointF(-1, 1), QPointF(1, 1)}) {
            const QPointF at(c.x() * picture.width() / 2, c.y() * picture.height() / 2);
            painter.fillRect(QRectF(at.x() - half, at.y() - half, 2 * half, 2 * half), blue);
        }
    }
    painter.restore();
}

void PreviewPane::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !showsEditor()) return;
    const QPointF at = event->position() / scale();
    if (!canvasRect().contains(at)) return;
    const auto hit =
        PreviewPaneGeometry::hitTest(at - pictureCentre(), pictureSize(), transform_.rotation);
    if (hit.hit == PreviewPaneGeometry::Hit::none) return;
    gesture_ = hit.hit == PreviewPaneGeometry::Hit::handle ? Gesture::resize : Gesture::move;
    corner_ = hit.corner;
    gestureStarted_ = false;
    pressPosition_ = at;
}

void PreviewPane::mouseMoveEvent(QMouseEvent* event) {
    if (gesture_ == Gesture::none) return;
    const QPointF translation = event->position() / scale() - pressPosition_;
    if (!gestureStarted_) {
        if (std::hypot(translation.x(), translation.y()) < PreviewPaneGeometry::kDragThreshold)
            return;
        gestureStarted_ = true;
    }
    if (gesture_ == Gesture::move) {
        dragOffset_ = translation;
    } else {
        const QRectF rect = canvasRect();
        const auto result = PreviewPaneGeometry::resize(
            corner_, translation, content(rect), transform_.scale, anchor_, transform_.rotation);
        if (!result) return;
        resizeDelta_ = result->delta;
        resizeShift_ = result->shift;
    }
    update();
}

void PreviewPane::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || gesture_ == Gesture::none) return;
    const Gesture gesture = gesture_;
    const bool started = gestureStarted_;
    gesture_ = Gesture::none;
    gestureStarted_ = false;
    const QSizeF shown = canvasRect().size();
    if (!started) return;
    if (gesture == Gesture::move) {
        const QPointF translation = event->position() / scale() - pressPosition_;
        dragOffset_ = {};
        update();
        if (onMove) onMove(QSizeF(translation.x(), translation.y()), shown);
        return;
    }
    const double delta = resizeDelta_;
    const QPointF shift = resizeShift_;
    resizeDelta_ = 0;
    resizeShift_ = {};
    update();
    if (onResize) onResize(delta, QSizeF(shift.x(), shift.y()), shown);
}

}  // namespace velmar
