#pragma once

#include <QRectF>
#include <QString>

#include <QPointF>

#include <functional>
#include <vector>

namespace velmar {

// The geometry of the tab bar's row in design units: the tab cells (each as wide as its content
// plus 12 on either side, the current one 3 taller), the add button, a flexible space of at
// least 12 and the filter control at the right end. The row scrolls sideways when it is wider
// than the bar; x values here are row coordinates, before that scroll.
struct TabRowLayout {
    static constexpr double kTabHeight = 28;
    static constexpr double kBarHeight = kTabHeight + 1;  // the row and the separator line
    static constexpr double kInset = 4;
    static constexpr double kSpacing = 2;
    static constexpr double kCellPadding = 12;
    static constexpr double kContentSpacing = 5;
    static constexpr double kButtonWidth = 26;
    static constexpr double kButtonHeight = kTabHeight - 6;
    static constexpr double kMinFlexibleSpace = 12;
    static constexpr double kFilterSpacing = 4;
    static constexpr double kClearButtonWidth = 14;

    struct Tab {
        QString number;  // "1" ... "9", empty from the tenth on
        QString name;    // one line
        QString count;
        bool selected = false;
    };
    struct Cell {
        QRectF rect;
        double numberX = 0, nameX = 0, countX = 0;
    };
    std::vector<Cell> cells;
    QRectF addButton;
    QRectF filterCount;  // empty while the filter is not set
    QRectF clearButton;  // empty while the filter is not set
    QRectF filterButton;
    double rowWidth = 0;

    // filterCountText: the "M / N" text, empty while no filter is set.
    static TabRowLayout make(const std::vector<Tab>& tabs, const QString& filterCountText,
                             double barWidth,
                             const std::function<double(const QString&, int role)>& measure);
    enum Role { numberRole, nameRole, selectedNameRole, countRole, filterCountRole };

    // The cell under a row x, or -1.
    int tabAt(QPointF p) const;
};

}  // namespace velmar
