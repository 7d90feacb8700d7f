#include "ui/window/main_layout.h"

#include "ui/controls/design_scale.h"
#include "ui/window/info_bar.h"

#include <algorithm>
#include <cmath>

namespace velmar {

MainLayout MainLayout::compute(const Input& input) {
    MainLayout layout;
    layout.programOnLeft = input.programOnLeft;
    layout.s = DesignScale::forWindow(input.window);
    const bool hasSize = input.window.width() > 0 && input.window.height() > 0;
    layout.surface = hasSize ? input.window / layout.s : QSizeF(0, 0);

    const double left = kPadding;
    const double width = std::max(0.0, layout.surface.width() - 2 * kPadding);
    double y = kPadding;

    const double barHeight = InfoBar::height(width);
    layout.infoBar = QRectF(left, y, width, barHeight);
    y += barHeight + kRowSpacing;

    const double fixedBelow = kUnderPreviewHeight + kSequenceBarHeight + kTabBarHeight +
                              kStripHeight + kControlBarHeight + kStatusBarHeight + 4 * kRowSpacing;
    const double minimumPreview = std::max(input.centralColumnHeight, kPreviewMinimumHeight);
    const double previewHeight =
        std::max(minimumPreview, layout.surface.height() - kPadding - fixedBelow - y);
    layout.previewRow = QRectF(left, y, width, previewHeight);

    const double column = input.centerColumnWidth;
    const double paneWidth =
        std::max(0.0, (width - column - 2 * kDividerWidth - 4 * kPreviewSpacing) / 2);
    double x = left;
    layout.leftPane = QRectF(x, y, paneWidth, previewHeight);
    x += paneWidth + kPreviewSpacing;
    layout.leftDivider = QRectF(x, y, kDividerWidth, previewHeight);
    x += kDividerWidth + kPreviewSpacing;
    // The column keeps its natural height, centred in the row.
    const double columnHeight = std::min(input.centralColumnHeight, previewHeight);
    layout.centralColumn = QRectF(x, y + (previewHeight - columnHeight) / 2, column, columnHeight);
    x += column + kPreviewSpacing;
    layout.rightDivider = QRectF(x, y, kDividerWidth, previewHeight);
    x += kDividerWidth + kPreviewSpacing;
    layout.rightPane = QRectF(x, y, paneWidth, previewHeight);
    y += previewHeight + kRowSpacing;

    layout.underPreviewRow = QRectF(left, y, width, kUnderPreviewHeight);
    const double sideWidth = std::max(0.0, (width - column - 2 * kPreviewSpacing) / 2);
    layout.underLeft = QRectF(left, y, sideWidth, kUnderPreviewHeight);
    layout.keyerBar = QRectF(left + sideWidth + kPreviewSpacing, y, column, kUnderPreviewHeight);
    layout.underRight = QRectF(left + width - sideWidth, y, sideWidth, kUnderPreviewHeight);
    y += kUnderPreviewHeight + kRowSpacing;

    const double assetHeight = kSequenceBarHeight + kTabBarHeight + kStripHeight;
    layout.assetRow = QRectF(left, y, width, assetHeight);
    const double rundownWidth = std::max(0.0, width - 8 - kKeyerPanelWidth);
    layout.sequenceBar = QRectF(left, y, rundownWidth, kSequenceBarHeight);
    layout.tabBar = QRectF(left, y + kSequenceBarHeight, rundownWidth, kTabBarHeight);
    layout.clipStrip =
        QRectF(left, y + kSequenceBarHeight + kTabBarHeight, rundownWidth, kStripHeight);
    layout.keyerPanel = QRectF(left + width - kKeyerPanelWidth, y, kKeyerPanelWidth, assetHeight);
    y += assetHeight + kRowSpacing;

    layout.controlBar = QRectF(left, y, width, kControlBarHeight);
    y += kControlBarHeight + kRowSpacing;
    layout.statusBar = QRectF(left, y, width, kStatusBarHeight);
    return layout;
}

QRect MainLayout::toPixels(const QRectF& design) const {
    const QRectF r(design.topLeft() * s, design.size() * s);
    const int x0 = int(std::lround(r.left()));
    const int y0 = int(std::lround(r.top()));
    const int x1 = int(std::lround(r.right()));
    const int y1 = int(std::lround(r.bottom()));
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

}  // namespace velmar
