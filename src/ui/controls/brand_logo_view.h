#pragma once

#include <QImage>
#include <QWidget>

#include <optional>

namespace velmar {

// The logo `height` design units high: the image fitted into round(height x aspect) x height,
// or, without the image, the text "DOVRINE" in heavy type 0.62 x height high. Either way its
// accessible name is "DOVRINE".
class BrandLogoView : public QWidget {
    Q_OBJECT
  public:
    // `image` defaults to Brand::logoImage().
    explicit BrandLogoView(QWidget* parent = nullptr);
    BrandLogoView(std::optional<QImage> image, QWidget* parent = nullptr);

    double height() const { return height_; }
    // Height in design units and the scale s it is drawn at.
    void setHeight(double designHeight, double s);
    // Size in design units (the text form takes the width its text needs).
    QSizeF designSize() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::optional<QImage> image_;
    double height_ = 45;
    double scale_ = 1;
};

}  // namespace velmar
