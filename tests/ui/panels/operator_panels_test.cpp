// The panels under PROGRAM, driven offscreen: fader gestures, the test-pattern menu, the LAYOUT
// entry sheet and the timecode panel's meter source.
#include "core/rundown.h"
#include "models/language_settings.h"
#include "support/event_loop.h"
#include "ui/controls/number_field.h"
#include "ui/panels/level_meter.h"
#include "ui/panels/output_fader.h"
#include "ui/panels/test_pattern_menu.h"
#include "ui/panels/test_pattern_menu_description.h"
#include "ui/panels/timecode_panel.h"
#include "ui/panels/transform_panel.h"
#include "ui/panels/transport_bar.h"

#include "ui/mouse_drag.h"

#include <QDialog>
#include <QImage>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace velmar {
namespace {

using test::MouseDrag;

struct FaderHarness {
    double position = 0.3;
    int writes = 0;
    OutputFader fader{[this] { return position; },
                      [this](double p) {
                          position = p;
                          ++writes;
                      }};
    FaderHarness() { fader.resize(256, 18); }  // a 200 px track from x = 16
};

// Mended: the "F" had no help text of its own.
TEST(OutputFader, TheLabelHasItsOwnHelpAndTheTrackTheFadersInBothStates) {
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    FaderHarness h;
    EXPECT_EQ(h.fader.toolTipAt(QPointF(4, 9)), "出力フェーダー");
    const QString help = h.fader.toolTipAt(QPointF(100, 9));
    EXPECT_TRUE(help.startsWith("PROGRAM の音声の出力レベル")) << help.toStdString();
    h.fader.setBypassed(true);
    EXPECT_EQ(h.fader.toolTipAt(QPointF(4, 9)), "出力フェーダー");
    EXPECT_TRUE(h.fader.toolTipAt(QPointF(100, 9)).startsWith("基準信号を出している間"));
    h.fader.setScale(2);
    EXPECT_EQ(h.fader.toolTipAt(QPointF(20, 9)), "出力フェーダー");
}

TEST(OutputFader, PressSetsWithoutMovingDragClampsAndBypassStillWrites) {
    FaderHarness h;
    ASSERT_DOUBLE_EQ(h.fader.trackRect().width(), 200);
    MouseDrag drag(h.fader, {16 + 50, 9});
    EXPECT_DOUBLE_EQ(h.position, 0.25);  // the press alone
    drag.moveTo({500, 9});
    EXPECT_DOUBLE_EQ(h.position, 1.0);
    drag.moveTo({-40, 9});
    EXPECT_DOUBLE_EQ(h.position, 0.0);
    drag.release({-40, 9});
    h.fader.setBypassed(true);
    MouseDrag(h.fader, {16 + 100, 9}).release({16 + 100, 9});
    EXPECT_DOUBLE_EQ(h.position, 0.5);
}

TEST(OutputFader, DoubleClickEndsAtZeroDecibels) {
    FaderHarness h;
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const bool down = type != QEvent::MouseButtonRelease;
        QMouseEvent event(type, QPointF(16 + 40, 9), QPointF(16 + 40, 9), QPointF(600, 300),
                          Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&h.fader, &event);
        if (type == QEvent::MouseButtonDblClick) {
            EXPECT_DOUBLE_EQ(h.position, 0.2);
        }
    }
    EXPECT_DOUBLE_EQ(h.position, 1.0);
}

// The knob's centre at W / 2 for 0.5, found by its light grey on the painted track.
TEST(OutputFader, KnobDrawnAtHalfTheTrackForHalfPosition) {
    FaderHarness h;
    h.position = 0.5;
    const QImage image = h.fader.grab().toImage();
    int first = -1, last = -1;
    for (int x = 16; x < 216; ++x) {
        const QColor c = image.pixelColor(x, 3);  // above the groove: only the knob is drawn
        if (c.alpha() > 200 && c.red() > 180) {
            if (first < 0) first = x;
            last = x;
        }
    }
    ASSERT_GE(first, 0);
    EXPECT_NEAR((first + last + 1) / 2.0, 16 + 100, 1.0);
}

// Lit segments counted by colour on the painted meter: 0.5 lights 43 of 48.
TEST(LevelMeter, LitSegmentsCountedByPixelColour) {
    LevelMeter meter;
    meter.resize(16 + 48 * 5 + 40, int(LevelMeter::kHeight));  // 4 px segments, 1 px apart
    meter.setLevels(0.5f, 0.0f, false, std::nullopt);
    QImage image(meter.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    meter.render(&image, {}, {}, QWidget::DrawChildren);  // no window background
    int lit = 0;
    for (int i = 0; i < 48; ++i) {
        const QColor c = image.pixelColor(16 + i * 5 + 2, 12 + 2 + 4);
        if (std::max({c.red(), c.green(), c.blue()}) > 150) ++lit;  // unlit: 0.16 on black
    }
    EXPECT_EQ(lit, 43);
}

TEST(TimecodePanel, MeterSourcePrefersTheToneThenTheMovieAfterTheFader) {
    const ReferenceTone::MeterState toneMeter{0.1f, 0.2f};
    auto tone =
        TimecodePanel::meterInput(ReferenceToneKind::ebuIdent, toneMeter, true, 0.9f, 0.9f, 0, 0.5);
    EXPECT_EQ(tone.left, 0.1f);
    EXPECT_FALSE(tone.isIdle);
    EXPECT_EQ(tone.toneLabel, "EBU IDENT -18dBFS");
    auto movie = TimecodePanel::meterInput(std::nullopt, toneMeter, true, 0.8f, 0.4f, 1, 0.5);
    EXPECT_FLOAT_EQ(movie.left, 0.2f);
    EXPECT_FLOAT_EQ(movie.right, 0.1f);
    EXPECT_FALSE(movie.isIdle);
    EXPECT_FALSE(movie.toneLabel);
    EXPECT_TRUE(TimecodePanel::meterInput(std::nullopt, toneMeter, true, 0.8f, 0.4f, 0, 1).isIdle);
    EXPECT_FLOAT_EQ(
        TimecodePanel::meterInput(std::nullopt, toneMeter, true, 0.8f, 0.4f, 1, std::nan("")).left,
        0);
    const auto none = TimecodePanel::meterInput(std::nullopt, toneMeter, false, 0.8f, 0.4f, 1, 1);
    EXPECT_TRUE(none.isIdle);
    EXPECT_FALSE(none.ticks);
}

TEST(TimecodePanel, StillOrNoMediaShowsZerosWithoutATimer) {
    double fader = 1;
    TimecodePanel panel({[&] { return fader; }, [&](double p) { fader = p; }, nullptr}, Qt::red);
    panel.setMedia(std::nullopt);
    EXPECT_FALSE(panel.isTicking());
    EXPECT_EQ(panel.currentText(), "00:00:00:00");
    EXPECT_TRUE(panel.meter()->isIdle());
}

TEST(TransportBar, WithoutAMovieTheBarIsStillAndLetsTheMouseThrough) {
    TransportBar bar(Qt::red);
    bar.setMedia(std::nullopt);
    EXPECT_FALSE(bar.isTicking());
    EXPECT_TRUE(bar.testAttribute(Qt::WA_TransparentForMouseEvents));
}

struct MenuHarness {
    MenuHarness() { LanguageSettings::shared().setLanguage(AppLanguage::ja); }
    std::optional<TestPatternKind> shown;
    LEDCabinetSize cabinet{128, 128};
    QList<TestPatternKind> toggled;
    int clears = 0;
    TestPatternMenu menu{{[this] { return shown; }, [this] { return cabinet; },
                          [this](TestPatternKind k) { toggled << k; }, [this] { ++clears; }}};
    QAction* find(const QString& text) {
        for (QAction* a : menu.actions())
            if (a->text() == text) return a;
        return nullptr;
    }
};

TEST(TestPatternMenu, ChecksFollowThePatternAndEveryItemToggles) {
    MenuHarness h;
    EXPECT_FALSE(h.menu.clearAction()->isEnabled());
    EXPECT_EQ(h.menu.clearAction()->shortcut(), QKeySequence("Ctrl+Shift+T"));
    int checked = 0, titles = 0, separators = 0;
    for (QAction* a : h.menu.actions()) {
        checked += a->isChecked();
        separators += a->isSeparator();
        titles += !a->isSeparator() && !a->isEnabled() && a != h.menu.clearAction();
    }
    EXPECT_EQ(checked, 0);
    EXPECT_EQ(titles, 4);
    EXPECT_EQ(separators, 4);

    h.shown = TestPatternKind::white;
    h.menu.rebuild();
    EXPECT_TRUE(h.menu.clearAction()->isEnabled());
    EXPECT_TRUE(h.find("白 100%")->isChecked());
    h.find("赤 100%")->trigger();
    h.find("白 100%")->trigger();  // the ticked item goes through the toggle too
    EXPECT_EQ(h.toggled, QList<TestPatternKind>({TestPatternKind::red, TestPatternKind::white}));
    h.menu.clearAction()->trigger();
    EXPECT_EQ(h.clears, 1);

    // The LED label reads the cabinet size again each time the menu opens.
    EXPECT_TRUE(h.find("LED キャビネット区切り…（128×128 px）"));
    h.cabinet = {64, 32};
    emit h.menu.aboutToShow();
    EXPECT_TRUE(h.find("LED キャビネット区切り…（64×32 px）"));
}

struct SheetHarness {
    Rundown rundown;
    CanvasFormat canvas;
    QSet<QObject*> entryOwners;
    QObject otherEntry;
    std::unique_ptr<TransformPanel> panel;

    SheetHarness() {
        LanguageSettings::shared().setLanguage(AppLanguage::ja);
        Clip clip;
        clip.url = QUrl::fromLocalFile("/media/a.png");
        ClipGroup group;
        group.clips = {clip};
        rundown.loadGroups({group});
        rundown.setSelectedIndex(0);
        panel = std::make_unique<TransformPanel>(TransformPanel::Bindings{
            &rundown, [this] { return canvas; }, [] { return 160.0; },
            [this](QObject* owner, bool open) {
                open ? void(entryOwners.insert(owner)) : void(entryOwners.remove(owner));
            }});
        panel->resize(520, 140);
        panel->show();
    }
    double scale() const { return rundown.groups()[0].clips[0].transform.scale; }
};

// The sheet sets and clears only its own entry flag, so another open entry keeps the flag up.
TEST(TransformPanelSheet, ReturnAppliesEscapeCancelsAndOnlyTheOwnEntryFlagClears) {
    SheetHarness h;
    h.entryOwners.insert(&h.otherEntry);
    h.panel->openEntry(ClipTransform::Field::scale);
    ASSERT_TRUE(h.panel->entrySheet());
    EXPECT_TRUE(h.entryOwners.contains(h.panel.get()));
    EXPECT_EQ(h.panel->entryField()->text(), "100");
    h.panel->entryField()->selectAll();
    QTest::keyClicks(h.panel->entryField(), "75");
    QTest::keyClick(h.panel->entryField(), Qt::Key_Return);
    EXPECT_DOUBLE_EQ(h.scale(), 0.75);
    EXPECT_FALSE(h.panel->entrySheet());
    EXPECT_EQ(h.entryOwners, QSet<QObject*>({&h.otherEntry}));

    h.panel->openEntry(ClipTransform::Field::scale);
    h.panel->entryField()->selectAll();
    QTest::keyClicks(h.panel->entryField(), "40");
    QTest::keyClick(h.panel->entryField(), Qt::Key_Escape);
    EXPECT_DOUBLE_EQ(h.scale(), 0.75);
    EXPECT_EQ(h.entryOwners, QSet<QObject*>({&h.otherEntry}));

    h.panel->openEntry(ClipTransform::Field::scale);
    h.panel->entryField()->selectAll();
    QTest::keyClicks(h.panel->entryField(), "75%");
    QTest::keyClick(h.panel->entryField(), Qt::Key_Return);
    EXPECT_DOUBLE_EQ(h.scale(), 0.75);
    EXPECT_FALSE(h.panel->entrySheet());
    test::drainMainQueue();
}

}  // namespace
}  // namespace velmar
