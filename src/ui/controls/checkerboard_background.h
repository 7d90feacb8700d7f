#pragma once

#include <QBrush>
#include <QRectF>
#include <QWidget>

class QPainter;

namespace velmar {

// The two-grey checkerboard behind pictures that may be transparent: white 0.22 with squares of
// white 0.30 where row + column is even, the top-left square light. Drawn with one tiled brush
// (a 2 x 2 texel pattern magnified to the square size), never a shape per square.
class CheckerboardBackground : public QWidget {
    Q_OBJECT
  public:
    // `square` in design units, drawn at scale s.
    explicit CheckerboardBackground(double square, QWidget* parent = nullptr);

    double square() const { return square_; }
    void setScale(double s);

    // Fills `rect` (in the painter's coordinates) with the checkerboard anchored at its top-left
    // corner. A square of 0 or less, or not finite, fills the base grey only.
    static void paint(QPainter& painter, const QRectF& rect, double square);
    // The tiled brush of `square` with its first square at `origin`.
    static QBrush brush(double square, QPointF origin);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    double square_;
    double scale_ = 1;
};

}  // namespace velmar
