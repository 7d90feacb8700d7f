#include "ui/controls/elided_combo_box.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace velmar {

QString ElidedComboBox::shownText() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return elided(option);
}

QString ElidedComboBox::elided(const QStyleOptionComboBox& option) const {
    QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    // The label is drawn one pixel in from each side, after the icon and its gap.
    int width = field.width() - 2;
    if (!option.currentIcon.isNull()) width -= option.iconSize.width() + 4;
    return option.fontMetrics.elidedText(option.currentText, Qt::ElideRight, std::max(width, 0));
}

void ElidedComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = elided(option);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

}  // namespace velmar
