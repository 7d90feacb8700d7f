#pragma once

#include "models/canvas_format.h"

#include <QColor>
#include <QRectF>
#include <QRegion>
#include <QWidget>

class QPainter;

#include <optional>

namespace velmar {

// What every picture pane is made of, top to bottom 6 apart: the header (the title in the
// accent colour with a dot before it and, for movies, a film badge after it), the canvas frame
// (a 16:9 box with black bars around the canvas rectangle, fitted to the canvas's aspect and
// bordered in the accent colour, all clipped to the box's rounded corners) and the file-name
// line (or "—"). Subclasses draw or host the
// picture inside the canvas rectangle. Geometry is in design units, drawn at scale s.
class PaneView : public QWidget {
    Q_OBJECT
  public:
    static constexpr double kHeaderHeight = 24;
    static constexpr double kSpacing = 6;
    static constexpr double kFilenameHeight = 25;

    PaneView(QString title, QColor accent, QWidget* parent = nullptr);

    void setScale(double s);
    void setFilename(const std::optional<QString>& name);
    void setCanvas(const CanvasFormat& canvas);
    void setShowsMovieBadge(bool shows);

    double scale() const { return scale_; }
    const CanvasFormat& canvas() const { return canvas_; }
    const std::optional<QString>& filename() const { return filename_; }

    // The 16:9 box for a pane of `pane` design units, centred between header and file name.
    static QRectF canvasBox(QSizeF pane);
    // The canvas fitted into the box, centred; empty when a side of either is 0 or less.
    static QRectF canvasRect(const QRectF& box, const CanvasFormat& canvas);
    // Fills a rounded rectangle without rasterising its whole area as a shape (large panels
    // repaint often).
    static void fillRounded(QPainter& painter, const QRectF& rect, double radius,
                            const QColor& color);
    // The outline of `rect`, `width` wide on its inside, as four fills (a stroked rectangle is
    // rasterised as a shape over its whole height).
    static void frameRect(QPainter& painter, const QRectF& rect, double width, const QColor& color);
    // The pixels of `rect` whose centres lie inside it with its corners rounded by `radius`
    // (pixels): the box's clip as plain rectangles, which the raster engine clips by fast.
    static QRegion roundedRegion(const QRect& rect, double radius);
    // The pane's own canvas rectangle, in design units.
    QRectF canvasRect() const;
    // The pixels the canvas box keeps: the box, in pixels, with its corners rounded.
    QRegion canvasBoxRegion() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Draws the picture; the painter is in design units and clipped to `canvasRect`.
    virtual void paintContent(QPainter& painter, const QRectF& canvasRect);
    // Whether paintContent() fills the whole canvas rectangle opaquely, so the box under it need
    // not be drawn there.
    virtual bool fillsCanvas() const { return false; }
    // The canvas rectangle moved or the scale changed.
    virtual void canvasRectChanged() {}

  private:
    QRectF filenameRect() const;

    QString title_;
    QColor accent_;
    std::optional<QString> filename_;
    CanvasFormat canvas_;
    bool showsMovieBadge_ = false;
    double scale_ = 1;
};

}  // namespace velmar
