#pragma once

#include "models/clip_transform.h"
#include "models/image_ref.h"
#include "models/playout_media.h"
#include "models/preview_background.h"
#include "ui/window/pane_view.h"
#include "ui/window/preview_pane_geometry.h"

#include <QImage>

#include <functional>
#include <optional>

namespace velmar {

// The NEXT picture pane: the still, the movie's poster or a scrub frame placed on the canvas by
// the clip's transform and content anchor. When editable, dragging the picture moves it and
// dragging a corner handle scales it about the opposite corner; the pane shows the result live
// and hands one result to its owner when the gesture ends, then falls back to the transform it
// is given. Moves are measured on canvas axes, so a rotated picture follows the pointer.
class PreviewPane : public PaneView {
    Q_OBJECT
  public:
    // (translation, shown canvas size), design units, y down.
    using MoveHandler = std::function<void(QSizeF, QSizeF)>;
    // (scale delta, centre shift, shown canvas size).
    using ResizeHandler = std::function<void(double, QSizeF, QSizeF)>;

    PreviewPane(QString title, QColor accent, QWidget* parent = nullptr);

    void setMedia(const std::optional<PlayoutMedia>& media);
    void setBackground(PreviewBackground background);
    // A new transform ends any live gesture state.
    void setTransform(const ClipTransform& transform);
    void setContentAnchor(QPointF anchor);
    void setScrubImage(ImageRef image);
    void setEditable(bool editable);
    MoveHandler onMove;
    ResizeHandler onResize;

    // The picture on screen in design units: its centre relative to the widget and its size.
    QPointF pictureCentre() const;
    QSizeF pictureSize() const;
    bool showsEditor() const;
    bool isGestureRunning() const { return gesture_ != Gesture::none; }

  protected:
    void paintContent(QPainter& painter, const QRectF& canvasRect) override;
    bool fillsCanvas() const override { return true; }
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    enum class Gesture { none, move, resize };
    PreviewPaneGeometry::Media mediaGeometry() const;
    QSizeF content(const QRectF& canvasRect) const;
    const QImage* image() const;
    const QImage& scaledImage(const QImage& source, QSize pixels);
    void clearLive();

    std::optional<PlayoutMedia> media_;
    PreviewBackground background_ = PreviewBackground::checker;
    ClipTransform transform_;
    QPointF anchor_;
    ImageRef scrubImage_;
    bool editable_ = false;

    Gesture gesture_ = Gesture::none;
    bool gestureStarted_ = false;
    QPointF pressPosition_;  // design units
    QPointF corner_;
    QPointF dragOffset_;
    double resizeDelta_ = 0;
    QPointF resizeShift_;

    // The picture scaled to its on-screen pixel size, kept while source and size stay.
    qint64 cachedKey_ = 0;
    QImage cached_;
    // The checkerboard of the canvas rectangle at its pixel size.
    QImage checker_;
};

}  // namespace velmar
