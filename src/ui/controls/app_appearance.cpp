#include "ui/controls/app_appearance.h"

#include "ui/controls/palette.h"
#include "ui/controls/wheel_guard.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

namespace velmar {

namespace {

// Fusion lights a menu bar item only while its menu is open. A menu bar that holds the keyboard
// (after Alt, or a menu left with Esc) lights its chosen item as well, so the operator sees that
// the next Esc or Return goes to the menus and not to the show.
class MenuBarKeyboardStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element == CE_MenuBarItem && item && widget && widget->hasFocus() &&
            (item->state & State_Selected)) {
            QStyleOptionMenuItem lit = *item;
            lit.state |= State_Sunken;
            QProxyStyle::drawControl(element, &lit, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

}  // namespace

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
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        app.setStyle(new MenuBarKeyboardStyle(fusion));
    }
    QApplication::setPalette(darkPalette());
    app.installEventFilter(new WheelGuard(&app));
}

}  // namespace velmar
