// The shared look of the program: the dark palette's text roles, a label's own text colour, the
// switch drawn lit in the accent colour only when on, button icons from the SVG files, and the
// wheel guard's choice of controls and focus rule (real wheels are turned in the X server check).
#include "ui/controls/app_appearance.h"
#include "ui/controls/palette.h"
#include "ui/controls/scrubbable_value.h"
#include "ui/controls/svg_icon.h"
#include "ui/controls/switch_toggle.h"
#include "ui/controls/wheel_guard.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace velmar {
namespace {

double lightness(const QColor& c) {
    return c.lightnessF();
}

TEST(AppAppearance, DarkPaletteGivesWhiteTextOnDarkGreysAndDimmerDisabledText) {
    const QPalette p = AppAppearance::darkPalette();
    for (const auto& [text, ground] : {std::pair{QPalette::WindowText, QPalette::Window},
                                       std::pair{QPalette::Text, QPalette::Base},
                                       std::pair{QPalette::ButtonText, QPalette::Button}}) {
        EXPECT_EQ(p.color(QPalette::Active, text), Palette::primaryText());
        EXPECT_LT(lightness(p.color(ground)), 0.3);
        EXPECT_LT(lightness(p.color(QPalette::Disabled, text)), lightness(p.color(text)));
        EXPECT_GT(lightness(p.color(QPalette::Disabled, text)), lightness(p.color(ground)));
    }
    EXPECT_EQ(p.color(QPalette::PlaceholderText), Palette::secondaryText());
}

// The brightest grey level and the reddest pixel of the label as drawn in its window.
struct Ink {
    int brightest = 0;
    int reddest = 0;
};
Ink inkOf(QWidget& window, QLabel& label) {
    const QImage image = window.grab().toImage();
    Ink ink;
    const QRect area(label.mapTo(&window, QPoint(0, 0)), label.size());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            ink.brightest = std::max(ink.brightest, qGray(c.rgb()));
            ink.reddest = std::max(ink.reddest, c.red() - c.green());
        }
    }
    return ink;
}

// A label's own text colour holds in the window's dark palette, set before or after, enabled or
// not, and follows each change of colour, back to one it had before.
TEST(LabelTextColour, HoldsOverTheWindowPaletteAndFollowsEachChange) {
    const int secondary = qGray(Palette::secondaryText().rgb());
    QWidget window;
    window.setPalette(AppAppearance::darkPalette());
    auto* label = new QLabel(QStringLiteral("MMMM"), &window);
    useSecondaryText(label);
    window.resize(120, 40);
    window.show();
    EXPECT_GT(inkOf(window, *label).brightest, 100) << "the text is drawn";
    EXPECT_LE(inkOf(window, *label).brightest, secondary + 3);
    window.setPalette(AppAppearance::darkPalette());
    label->setEnabled(false);
    EXPECT_LE(inkOf(window, *label).brightest, secondary + 3) << "disabled, palette set again";
    EXPECT_GE(inkOf(window, *label).brightest, secondary - 3) << "disabled, palette set again";
    label->setEnabled(true);

    setTextColor(label, Palette::systemRed());
    EXPECT_GT(inkOf(window, *label).reddest, 150);
    useSecondaryText(label);
    EXPECT_LT(inkOf(window, *label).reddest, 10);
    EXPECT_LE(inkOf(window, *label).brightest, secondary + 3);
}

// The pixels of the track's middle row that are near the colour.
int pixelsNear(const QImage& image, const QRect& track, const QColor& colour) {
    int n = 0;
    const int y = track.center().y();
    for (int x = track.left(); x <= track.right(); ++x) {
        const QColor c = image.pixelColor(x, y);
        n += std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                 std::abs(c.blue() - colour.blue()) <
             12;
    }
    return n;
}

TEST(SwitchToggle, OnLightsTheTrackInTheAccentAndMovesTheKnobRight) {
    SwitchToggle toggle(QStringLiteral("SDI 出力"));
    toggle.resize(toggle.sizeHint());
    const QRect track = toggle.trackRect();
    ASSERT_GT(track.width(), track.height());
    const QImage off = toggle.grab().toImage();
    EXPECT_EQ(pixelsNear(off, track, SwitchToggle::onColor()), 0);
    // The knob (white) sits in the left half when off, the right half when on.
    const auto whiteLeft = [&](const QImage& image) {
        return image.pixelColor(track.left() + track.height() / 2, track.center().y()).red() > 240;
    };
    EXPECT_TRUE(whiteLeft(off));
    toggle.setChecked(true);
    const QImage on = toggle.grab().toImage();
    EXPECT_GT(pixelsNear(on, track, SwitchToggle::onColor()), track.width() / 4);
    EXPECT_FALSE(whiteLeft(on));
    EXPECT_TRUE(on.pixelColor(track.right() - track.height() / 2, track.center().y()).red() > 240);
}

TEST(SwitchToggle, HintHoldsTheLabelAndAClickAnywhereFlipsIt) {
    SwitchToggle toggle(QStringLiteral("Sub monitor"));
    const QFontMetrics metrics(toggle.font());
    const QSize hint = toggle.sizeHint();
    EXPECT_GE(hint.width(), toggle.trackRect().width() + metrics.horizontalAdvance("Sub monitor"));
    EXPECT_GE(hint.height(), metrics.height());
    toggle.resize(hint);
    QTest::mouseClick(&toggle, Qt::LeftButton, {}, QPoint(hint.width() - 3, hint.height() / 2));
    EXPECT_TRUE(toggle.isChecked());
}

TEST(SvgIcon, ButtonIconDrawsTheFileInItsColourAndDimsWhenDisabled) {
    const QIcon icon = SvgIcon::icon(QStringLiteral(":/icons/forward-end.svg"), QSize(16, 16),
                                     QColor(255, 0, 0), QColor(0, 0, 255));
    const QImage normal = icon.pixmap(QSize(16, 16), QIcon::Normal).toImage();
    const QImage disabled = icon.pixmap(QSize(16, 16), QIcon::Disabled).toImage();
    // The bar at the right end of the symbol.
    EXPECT_EQ(normal.pixelColor(12, 8).red(), 255);
    EXPECT_EQ(disabled.pixelColor(12, 8).blue(), 255);
    for (const char* name : {"xmark", "import", "delete-left"}) {
        const QImage image =
            SvgIcon::fromFile(QStringLiteral(":/icons/%1.svg").arg(name), QSize(16, 16), Qt::white)
                .toImage();
        int drawn = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) drawn += qAlpha(image.pixel(x, y)) > 128;
        EXPECT_GT(drawn, 12) << name;
    }
}

TEST(WheelGuard, GuardsValueControlsButNotScrollBarsAndTakesAwayWheelFocus) {
    QComboBox combo;
    QSpinBox spin;
    QSlider slider;
    QScrollBar bar;
    QWidget plain;
    ScrubbableValue scrub({.label = "X"});
    for (QWidget* w : std::initializer_list<QWidget*>{&combo, &spin, &slider, &scrub})
        EXPECT_TRUE(WheelGuard::isValueControl(w)) << w->metaObject()->className();
    EXPECT_FALSE(WheelGuard::isValueControl(&bar));
    EXPECT_FALSE(WheelGuard::isValueControl(&plain));

    WheelGuard guard;
    qApp->installEventFilter(&guard);
    QSpinBox later;
    later.ensurePolished();
    QComboBox box;
    box.ensurePolished();
    qApp->removeEventFilter(&guard);
    EXPECT_EQ(later.focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(box.focusPolicy(), Qt::StrongFocus);

    // A wheel on an unfocused spin box is taken and left unaccepted, so it goes on to the page.
    QSpinBox value;
    value.setValue(5);
    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    EXPECT_TRUE(guard.eventFilter(&value, &wheel));
    EXPECT_FALSE(wheel.isAccepted());
    EXPECT_EQ(value.value(), 5);
}

}  // namespace
}  // namespace velmar
