// The test-pattern command with the LED cabinet question, the duration sheet and its targets,
// the per-owner entry flags and the corner-drag resize.
#include "app_state_fixture.h"

#include "app/led_cabinet_dialog.h"

#include <QSignalSpy>

namespace velmar::test {
namespace {

struct EditingTest : AppStateFixture {
    QList<Clip> clips;

    // One tab of three clips.
    void makeWithTab() {
        make(false);
        for (int i = 0; i < 3; ++i) {
            Clip clip;
            clip.url = QUrl::fromLocalFile(dir.path() + QString("/clip%1.png").arg(i));
            clip.displayName = QString("clip%1").arg(i);
            clips << clip;
        }
        ClipGroup group;
        group.name = "A";
        group.clips = clips;
        app->engine().rundown().loadGroups({group});
        drainMainQueue();
    }
    ClipTransform transformOf(int index) const {
        return app->engine().rundown().currentGroup()->clips[index].transform;
    }
};

TEST(LEDCabinetSide, AcceptsDecimalIntegersWithinTheBoundsOnly) {
    const struct {
        const char* text;
        std::optional<int> side;
    } cases[] = {
        {"8", 8},           {"4096", 4096}, {"+64", 64},  {"0128", 128},
        {"", {}},           {"12a", {}},    {" 64", {}},  {"64 ", {}},
        {"7", {}},          {"4097", {}},   {"-64", {}},  {"+", {}},
        {"-", {}},          {"６４", {}},   {"64.0", {}}, {"99999999999999999999", {}},
        {"2147483648", {}}, {"1e3", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LEDCabinetDialog::parseSide(QString::fromUtf8(c.text)), c.side) << c.text;
    }
}

TEST_F(EditingTest, TheLedPatternAsksUntilValidAndCancelChangesNothing) {
    make(false);
    // Another pattern on air, then the cabinet question cancelled: it stays on air.
    app->toggleTestPattern(TestPatternKind::colorBars75);
    drainMainQueue();
    ASSERT_EQ(app->engine().testPattern(), TestPatternKind::colorBars75);
    dialogs.answers = {std::nullopt};
    app->toggleTestPattern(TestPatternKind::ledCabinet);
    drainMainQueue();
    EXPECT_EQ(app->engine().testPattern(), TestPatternKind::colorBars75);
    EXPECT_FALSE(defaults->contains("ledCabinetWidth")) << "nothing written";
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].messageText, "LED キャビネットの大きさ");
    EXPECT_EQ(dialogs.shown[0].informativeText,
              "キャビネット（パネル）1 枚の横×縦のピクセル数を入れてください。キャンバス "
              "96×54 を左上から区切ります。");
    EXPECT_EQ(dialogs.shown[0].widthText, "128");
    EXPECT_EQ(dialogs.shown[0].heightText, "128");

    // Bad input repeats with the bounds text and the fields as left; then a valid answer.
    dialogs.shown.clear();
    dialogs.answers = {std::pair<QString, QString>{"4097", "64"},
                       std::pair<QString, QString>{"12a", "+64"},
                       std::pair<QString, QString>{"+32", "64"}};
    app->toggleTestPattern(TestPatternKind::ledCabinet);
    drainMainQueue();
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[1].informativeText, "8〜4096 の整数で入れてください。");
    EXPECT_EQ(dialogs.shown[1].widthText, "4097") << "the fields as the operator left them";
    EXPECT_EQ(dialogs.shown[2].heightText, "+64");
    EXPECT_EQ(app->ledCabinet(), (LEDCabinetSize{32, 64}));
    EXPECT_EQ(defaults->integer("ledCabinetWidth"), 32);
    EXPECT_EQ(app->engine().testPattern(), TestPatternKind::ledCabinet);
    EXPECT_EQ(app->engine().testPatternCabinet(), (LEDCabinetSize{32, 64}));

    // Choosing the pattern on air takes it off without asking.
    dialogs.shown.clear();
    app->toggleTestPattern(TestPatternKind::ledCabinet);
    drainMainQueue();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(app->engine().testPattern(), std::nullopt);
}

TEST_F(EditingTest, TheDurationSheetOpensOnlyOverClipsAndNamesItsTargets) {
    make(false);
    app->openDurationEditor(AppState::DurationEditor::cursor);
    EXPECT_EQ(app->durationEditor(), std::nullopt) << "no tab: nothing opens";
    EXPECT_FALSE(app->isNumberEntryOpen());

    makeWithTab();
    auto& rundown = app->engine().rundown();
    rundown.setSelectedIndex(1);
    app->openDurationEditor(AppState::DurationEditor::bulk);
    EXPECT_EQ(app->durationEditor(), AppState::DurationEditor::bulk);
    EXPECT_TRUE(app->isNumberEntryOpen());
    EXPECT_EQ(app->durationTargets(AppState::DurationEditor::bulk),
              (QSet<QUuid>{clips[0].id, clips[1].id, clips[2].id}))
        << "nothing multi-selected: the whole tab";
    rundown.setReorderSelection({clips[0].id, clips[2].id}, 0);
    EXPECT_EQ(app->durationTargets(AppState::DurationEditor::bulk),
              (QSet<QUuid>{clips[0].id, clips[2].id}));
    EXPECT_EQ(app->durationTargets(AppState::DurationEditor::cursor), QSet<QUuid>{clips[1].id});
    rundown.setSelectedIndex(3);  // past the end: no clip under the cursor
    EXPECT_TRUE(app->durationTargets(AppState::DurationEditor::cursor).isEmpty());

    app->setDurationEditor(std::nullopt);
    EXPECT_FALSE(app->isNumberEntryOpen());
}

// Several writers of one published flag no longer clear each other.
TEST_F(EditingTest, EntryFlagsAreTheUnionOfTheirOwnersAndFollowOwnersAway) {
    makeWithTab();
    QSignalSpy numberSpy(app.get(), &AppState::isNumberEntryOpenChanged);
    auto pad = std::make_unique<QObject>();
    app->openDurationEditor(AppState::DurationEditor::cursor);
    app->setNumberEntryOpen(pad.get(), true);
    app->setNumberEntryOpen(pad.get(), false);
    EXPECT_TRUE(app->isNumberEntryOpen()) << "the pad's false leaves the sheet's true";
    app->setNumberEntryOpen(pad.get(), true);
    app->setDurationEditor(std::nullopt);
    EXPECT_TRUE(app->isNumberEntryOpen()) << "the sheet's close leaves the pad's true";
    pad.reset();
    EXPECT_FALSE(app->isNumberEntryOpen()) << "a destroyed owner's flag goes with it";
    EXPECT_EQ(numberSpy.count(), 2) << "announced on real changes only";

    auto modal = std::make_unique<QObject>();
    QObject panel;
    app->setFilePanelOpen(modal.get(), true);
    app->setFilePanelOpen(&panel, true);
    app->setFilePanelOpen(&panel, false);
    EXPECT_TRUE(app->isFilePanelOpen());
    modal.reset();
    EXPECT_FALSE(app->isFilePanelOpen());
}

TEST_F(EditingTest, AResizeEditsOnlyTheSharedFieldsWithYFlipped) {
    makeWithTab();
    auto& rundown = app->engine().rundown();
    const QSet<QUuid> both{clips[0].id, clips[1].id};
    rundown.setReorderSelection(both, 0);
    rundown.setTransform(ClipTransform::Field::scale, 0.8, {clips[1].id});
    rundown.setTransform(ClipTransform::Field::offsetX, 0.2, both);

    app->resizeSelectedTransform(0.1, QSizeF(96, 54), QSizeF(0, 0));
    EXPECT_EQ(transformOf(0).offsetX, 0.2) << "a pane not laid out changes nothing";

    app->resizeSelectedTransform(0.1, QSizeF(96, 54), QSizeF(960, 540));
    EXPECT_EQ(transformOf(0).scale, 1.0) << "the scales differ: left alone";
    EXPECT_EQ(transformOf(1).scale, 0.8);
    for (int i : {0, 1}) {
        EXPECT_NEAR(transformOf(i).offsetX, 0.3, 1e-12);
        EXPECT_NEAR(transformOf(i).offsetY, -0.1, 1e-12) << "screen y down, canvas y up";
    }
    EXPECT_EQ(transformOf(2).offsetX, 0) << "not a target";

    rundown.setReorderSelection({}, std::nullopt);
    rundown.setSelectedIndex(2);
    app->resizeSelectedTransform(0.25, QSizeF(), QSizeF(960, 540));
    EXPECT_EQ(transformOf(2).scale, 1.25) << "the selected clip alone";
}

}  // namespace
}  // namespace velmar::test
