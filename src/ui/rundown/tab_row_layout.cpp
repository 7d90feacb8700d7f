#include "ui/rundown/tab_row_layout.h"

#include <algorithm>

namespace velmar {

TabRowLayout TabRowLayout::make(const std::vector<Tab>& tabs, const QString& filterCountText,
                                double barWidth,
                                const std::function<double(const QString&, int role)>& measure) {
    TabRowLayout out;
    double x = kInset;
    out.cells.reserve(tabs.size());
    for (const Tab& tab : tabs) {
        Cell cell;
        double cx = x + kCellPadding;
        if (!tab.number.isEmpty()) {
            cell.numberX = cx;
            cx += measure(tab.number, numberRole) + kContentSpacing;
        }
        cell.nameX = cx;
        cx += measure(tab.name, tab.selected ? selectedNameRole : nameRole) + kContentSpacing;
        cell.countX = cx;
        cx += measure(tab.count, countRole) + kCellPadding;
        const double height = tab.selected ? kTabHeight : kTabHeight - 3;
        cell.rect = QRectF(x, kTabHeight - height, cx - x, height);
        out.cells.push_back(cell);
        x = cx + kSpacing;
    }
    const double buttonTop = (kTabHeight - kButtonHeight) / 2;
    out.addButton = QRectF(x, buttonTop, kButtonWidth, kButtonHeight);
    x = out.addButton.right() + kSpacing + kMinFlexibleSpace + kSpacing;

    double filterWidth = kButtonWidth;
    double countWidth = 0;
    if (!filterCountText.isEmpty()) {
        countWidth = measure(filterCountText, filterCountRole);
        filterWidth += countWidth + kFilterSpacing + kClearButtonWidth + kFilterSpacing;
    }
    // The flexible space pushes the filter control to the right end when there is room.
    double fx = std::max(x, barWidth - kInset - filterWidth);
    if (!filterCountText.isEmpty()) {
        out.filterCount = QRectF(fx, 0, countWidth, kTabHeight);
        fx += countWidth + kFilterSpacing;
        out.clearButton =
            QRectF(fx, (kTabHeight - kClearButtonWidth) / 2, kClearButtonWidth, kClearButtonWidth);
        fx += kClearButtonWidth + kFilterSpacing;
    }
    out.filterButton = QRectF(fx, buttonTop, kButtonWidth, kButtonHeight);
    out.rowWidth = out.filterButton.right() + kInset;
    return out;
}

int TabRowLayout::tabAt(QPointF p) const {
    // The full rectangle of a cell is its hit area, rounded corners included.
    for (int i = 0; i < static_cast<int>(cells.size()); ++i) {
        if (cells[i].rect.contains(p)) return i;
    }
    return -1;
}

}  // namespace velmar
