#include "app/app_state_fixture.h"

#include "ui/controls/number_field.h"
#include "ui/panels/dsk_panel.h"
#include "ui/panels/duration_editor_sheet.h"
#include "ui/panels/duration_entry_pad.h"
#include "ui/panels/motion_profile_panel.h"
#include "ui/panels/reference_tone_menu.h"

#include <QAction>
#include <QTest>

namespace velmar::test {
namespace {

class OperatorPanelAppStateTest : public AppStateFixture {
  protected:
    void SetUp() override {
        AppStateFixture::SetUp();
        make(false);
        ClipGroup group;
        group.name = "Tab";
        for (int i = 0; i < 3; ++i) {
            Clip clip;
            clip.url = QUrl::fromLocalFile(QString("/media/c%1.png").arg(i));
            clip.displayName = QString("c%1").arg(i);
            group.clips << clip;
        }
        app->engine().rundown().loadGroups({group});
        drainMainQueue();
    }
};

// Closing one number entry used to clear the flag while another was still up, so that digits
// typed there ran take keys. Each owner now lowers only its own flag.
TEST_F(OperatorPanelAppStateTest, NumberEntriesOfTwoOwnersMended) {
    auto panel = std::make_unique<MotionProfilePanel>(app->engine(), 100, *app);
    panel->show();
    app->openDurationEditor(AppState::DurationEditor::bulk);
    DurationEditorSheet sheet(*app, app->engine(), AppState::DurationEditor::bulk);
    sheet.show();
    EXPECT_TRUE(sheet.showsNote());

    panel->editDuration();
    panel->popoverPad()->cancel();
    EXPECT_FALSE(panel->isEditingDuration());
    EXPECT_TRUE(app->isNumberEntryOpen());  // the sheet is still up

    panel->editDuration();
    QTest::keyClick(sheet.pad()->field(), Qt::Key_Escape);
    EXPECT_EQ(app->durationEditor(), std::nullopt);
    EXPECT_TRUE(app->isNumberEntryOpen());  // the popover is still up

    panel.reset();  // goes with its popover up
    EXPECT_FALSE(app->isNumberEntryOpen());
}

// The same for the file panel: one DSK dialog is up while another owner's is too.
TEST_F(OperatorPanelAppStateTest, FilePanelFlagOfTwoOwners) {
    DSKPanel panel(app->engine().dsk(), app->engine(), *app);
    panel.show();
    QObject other;
    app->setFilePanelOpen(&other, true);
    panel.selectMedia(false);
    ASSERT_NE(panel.openDialog(), nullptr);
    panel.openDialog()->reject();
    EXPECT_TRUE(app->isFilePanelOpen());
    app->setFilePanelOpen(&other, false);
    EXPECT_FALSE(app->isFilePanelOpen());
}

TEST_F(OperatorPanelAppStateTest, ToneMenuChecksFollowWhatPlays) {
    ReferenceToneMenu menu(tone, *app);
    const QList<QAction*> actions = menu.entryActions();
    ASSERT_EQ(actions.size(), 11);
    const auto checked = [&] {
        QList<int> out;
        for (int i = 3; i < 9; ++i) {
            if (actions[i]->isChecked()) out << i;
        }
        return out;
    };
    // A tone that cannot start: the status line, no check mark.
    toneEngine.failure = "no device";
    actions[3]->trigger();
    EXPECT_EQ(checked(), QList<int>{});
    EXPECT_TRUE(status().endsWith("no device"));
    toneEngine.failure.reset();

    actions[3]->trigger();
    EXPECT_EQ(checked(), QList<int>{3});
    EXPECT_TRUE(actions[0]->isEnabled());
    actions[8]->trigger();
    EXPECT_EQ(checked(), QList<int>{8});
    actions[8]->trigger();  // the checked entry stops its tone
    EXPECT_EQ(checked(), QList<int>{});
    EXPECT_FALSE(actions[0]->isEnabled());

    tone.start(ReferenceToneKind::ebuIdent);  // started elsewhere
    EXPECT_EQ(checked(), QList<int>{7});
    actions[0]->trigger();
    EXPECT_EQ(checked(), QList<int>{});

    // The fader reset goes through the setter also at 0 dB: the position is stored.
    ASSERT_EQ(app->faderPosition(), 1.0);
    ASSERT_FALSE(defaults->contains("faderPosition"));
    actions[10]->trigger();
    EXPECT_EQ(defaults->number("faderPosition"), 1.0);
}

}  // namespace
}  // namespace velmar::test
