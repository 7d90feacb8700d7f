#include "ui/controls/brand_logo_view.h"

#include "ui/controls/brand.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace velmar {

BrandLogoView::BrandLogoView(QWidget* parent) : BrandLogoView(Brand::logoImage(), parent) {}

BrandLogoView::BrandLogoView(std::optional<QImage> image, QWidget* parent)
    : QWidget(parent), image_(std::move(image)) {
    setAccessibleName(QStringLiteral("DOVRINE"));
    setAttribute(Qt::WA_TranslucentBackground);
}

void BrandLogoView::setHeight(double designHeight, double s) {
    height_ = designHeight;
    scale_ = s;
    updateGeometry();
    update();
}

QSizeF BrandLogoView::designSize() const {
    if (image_) return {Brand::logoWidth(height_, image_->size()), height_};
    const QFontMetricsF metrics(DesignScale::font(0.62 * height_, 1, QFont::Black));
    return {metrics.horizontalAdvance(QStringLiteral("DOVRINE")), height_};
}

QSize BrandLogoView::sizeHint() const {
    const QSizeF size = designSize() * scale_;
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

void BrandLogoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF area(QPointF(0, 0), QSizeF(size()));
    if (image_) {
        // Fitted into the widget with the image's own proportions, centred.
        const QSizeF fitted = QSizeF(image_->size()).scaled(area.size(), Qt::KeepAspectRatio);
        QRectF target(QPointF(0, 0), fitted);
        target.moveCenter(area.center());
        painter.drawImage(target, *image_);
        return;
    }
    painter.setFont(DesignScale::font(0.62 * height_, scale_, QFont::Black));
    painter.setPen(Palette::primaryText());
    painter.drawText(area, Qt::AlignCenter, QStringLiteral("DOVRINE"));
}

}  // namespace velmar
