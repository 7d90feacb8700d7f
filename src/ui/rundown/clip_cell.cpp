#include "ui/rundown/clip_cell.h"

#include "models/localized.h"
#include "ui/controls/checkerboard_background.h"
#include "ui/rundown/clip_badges.h"
#include "ui/rundown/rundown_style.h"
#include "ui/rundown/strip_layout.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace velmar {

namespace style = rundown_style;
using L = StripLayout;

namespace {

constexpr double kTileCorner = 4;
constexpr double kFooterSpacing = 4;
constexpr double kMotionWidth = 56;

QRectF tileRect(double x) {
    return {x, L::kTileTop, L::kCellWidth, L::kCellHeight};
}

// The border images of the scale drawn last, by colour and width. A window being resized
// passes through many scales, so the images of a scale are dropped when another comes.
struct BorderImages {
    double scale = 0;
    QHash<QString, QImage> rings;
};

BorderImages& borderImages() {
    static BorderImages images;
    return images;
}

// The border drawn inside the tile's rounded edge. Antialiased strokes of this size are slow in
// the raster engine, and there are only a few borders, so each is drawn once per colour and
// width at the current scale into an image that is then copied.
void paintTileBorder(QPainter& p, const QRectF& tile, const QColor& color, double width) {
    BorderImages& images = borderImages();
    const double s = p.transform().m11();
    if (images.scale != s) {
        images.rings.clear();
        images.scale = s;
    }
    const QString key = QStringLiteral("%1/%2").arg(color.rgba()).arg(width);
    QImage& ring = images.rings[key];
    if (ring.isNull()) {
        ring = QImage(QSize(qRound(L::kCellWidth * s), qRound(L::kCellHeight * s)),
                      QImage::Format_ARGB32_Premultiplied);
        ring.fill(Qt::transparent);
        QPainter r(&ring);
        r.setRenderHint(QPainter::Antialiasing);
        r.scale(s, s);
        r.setPen(QPen(color, width));
        const double inset = width / 2;
        r.drawRoundedRect(
            QRectF(0, 0, L::kCellWidth, L::kCellHeight).adjusted(inset, inset, -inset, -inset),
            kTileCorner - inset / 2, kTileCorner - inset / 2);
        r.end();
        ring.setDevicePixelRatio(s);
    }
    p.drawImage(tile.topLeft(), ring);
}

void paintWarning(QPainter& p, const QRectF& tile) {
    p.fillRect(tile, style::white(0.2));
    const QPointF c = tile.center();
    QPainterPath triangle;
    triangle.moveTo(c.x(), c.y() - 10);
    triangle.lineTo(c.x() + 11, c.y() + 9);
    triangle.lineTo(c.x() - 11, c.y() + 9);
    triangle.closeSubpath();
    p.fillPath(triangle, style::systemRed());
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(QPointF(c.x(), c.y() - 4), QPointF(c.x(), c.y() + 3));
    p.drawPoint(QPointF(c.x(), c.y() + 6));
}

void paintSpinner(QPainter& p, QPointF c, int phase) {
    for (int i = 0; i < 8; ++i) {
        const double angle = (i - phase) * M_PI / 4;
        const double alpha = 0.25 + 0.75 * ((8 - i) % 8) / 8.0;
        p.setPen(QPen(style::white(0.8, alpha), 1.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(std::cos(angle) * 3.5, std::sin(angle) * 3.5),
                   c + QPointF(std::cos(angle) * 7, std::sin(angle) * 7));
    }
}

}  // namespace

int ClipCell::borderImageCount() {
    return static_cast<int>(borderImages().rings.size());
}

QRectF ClipCell::pictureRect(double x, QSizeF imageSize) {
    const QRectF tile = tileRect(x);
    if (!(imageSize.width() > 0) || !(imageSize.height() > 0)) return {};
    imageSize.scale(tile.size(), Qt::KeepAspectRatio);
    return {tile.center().x() - imageSize.width() / 2, tile.center().y() - imageSize.height() / 2,
            imageSize.width(), imageSize.height()};
}

namespace {

// What every tile of one scale shares: the bare checkerboard, the rounded-corner mask, and the
// checkerboard with its corners already cut (the tile of a cell without a picture).
struct TileBase {
    double scale = 0;
    QImage checker, mask, empty;
    int corner = 0;  // pixels of each corner square the mask cuts into
};

const TileBase& tileBase(double s) {
    static TileBase base;
    if (base.scale == s) return base;
    const QSize size(qRound(L::kCellWidth * s), qRound(L::kCellHeight * s));
    const QRectF r(0, 0, L::kCellWidth, L::kCellHeight);
    base.scale = s;
    base.checker = QImage(size, QImage::Format_ARGB32_Premultiplied);
    base.checker.fill(Qt::transparent);
    {
        QPainter p(&base.checker);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(s, s);
        CheckerboardBackground::paint(p, r, 8);
    }
    base.mask = QImage(size, QImage::Format_ARGB32_Premultiplied);
    base.mask.fill(Qt::transparent);
    {
        QPainter m(&base.mask);
        m.setRenderHint(QPainter::Antialiasing);
        m.scale(s, s);
        m.setPen(Qt::NoPen);
        m.setBrush(Qt::black);
        m.drawRoundedRect(r, kTileCorner, kTileCorner);
    }
    base.corner = int(std::ceil(kTileCorner * s)) + 1;
    base.empty = base.checker.copy();
    {
        QPainter p(&base.empty);
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(0, 0, base.mask);
    }
    base.empty.setDevicePixelRatio(s);
    return base;
}

}  // namespace

QImage ClipCell::composeTile(const QImage* source, double s) {
    const TileBase& base = tileBase(s);
    if (!source || source->isNull()) return base.empty;
    // The picture is drawn over the checkerboard from the screen's own pixel format (thumbnails
    // come in RGBA order, which the smooth scaler would convert pixel by pixel at every sample);
    // only the four corner squares are cut, where the rounded edge can meet the picture.
    QRectF fit = pictureRect(0, source->size());
    fit.translate(0, -L::kTileTop);
    const QRectF target(fit.topLeft() * s, fit.size() * s);
    if (target.isEmpty()) return base.empty;
    QImage tile = base.checker.copy();
    QPainter p(&tile);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (source->format() == QImage::Format_ARGB32_Premultiplied)
        p.drawImage(target, *source);
    else
        p.drawImage(target, source->convertToFormat(QImage::Format_ARGB32_Premultiplied));
    p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    const int k = base.corner, w = tile.width(), h = tile.height();
    for (const QRect corner : {QRect(0, 0, k, k), QRect(w - k, 0, k, k), QRect(0, h - k, k, k),
                               QRect(w - k, h - k, k, k)})
        p.drawImage(corner.topLeft(), base.mask, corner);
    p.end();
    tile.setDevicePixelRatio(s);
    return tile;
}

ClipCell::Footer ClipCell::footer(double x) const {
    Footer f;
    const double top = L::kFooterTop;
    const auto number = clip_badges::numberText(index, isProgram, isNext);
    const QFontMetricsF& numberMetrics =
        style::metrics(11, number.bold ? QFont::Bold : QFont::Normal, true);
    double cursor = x;
    f.number = QRectF(cursor, top, numberMetrics.horizontalAdvance(number.text), 14);
    cursor = f.number.right() + kFooterSpacing;
    if (isSelected) {
        f.dot = QRectF(cursor, top + 4, 6, 6);
        cursor = f.dot.right() + kFooterSpacing;
    }
    if (clip->kind == Clip::Kind::movie) {
        f.film = QRectF(cursor, top + 2, 9, 10);
        cursor = f.film.right() + kFooterSpacing;
    }
    if (const auto fit = clip_badges::fitBadge(*clip, canvas)) {
        const QFontMetricsF& m = style::metrics(9, QFont::Bold);
        f.fit = QRectF(cursor, top + 1, m.horizontalAdvance(fit->text) + 8, m.height() + 2);
        cursor = f.fit.right() + kFooterSpacing;
    }
    if (!clip->transform.isIdentity()) {
        f.transform = QRectF(cursor, top + 2, 10, 10);
        cursor = f.transform.right() + kFooterSpacing;
    }
    const double right = x + L::kCellWidth;
    f.motion = QRectF(right - kMotionWidth, top, kMotionWidth, 22);
    return f;
}

void ClipCell::paint(QPainter& p, double x) const {
    p.save();
    p.setOpacity((matchesFilter ? 1.0 : 0.2) * (isDragging ? 0.4 : 1.0));
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF tile = tileRect(x);
    if (showsPicture()) {
        // The tile comes composed (checkerboard, picture, rounded corners) at device size.
        const double s = p.transform().m11();
        p.drawImage(tile, picture.isNull() ? composeTile(nullptr, s) : picture);
        if (picture.isNull()) paintSpinner(p, tile.center(), spinnerPhase);
    } else {
        p.save();
        QPainterPath clipPath;
        clipPath.addRoundedRect(tile, kTileCorner, kTileCorner);
        p.setClipPath(clipPath, Qt::IntersectClip);
        paintWarning(p, tile);
        p.restore();
    }
    const auto border = clip_badges::tileBorder(isProgram, isNext, isSelected);
    paintTileBorder(p, tile, border.color, border.width);

    const Footer f = footer(x);
    const auto number = clip_badges::numberText(index, isProgram, isNext);
    // Texts are drawn at their baselines: the cells repaint often and need no text layout.
    const QFontMetricsF& nm = style::metrics(11, number.bold ? QFont::Bold : QFont::Normal, true);
    p.setFont(style::font(11, number.bold ? QFont::Bold : QFont::Normal, true));
    p.setPen(number.color);
    p.drawText(QPointF(f.number.x(), f.number.y() + nm.ascent()), number.text);
    if (isSelected) {
        p.setPen(Qt::NoPen);
        p.setBrush(style::accentBlue());
        p.drawEllipse(f.dot);
    }
    if (clip->kind == Clip::Kind::movie) {
        // A film frame: a filled strip with perforations.
        p.setPen(Qt::NoPen);
        p.setBrush(style::dimGrey());
        p.drawRect(f.film);
        p.setBrush(Qt::black);
        for (int i = 0; i < 3; ++i) {
            p.drawRect(QRectF(f.film.x() + 1, f.film.y() + 1 + i * 3, 1.5, 1.5));
            p.drawRect(QRectF(f.film.right() - 2.5, f.film.y() + 1 + i * 3, 1.5, 1.5));
        }
    }
    if (const auto fit = clip_badges::fitBadge(*clip, canvas)) {
        p.setPen(Qt::NoPen);
        p.setBrush(fit->background);
        p.drawRoundedRect(f.fit, f.fit.height() / 2, f.fit.height() / 2);
        p.setFont(style::font(9, QFont::Bold));
        p.setPen(Qt::white);
        p.drawText(f.fit, Qt::AlignCenter, fit->text);
    }
    if (!clip->transform.isIdentity()) {
        p.setPen(QPen(style::accentBlue(), 1));
        for (int i = 0; i < 3; ++i) {
            const double y = f.transform.y() + 2 + i * 3;
            p.drawLine(QPointF(f.transform.x(), y), QPointF(f.transform.right(), y));
            p.drawEllipse(QPointF(f.transform.x() + 2 + ((i * 3) % 7), y), 1, 1);
        }
    }
    const auto motion = clip_badges::motionBadge(*clip, fallbackMotion, fallbackDuration);
    // Right-aligned at `right`; returns the left edge of the text.
    auto drawText = [&p](const clip_badges::Text& t, double right, double top) {
        const QFont::Weight weight = t.bold ? QFont::Bold : QFont::Normal;
        const QFontMetricsF& m = style::metrics(8, weight, true);
        const double left = right - m.horizontalAdvance(t.text);
        p.setFont(style::font(8, weight, true));
        p.setPen(t.color);
        p.drawText(QPointF(left, top + m.ascent()), t.text);
        return left;
    };
    drawText(motion.label, f.motion.right(), f.motion.y());
    double right = f.motion.right();
    if (motion.duration) right = drawText(*motion.duration, right, f.motion.y() + 11) - 3;
    if (motion.loop) drawText(*motion.loop, right, f.motion.y() + 11);
    p.restore();
}

std::optional<QString> ClipCell::toolTipAt(QPointF pt, double x) const {
    if (!showsPicture() && tileRect(x).contains(pt))
        return clip->unreadableReason ? localized(*clip->unreadableReason)
                                      : localized("ファイルが見つかりません");
    const Footer f = footer(x);
    if (!clip->transform.isIdentity() && f.transform.contains(pt))
        return clip_badges::transformBadgeHelp(*clip);
    if (f.motion.contains(pt)) return clip_badges::motionBadgeHelp(*clip, fallbackDuration);
    return std::nullopt;
}

void ClipCell::paintEnd(QPainter& p, double x, bool atEnd) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF tile = tileRect(x);
    QPainterPath clipPath;
    clipPath.addRoundedRect(tile, kTileCorner, kTileCorner);
    p.fillPath(clipPath, Qt::black);
    const QColor ink = atEnd ? style::systemGreen() : style::white(0.45);
    // The crossed circle, 20 high, over "消す", centred as one column.
    const QPointF c(tile.center().x(), tile.center().y() - 9);
    p.setPen(QPen(ink, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 9, 9);
    p.drawLine(c + QPointF(-4, -4), c + QPointF(4, 4));
    p.drawLine(c + QPointF(-4, 4), c + QPointF(4, -4));
    // Centred texts at their baselines, without a text layout.
    auto centred = [&p](const QString& text, const QFontMetricsF& m, double cx, double top) {
        p.drawText(QPointF(cx - m.horizontalAdvance(text) / 2, top + m.ascent()), text);
    };
    p.setFont(style::font(11, QFont::Bold));
    centred(localized("消す"), style::metrics(11, QFont::Bold), tile.center().x(), c.y() + 12);
    paintTileBorder(p, tile, atEnd ? style::systemGreen() : QColor::fromRgbF(0, 0, 0, 0.6),
                    atEnd ? 3 : 1);
    p.setFont(style::font(11, atEnd ? QFont::Bold : QFont::Normal, true));
    p.setPen(atEnd ? style::systemGreen() : style::white(0.66));
    centred(QStringLiteral("END"), style::metrics(11, atEnd ? QFont::Bold : QFont::Normal, true),
            tile.center().x(), L::kFooterTop);
    p.restore();
}

}  // namespace velmar
