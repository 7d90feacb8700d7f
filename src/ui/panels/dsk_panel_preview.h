#pragma once

#include "models/image_ref.h"

#include <QImage>
#include <QWidget>

class QPainter;

namespace velmar {

// The DSK panel's preview box: the medium's picture fitted into the box on black at 0.45 (or a
// placeholder), with a 1-point border inside its edge, red while keyed. The fitted image is made
// once per picture and size, never at each paint.
class DSKPanelPreview : public QWidget {
    Q_OBJECT

  public:
    explicit DSKPanelPreview(QWidget* parent = nullptr);

    void setPicture(ImageRef picture);
    void setOnAir(bool onAir);
    const ImageRef& picture() const { return picture_; }

    // The picture scaled to fit `box` with its aspect kept (letterboxed), centred in it.
    static QRect fittedRect(const QSize& picture, const QRect& box);
    // The picture fitted to `box`, made once per picture and size.
    static QImage fitted(const QImage& picture, const QSize& box);
    // One paint of the box: the fitted picture (or the placeholder when it is null) and the
    // border.
    static void paint(QPainter& painter, const QRect& box, const QImage& fitted, bool onAir);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    ImageRef picture_;
    QImage fitted_;
    bool onAir_ = false;
};

}  // namespace velmar
