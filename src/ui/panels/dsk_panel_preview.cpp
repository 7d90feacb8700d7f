#include "ui/panels/dsk_panel_preview.h"

#include "ui/controls/palette.h"

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
    // In the window's own pixel format, so a paint copies or blends it without converting; an
    // opaque picture drops its alpha, so a paint copies it.
    QImage image = picture.scaled(rect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 255) return image;
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

void DSKPanelPreview::resizeEvent(QResizeEvent*) {
    fitted_ = picture_ ? fitted(*picture_, size()) : QImage();
}

void DSKPanelPreview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, rect(), fitted_, onAir_);
}

void DSKPanelPreview::paint(QPainter& p, const QRect& box, const QImage& fitted, bool onAir) {
    const QColor back = QColor::fromRgbF(0, 0, 0, 0.45);
    const QRect target = fittedRect(fitted.size(), box);
    if (fitted.hasAlphaChannel() || target.isEmpty()) {
        p.fillRect(box, back);
    } else {
        // An opaque picture covers its rectangle: only the bars beside it are filled.
        p.fillRect(QRect(box.left(), box.top(), box.width(), target.top() - box.top()), back);
        p.fillRect(
            QRect(box.left(), target.bottom() + 1, box.width(), box.bottom() - target.bottom()),
            back);
        p.fillRect(QRect(box.left(), target.top(), target.left() - box.left(), target.height()),
                   back);
        p.fillRect(
            QRect(target.right() + 1, target.top(), box.right() - target.right(), target.height()),
            back);
    }
    if (!fitted.isNull()) {
        p.drawImage(target.topLeft(), fitted);
    } else {
        // Placeholder: two overlapping frames with a small mountain, in the secondary colour.
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Palette::secondaryText(), 1.5));
        p.setBrush(Qt::NoBrush);
        const QPointF c = QRectF(box).center();
        p.drawRoundedRect(QRectF(c.x() - 11, c.y() - 9, 20, 15), 2, 2);
        p.drawRoundedRect(QRectF(c.x() - 8, c.y() - 6, 20, 15), 2, 2);
        QPainterPath hill;
        hill.moveTo(c.x() - 6, c.y() + 7);
        hill.lineTo(c.x() + 1, c.y() + 1);
        hill.lineTo(c.x() + 9, c.y() + 7);
        p.drawPath(hill);
    }
    // The 1-point border inside the edge as four filled strips: a stroked rectangle in a
    // translucent colour costs the raster engine many times the rest of the paint.
    const QColor border = onAir ? Palette::systemRed() : Palette::white(1, 0.15);
    if (box.width() < 2 || box.height() < 2) {
        p.fillRect(box, border);
        return;
    }
    p.fillRect(QRect(box.left(), box.top(), box.width(), 1), border);
    p.fillRect(QRect(box.left(), box.bottom(), box.width(), 1), border);
    p.fillRect(QRect(box.left(), box.top() + 1, 1, box.height() - 2), border);
    p.fillRect(QRect(box.right(), box.top() + 1, 1, box.height() - 2), border);
}

}  // namespace velmar
