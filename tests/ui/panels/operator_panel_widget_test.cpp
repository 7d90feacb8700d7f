#include "core/engine_fixture.h"

#include "core/dsk_controller.h"
#include "core/reference_tone.h"
#include "platform/audio/audio_source.h"
#include "ui/controls/number_field.h"
#include "ui/controls/palette.h"
#include "ui/panels/dsk_control_bar.h"
#include "ui/panels/dsk_panel.h"
#include "ui/panels/dsk_panel_preview.h"
#include "ui/panels/duration_editor_sheet.h"
#include "ui/panels/duration_entry_pad.h"
#include "ui/panels/motion_profile_panel.h"
#include "ui/panels/reference_tone_menu.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace velmar::test {
namespace {

class OperatorPanelWidgetTest : public EngineFixture {
  protected:
    QSet<QUuid> idsAt(std::initializer_list<int> indices) {
        QSet<QUuid> ids;
        for (int i : indices) ids.insert(rundown().groups()[0].clips[i].id);
        return ids;
    }
    std::optional<double> durationAt(int index) {
        return rundown().groups()[0].clips[index].motionDuration;
    }
};

TEST_F(OperatorPanelWidgetTest, SheetReturnCommitsOnceAndEscapeCancels) {
    loadTab(stills(3), 1);
    int closes = 0;
    const auto context = [&] {
        return DurationEditorSheet::Context{false,
                                            [this] {
                                                const auto clip = rundown().selectedClip();
                                                return clip ? QSet<QUuid>{clip->id} : QSet<QUuid>();
                                            },
                                            [&] { ++closes; }};
    };
    {
        DurationEditorSheet sheet(*engine, context());
        sheet.show();
        EXPECT_EQ(sheet.title(), "C1");
        NumberField* field = sheet.pad()->field();
        EXPECT_EQ(field->text(), "0.50");
        QSignalSpy edits(&rundown(), &Rundown::clipsChanged);
        // Non-finite text: Return does nothing and the sheet stays.
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, "1e999");
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(closes, 0);
        EXPECT_TRUE(sheet.isVisible());
        EXPECT_FALSE(sheet.pad()->applyButton()->isEnabled());

        field->selectAll();
        QTest::keyClicks(field, "7");
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(durationAt(1), 5.0);
        EXPECT_EQ(edits.count(), 1);
        EXPECT_EQ(closes, 1);
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_EQ(durationAt(0), std::nullopt);
    }
    {
        DurationEditorSheet sheet(*engine, context());
        sheet.show();
        EXPECT_EQ(sheet.pad()->field()->text(), "5.00");
        sheet.pad()->field()->setText("2");
        QTest::keyClick(sheet.pad()->field(), Qt::Key_Escape);
        EXPECT_EQ(closes, 2);
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_EQ(durationAt(1), 5.0);
    }
    // Bulk over the whole tab: the note shows and every clip is set.
    DurationEditorSheet bulk(*engine, {true, [this] { return idsAt({0, 1, 2}); }, [] {}});
    EXPECT_TRUE(bulk.showsNote());
    EXPECT_EQ(bulk.title(), QString::fromUtf8("3 件のデュレーション"));
    EXPECT_EQ(bulk.pad()->field()->text(), "0.50");  // the durations differ
    bulk.pad()->press("1");
    bulk.pad()->commit();
    EXPECT_EQ(durationAt(0), 1.0);
    EXPECT_EQ(durationAt(2), 1.0);
}

TEST_F(OperatorPanelWidgetTest, PopoverClosesOnCommitAndOnClickOutside) {
    loadTab(stills(2), 2);  // END selected: no motion targets
    QList<bool> entry;
    MotionProfilePanel panel(*engine, 100, {[&](QObject*, bool open) { entry << open; }});
    panel.show();
    EXPECT_EQ(panel.durationButton()->text(), "0.50 s");

    // Typed 0.12 then the keypad's 5; with no targets the default duration takes it, rounded.
    panel.editDuration();
    NumberField* field = panel.popoverPad()->field();
    field->selectAll();
    QTest::keyClicks(field, "0.12");
    panel.popoverPad()->press("5");
    QTest::keyClick(field, Qt::Key_Return);
    drainMainQueue();
    EXPECT_EQ(engine->fadeDuration(), 0.13);
    EXPECT_FALSE(panel.isEditingDuration());
    EXPECT_EQ(panel.durationButton()->text(), "0.13 s");

    panel.editDuration();
    QTest::mouseClick(panel.popover(), Qt::LeftButton, {}, QPoint(-20, -20));
    drainMainQueue();
    EXPECT_FALSE(panel.isEditingDuration());
    EXPECT_EQ(engine->fadeDuration(), 0.13);
    EXPECT_EQ(entry, (QList<bool>{true, false, true, false}));
}

TEST_F(OperatorPanelWidgetTest, MotionKeysActOnTargetsAndLight) {
    const QString kLit = Palette::withOpacity(Palette::accentBlue(), 0.35).name(QColor::HexArgb);
    loadTab(stills(3), 0);
    MotionProfilePanel panel(*engine, 100, {});
    panel.show();
    rundown().setMotion(MotionKind::zoom, idsAt({0}));
    EXPECT_EQ(panel.key(MotionKind::zoom)->styleSheet().contains(kLit), true);
    EXPECT_EQ(panel.key(MotionKind::zoom)->width(), 28);
    QTest::mouseClick(panel.key(MotionKind::fade), Qt::LeftButton);
    EXPECT_EQ(rundown().groups()[0].clips[0].motion, MotionKind(MotionKind::fade));
    EXPECT_TRUE(panel.key(MotionKind::fade)->styleSheet().contains(kLit));
    EXPECT_FALSE(panel.key(MotionKind::zoom)->styleSheet().contains(kLit));

    // The lit key's colour on screen.
    const QImage picture = panel.grab().toImage();
    const QRect lit = panel.key(MotionKind::fade)->geometry();
    // Below the face and beside the number: the key's own fill.
    const QColor centre = picture.pixelColor(lit.left() + 4, lit.bottom() - 4);
    const QRect other = panel.key(MotionKind::cut)->geometry();
    const QColor unlit = picture.pixelColor(other.left() + 4, other.bottom() - 4);
    EXPECT_GT(centre.blue() - centre.red(), 20);
    EXPECT_LT(std::abs(unlit.blue() - unlit.red()), 10);
    // The slides show their arrow icons (white strokes) over the key number.
    const QRect slide = panel.key(MotionKind::slideLeft)->geometry();
    int white = 0;
    for (int y = slide.top(); y < slide.top() + slide.height() * 2 / 3; ++y)
        for (int x = slide.left(); x <= slide.right(); ++x)
            white += qGray(picture.pixel(x, y)) > 240 ? 1 : 0;
    EXPECT_GT(white, 15);

    QTest::mouseClick(panel.resetButton(), Qt::LeftButton);
    EXPECT_EQ(rundown().groups()[0].clips[0].motion, std::nullopt);
    // Three targets, the durations differing: mixed label; the popover starts at the default.
    rundown().setReorderSelection(idsAt({0, 1, 2}), 0);
    rundown().setMotionDuration(1.0, idsAt({2}));
    EXPECT_EQ(panel.durationButton()->text(), QString::fromUtf8("ばらばら"));
    panel.editDuration();
    EXPECT_EQ(panel.popoverPad()->field()->text(), "0.50");
    panel.popoverPad()->press("2");
    panel.popoverPad()->commit();
    EXPECT_EQ(durationAt(0), 2.0);
    EXPECT_EQ(durationAt(2), 2.0);
    EXPECT_EQ(panel.durationButton()->text(), "2.00 s");
    panel.defaultMotionBox()->setCurrentIndex(7);
    emit panel.defaultMotionBox()->activated(7);
    EXPECT_EQ(engine->defaultMotion(), MotionKind(MotionKind::dive));
}

// The duration readout is never cut: in the default take column (160) and at the window's
// smaller scales the captions move above their fields; a wide column keeps them side by side.
TEST_F(OperatorPanelWidgetTest, DurationReadoutFitsItsButtonAtEveryColumnWidth) {
    loadTab(stills(1), 1);
    engine->setFadeDuration(4.75);
    for (const double width : {160.0, 120.0, 300.0}) {
        for (const double scale : {1.0, 2.0 / 3}) {
            SCOPED_TRACE(width * 10 + scale);
            MotionProfilePanel panel(*engine, width, {});
            panel.setScale(scale);
            QPushButton* button = panel.durationButton();
            ASSERT_EQ(button->text(), "4.75 s");
            const int text = QFontMetrics(button->font()).horizontalAdvance(button->text());
            EXPECT_GE(button->width() - 16, text);
            EXPECT_LE(button->geometry().right(), panel.width());
            EXPECT_LE(panel.defaultMotionBox()->geometry().bottom(), panel.height());
        }
    }
    MotionProfilePanel wide(*engine, 300, {});
    MotionProfilePanel narrow(*engine, 160, {});
    EXPECT_GT(wide.durationButton()->x(), 80);  // beside its caption
    EXPECT_LT(narrow.durationButton()->x(), 10);
}

}  // namespace
}  // namespace velmar::test
