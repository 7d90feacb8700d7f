#pragma once

#include <QRectF>
#include <QSizeF>

namespace velmar {

// Where everything of the main window goes, in design units. The window of w x h is drawn at
// s = min(w / 1920, h / 1260, 1) (1 when a side is 0), and the surface is laid out at w / s by
// h / s, so one side equals the design size while the window is smaller and the surface is never
// enlarged. Inside an 8-unit margin six rows stand 6 apart: the information bar, the preview
// row (left pane, divider, central column, divider, right pane, 10 apart), the row under it
// (side, keyer bar, side), the asset row (rundown column, keyer panel 190 wide, 8 apart), the
// control bar and the status bar. The preview row takes the height the other rows leave, never
// less than max(central column height, 340).
struct MainLayout {
    static constexpr double kPadding = 8;
    static constexpr double kRowSpacing = 6;
    static constexpr double kPreviewSpacing = 10;
    static constexpr double kPreviewMinimumHeight = 340;
    static constexpr double kDividerWidth = 11;
    static constexpr double kUnderPreviewHeight = 150;
    static constexpr double kSequenceBarHeight = 34;
    static constexpr double kTabBarHeight = 28;
    static constexpr double kStripHeight = 176;
    static constexpr double kKeyerPanelWidth = 190;
    static constexpr double kControlBarHeight = 26;
    static constexpr double kStatusBarHeight = 20;
    static constexpr double kMinimumWindowWidth = 960;
    static constexpr double kMinimumWindowHeight = 540;

    struct Input {
        QSizeF window;                   // pixels
        double centerColumnWidth = 160;  // design units
        double centralColumnHeight = 0;  // last measured natural height of the take column
        bool programOnLeft = false;
    };

    double s = 1;
    QSizeF surface;  // design units
    QRectF infoBar;
    QRectF previewRow;
    QRectF leftPane, leftDivider, centralColumn, rightDivider, rightPane;
    QRectF underPreviewRow;
    QRectF underLeft, keyerBar, underRight;
    QRectF assetRow;
    QRectF sequenceBar, tabBar, clipStrip, keyerPanel;
    QRectF controlBar;
    QRectF statusBar;
    bool programOnLeft = false;

    QRectF programPane() const { return programOnLeft ? leftPane : rightPane; }
    QRectF nextPane() const { return programOnLeft ? rightPane : leftPane; }
    // The program controls stand under the PROGRAM pane, the transform panel under NEXT.
    QRectF programControls() const { return programOnLeft ? underLeft : underRight; }
    QRectF transformPanel() const { return programOnLeft ? underRight : underLeft; }

    static MainLayout compute(const Input& input);
    // A design-unit rectangle in window pixels.
    QRect toPixels(const QRectF& design) const;
};

}  // namespace velmar
