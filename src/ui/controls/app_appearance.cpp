#include "ui/controls/app_appearance.h"

#include "ui/controls/palette.h"
#include "ui/controls/wheel_guard.h"

#include <QApplication>
#include <QStyleFactory>

namespace velmar {

QPalette AppAppearance::darkPalette() {
    QPalette p;
    const QColor primary = Palette::primaryText();
    const QColor disabled = Palette::white(0.45);
    p.setColor(QPalette::Window, Palette::white(0.16));
    p.setColor(QPalette::WindowText, primary);
    p.setColor(QPalette::Base, Palette::white(0.11));
    p.setColor(QPalette::AlternateBase, Palette::white(0.14));
    p.setColor(QPalette::Text, primary);
    p.setColor(QPalette::PlaceholderText, Palette::secondaryText());
    p.setColor(QPalette::Button, Palette::white(0.24));
    p.setColor(QPalette::ButtonText, primary);
    p.setColor(QPalette::BrightText, Palette::systemRed());
    p.setColor(QPalette::Light, Palette::white(0.34));
    p.setColor(QPalette::Midlight, Palette::white(0.28));
    p.setColor(QPalette::Mid, Palette::white(0.2));
    p.setColor(QPalette::Dark, Palette::white(0.08));
    p.setColor(QPalette::Shadow, Palette::black());
    // A darker accent than the drop guides, so that white on a selection stays readable.
    p.setColor(QPalette::Highlight, QColor(0, 88, 190));
    p.setColor(QPalette::HighlightedText, Palette::white(1));
    p.setColor(QPalette::Link, Palette::accentBlue());
    p.setColor(QPalette::LinkVisited, Palette::accentBlue());
    p.setColor(QPalette::ToolTipBase, Palette::white(0.2));
    p.setColor(QPalette::ToolTipText, primary);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight, Palette::white(0.3));
    return p;
}

void AppAppearance::install(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
    QApplication::setPalette(darkPalette());
    app.installEventFilter(new WheelGuard(&app));
}

}  // namespace velmar
