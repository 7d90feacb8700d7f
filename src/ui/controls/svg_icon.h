#pragma once

#include <QByteArray>
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace velmar {

// The small icons under :/icons, drawn without an SVG library. They use a small part of SVG,
// which render() draws itself: <circle> and <path> whose data holds absolute M, L, H, V and Z
// commands, with fill, stroke and stroke-width, where "currentColor" stands for the given
// colour and "none" for nothing. Anything else is skipped.
class SvgIcon {
  public:
    // The SVG scaled from its viewBox to `size` logical pixels; transparent where nothing is
    // drawn. Unreadable text gives a transparent picture.
    static QPixmap render(const QByteArray& svg, QSize size, const QColor& currentColor,
                          qreal devicePixelRatio = 1.0);
    // The same for the file at `path` (a resource path like ":/icons/play.svg"); a missing file
    // gives a transparent picture.
    static QPixmap fromFile(const QString& path, QSize size, const QColor& currentColor,
                            qreal devicePixelRatio = 1.0);
    // A button icon from the file at `path`: drawn in `color`, and in `disabledColor` for the
    // disabled state, so that buttons never depend on a font having a symbol.
    static QIcon icon(const QString& path, QSize size, const QColor& color,
                      const QColor& disabledColor, qreal devicePixelRatio = 1.0);
};

}  // namespace velmar
