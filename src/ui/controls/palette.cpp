#include "ui/controls/palette.h"

#include <QLabel>

namespace velmar {

void setTextColor(QLabel* label, const QColor& color) {
    // A style sheet rather than the label's palette: it holds over the palettes and style sheets
    // of the windows the label is shown in.
    const QString style = QStringLiteral("color: %1;").arg(color.name(QColor::HexArgb));
    if (label->styleSheet() != style) label->setStyleSheet(style);
}

void useSecondaryText(QLabel* label) {
    setTextColor(label, Palette::secondaryText());
}

}  // namespace velmar
