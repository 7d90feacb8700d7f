#include "ui/dsk_panel_preview.h"

#include "ui/palette.h"

#include <QPainter>
#include <QPainterPath>

namespace velmar {

DSKPanelPreview::DSKPanelPreview(QWidget* parent) : QWidget(parent) {}

void DSKPanelPreview::setPicture(ImageRef picture) {
    if (picture == picture_) return;
    picture_ = std::move(picture);
    fitted_ = picture_ ? fitted(*picture_, size()) : QImage();
    update();
}

void DSKPanelPreview::setOnAir(bool onAir) {
    if (onAir == onAir_) return;
    onAir_ = onAir;
    update();
}

QRect DSKPanelPreview::fittedRect(const QSize& picture, const QRect& box) {
    if (picture.isEmpty() || box.isEmpty()) return {};
    const QSize size = picture.scaled(box.size(), Qt::KeepAspectRatio);
    return {box.x() + (box.width() - size.width()) / 2,
            box.y() + (box.height() - size.height()) / 2, size.width(), size.height()};
}

QImage DSKPanelPreview::fitted(const QImage& picture, const QSize& box) {
    const QRect rect = fittedRect(picture.size(), QRect(QPoint(), box));
    if (rect.isEmpty()) return {};
    return picture.scaled(rect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void DSKPanelPreview::resizeEvent(QResizeEvent*) {
    fitted_ = picture_ ? fitted(*picture_, size()) : QImage();
}

void DSKPanelPreview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor::fromRgbF(0, 0, 0, 0.45));
    if (!fitted_.isNull()) {
        const QRect target = fittedRect(fitted_.size(), rect());
        p.drawImage(target.topLeft(), fitted_);
    } else {
        // Placeholder: two overlapping frames with a small mountain, in the secondary colour.
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Palette::secondaryText(), 1.5));
        p.setBrush(Qt::NoBrush);
        const QPointF c = QRectF(rect()).center();
        p.drawRoundedRect(QRectF(c.x() - 11, c.y() - 9, 20, 15), 2, 2);
        p.drawRoundedRect(QRectF(c.x() - 8, c.y() - 6, 20, 15), 2, 2);
        QPainterPath hill;
        hill.moveTo(c.x() - 6, c.y() + 7);
        hill.lineTo(c.x() + 1, c.y() + 1);
        hill.lineTo(c.x() + 9, c.y() + 7);
        p.drawPath(hill);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(onAir_ ? Palette::systemRed() : Palette::white(1, 0.15), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace velmar
