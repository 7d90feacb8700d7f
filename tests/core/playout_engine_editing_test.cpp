#include "engine_fixture.h"

#include <QSignalSpy>

#include <random>

namespace velmar::test {
namespace {

using State = PlayoutEngine::State;

Marker marker(int position, const QString& name) {
    return Marker{QUuid::createUuid(), position, name};
}

QList<int> positions(const ClipGroup& group) {
    QList<int> out;
    for (const Marker& m : group.markers) out << m.position;
    return out;
}

QStringList tabNames(const PlayoutEngine& engine) {
    QStringList out;
    for (const ClipGroup& g : engine.rundown().groups()) out << g.name;
    return out;
}

// ---- Tabs
// -----------------------------------------------------------------------------------------

TEST_F(EngineFixture, TabsAreAddedRenamedAndCycledWithEachKeepingItsNext) {
    loadTab(stills(3), 2);
    rundown().setReorderSelection({rundown().groups()[0].clips[0].id}, 0);
    rundown().addGroup("  B ");

    rundown().renameGroup(1, " \t\n ");  // blank: refused
    rundown().renameGroup(1, "\n New \t");
    rundown().renameGroup(5, "X");

    rundown().addGroup("C");
    rundown().cycleGroup(true);
    EXPECT_EQ(rundown().currentGroupIndex(), 0) << "forward from the last wraps to the first";
    EXPECT_TRUE(rundown().reorderSelection().isEmpty()) << "switching tabs empties the selection";
    settle();
    ASSERT_TRUE(rundown().selectedClip().has_value());
    EXPECT_EQ(rundown().selectedClip()->displayName, "C2") << "the tab remembered its NEXT";
    rundown().cycleGroup(false);
    EXPECT_EQ(rundown().currentGroupIndex(), 2) << "backward from the first wraps to the last";

    // Reordering keeps the same tab current and never wraps.
    rundown().moveGroup(0, -1);
    EXPECT_EQ(tabNames(*engine), QStringList({"Tab", "New", "C"}));
    rundown().moveGroup(2, -2);
    EXPECT_EQ(tabNames(*engine), QStringList({"C", "Tab", "New"}));
    EXPECT_EQ(rundown().currentGroupIndex(), 0);
}

TEST_F(EngineFixture, RemovingATabKeepsTheTabBeingWorkedInCurrent) {
    rundown().loadGroups({tab("A", stills(1, "a")), tab("B", stills(1, "b")),
                          tab("C", stills(2, "c")), tab("D", stills(1, "d"))});
    settle();
    rundown().selectGroup(2);
    settle();
    rundown().setReorderSelection({rundown().groups()[2].clips[0].id}, 0);

    rundown().removeGroup(0);
    EXPECT_EQ(tabNames(*engine), QStringList({"B", "C", "D"}));
    EXPECT_EQ(rundown().currentGroup()->name, "C") << "removing an earlier tab does not switch";
    EXPECT_EQ(rundown().reorderSelection().size(), 1);
    EXPECT_EQ(rundown().selectedClip()->displayName, "c0");

    rundown().removeGroup(1);  // the current tab itself
    EXPECT_EQ(rundown().currentGroup()->name, "D") << "the following tab takes its place";
    EXPECT_TRUE(rundown().reorderSelection().isEmpty());
    rundown().removeGroup(1);
    EXPECT_EQ(rundown().currentGroup()->name, "B") << "or the new last tab";

    rundown().removeGroup(7);
    rundown().removeGroup(0);
    EXPECT_EQ(tabNames(*engine), QStringList({"B"}));
    EXPECT_EQ(engine->lastMessage(), "最後のタブは削除できません");
}

TEST_F(EngineFixture, LoadingPublishesTheNewTabsWithTheFirstTabCurrent) {
    rundown().loadGroups({tab("A", {}), tab("B", {}), tab("C", {})});
    rundown().selectGroup(2);
    QList<int> seen;
    QObject::connect(&rundown(), &Rundown::tabsChanged,
                     [&] { seen << rundown().currentGroupIndex(); });
    rundown().loadGroups({tab("X", stills(2), {}, 9), tab("Y", {})});
    EXPECT_EQ(seen, QList<int>({0})) << "observers never see the new tabs with the old index";
    EXPECT_EQ(rundown().groups()[0].selectedIndex, 2) << "clamped to the end of the tab";
    rundown().loadGroups({});
    EXPECT_EQ(tabNames(*engine), QStringList({"Group 1"}));
}

// Structural edits are refused in every state but off; the keyer alone blocks nothing.
TEST_F(EngineFixture, StructuralEditsAreRefusedWhileTheProgramIsNotOff) {
    const QString file = dir.filePath("new.png");
    QFile(file).open(QIODevice::WriteOnly);
    struct Case {
        const char* name;
        std::function<void()> goOnAir;
        State expected;
    };
    const std::vector<Case> cases = {
        {"fading in", [this] { engine->spacePressed(); }, State::fadingIn},
        {"on", [this] { engine->returnPressed(); }, State::on},
        {"fading out", [this] { engine->returnPressed(), engine->spacePressed(); },
         State::fadingOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rundown().loadGroups({tab("A", stills(3)), tab("B", stills(1, "b"))});
        settle();
        c.goOnAir();
        ASSERT_EQ(engine->state(), c.expected);
        const QList<ClipGroup> before = rundown().groups();
        const CanvasFormat canvas = engine->canvas();

        rundown().removeGroup(1);
        EXPECT_EQ(engine->lastMessage(), "オンエア中はタブの削除はできません");
        rundown().moveGroup(0, 1);
        EXPECT_EQ(engine->lastMessage(), "オンエア中はタブの並べ替えはできません");
        rundown().replaceClip(2, QUrl::fromLocalFile(file));
        EXPECT_EQ(engine->lastMessage(), "オンエア中は素材の差し替えはできません");
        EXPECT_EQ(rundown().groups(), before);
        engine->setCanvas({1280, 720, "x"});
        EXPECT_EQ(engine->lastMessage(), "オンエア中はフォーマットを変更できません");
        engine->setFrameRate({25, 1});
        EXPECT_EQ(engine->lastMessage(), "オンエア中はフレームレートを変更できません");
        EXPECT_EQ(engine->canvas(), canvas);
        EXPECT_EQ(engine->frameRate(), (FrameRate{60000, 1001}));
        engine->panicOff();
    }

    rundown().loadGroups({tab("A", stills(1)), tab("B", {})});
    engine->dsk().transition(1, 0);
    ASSERT_TRUE(engine->isOnAir());
    rundown().moveGroup(0, 1);
    rundown().removeGroup(0);
    EXPECT_EQ(tabNames(*engine), QStringList({"A"}));
}

// ---- Adding clips
// ---------------------------------------------------------------------------------

TEST_F(EngineFixture, AddsBeyondTheClipLimitAddWhatFitsAndRefusalsChangeNothing) {
    QList<Clip> many;
    for (int i = 0; i < 4999; ++i) {
        Clip clip = still("m");
        clip.isMissing = true;  // keeps the load from verifying thousands of files
        many << clip;
    }
    rundown().loadGroups({tab("A", many), tab("B", many)});
    rundown().addClips(stills(5, "new"), std::nullopt, rundown().groups()[1].id);
    EXPECT_EQ(rundown().groups()[1].clips.size(), 5001);
    EXPECT_EQ(rundown().groups()[1].clips.last().displayName, "new1");
    EXPECT_EQ(engine->lastMessage(), "2 件を追加しました（上限を超える 3 件は追加していません）");

    const QList<ClipGroup> full = rundown().groups();
    rundown().addClips(stills(1, "more"));
    EXPECT_EQ(engine->lastMessage(), "素材は全体で 10000 件までです");
    rundown().addClips(stills(2), std::nullopt, QUuid::createUuid());
    EXPECT_EQ(engine->lastMessage(), "取り込み先のタブが無くなったため、追加を取りやめました");
    rundown().addClips({});
    EXPECT_EQ(engine->lastMessage(), "対応する素材がありませんでした");
    EXPECT_EQ(rundown().groups(), full);

    // Moving and removing never raise the total; after a removal there is room again.
    rundown().removeClips({rundown().groups()[0].clips[0].id}, 0);
    rundown().addClips(stills(1, "more"), 0);
    EXPECT_EQ(engine->lastMessage(), "1 件を 1 番目に追加しました");
}

TEST_F(EngineFixture, AddedClipsKeepNextAndMarkersOnTheirClips) {
    struct Case {
        const char* name;
        int existing;
        int selected;
        std::optional<int> insertAt;
        QList<int> markersBefore;
        const char* nextAfter;  // display name, "" for the end of the tab
        QList<int> markersAfter;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"at the front", 4, 2, 0, {0, 2}, "C2", {2, 4}, "2 件を 1 番目に追加しました"},
        {"at a marker's gap", 4, 1, 2, {2}, "C1", {4}, "2 件を 3 番目に追加しました"},
        {"past the end appends", 3, 0, 99, {3}, "C0", {5}, "2 件を 4 番目に追加しました"},
        {"negative inserts in front", 3, 3, -4, {}, "", {}, "2 件を 1 番目に追加しました"},
        {"appended", 3, 1, std::nullopt, {1, 3}, "C1", {1, 5}, "2 件を追加しました"},
        {"into an empty tab", 0, 0, std::nullopt, {0}, "N0", {2}, "2 件を追加しました"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QList<Marker> markers;
        for (int p : c.markersBefore) markers << marker(p, "m");
        loadTab(stills(c.existing), c.selected, markers);
        rundown().addClips(stills(2, "N"), c.insertAt);
        settle();
        EXPECT_EQ(positions(*rundown().currentGroup()), c.markersAfter);
        const auto next = rundown().selectedClip();
        EXPECT_EQ(next ? next->displayName : QString(), QString::fromUtf8(c.nextAfter));
        EXPECT_EQ(engine->lastMessage(), QString::fromUtf8(c.message));
        EXPECT_EQ(engine->nextMedia().has_value(), next.has_value()) << "added clips are verified";
    }
}

// ---- Removing and moving clips
// ----------------------------------------------------------------------

TEST_F(EngineFixture, RemovedClipsTakeMarkersAndNextAlong) {
    loadTab(stills(5), 2, {marker(1, "a"), marker(3, "b")});
    const auto& clips = rundown().groups()[0].clips;
    EXPECT_EQ(rundown().removeClips({clips[0].id, clips[2].id}, 0), 2);
    EXPECT_EQ(names(), QStringList({"C1", "C3", "C4"}));
    EXPECT_EQ(positions(rundown().groups()[0]), QList<int>({0, 1}));
    EXPECT_EQ(rundown().selectedClip()->displayName, "C3") << "the clip after a removed NEXT";

    rundown().setSelectedIndex(2);
    EXPECT_EQ(rundown().removeClips({rundown().groups()[0].clips[2].id}, 0), 1);
    EXPECT_EQ(rundown().groups()[0].selectedIndex, 2) << "the end of the tab";
    EXPECT_EQ(rundown().removeClips({QUuid::createUuid()}, 0), 0);
    EXPECT_EQ(rundown().removeClips({rundown().groups()[0].clips[0].id}, 3), 0);

    rundown().removeClip(2);  // index equal to the clip count
    rundown().setReorderSelection(
        {rundown().groups()[0].clips[0].id, rundown().groups()[0].clips[1].id}, 0);
    rundown().removeClip(0);
    EXPECT_EQ(names(), QStringList({"C3"}));
    EXPECT_EQ(rundown().reorderSelection().size(), 1) << "only the removed id leaves the selection";
}

TEST_F(EngineFixture, ProgramAndNextIndexesFollowTheirClipsThroughEdits) {
    loadTab(stills(6), 2);
    engine->returnPressed();  // C2 on program, NEXT advances to C3
    ASSERT_EQ(engine->state(), State::on);
    settle();
    const QUuid program = engine->programClip()->id;

    const auto& clips = rundown().groups()[0].clips;
    rundown().removeClips({clips[0].id}, 0);
    EXPECT_EQ(engine->programIndex(), 1);
    EXPECT_EQ(rundown().selectedClip()->displayName, "C3");

    rundown().move({rundown().groups()[0].clips[1].id}, StripInsertion{5});  // program to the end
    EXPECT_EQ(names(), QStringList({"C1", "C3", "C4", "C5", "C2"}));
    EXPECT_EQ(engine->programIndex(), 4);
    EXPECT_EQ(rundown().selectedClip()->displayName, "C3");
    EXPECT_TRUE(engine->nextMedia().has_value()) << "NEXT stayed ready";

    rundown().addClips(stills(2, "N"), 0);
    EXPECT_EQ(engine->programIndex(), 6);

    rundown().removeClip(*engine->programIndex());
    EXPECT_FALSE(engine->programIndex().has_value());
    EXPECT_EQ(engine->programClip()->id, program) << "the program clip stays on air";
    EXPECT_EQ(engine->state(), State::on);
}

TEST_F(EngineFixture, MovingClipsToAnotherTabAppendsThemAfterEverything) {
    rundown().loadGroups(
        {tab("A", stills(4), {marker(2, "m")}, 1), tab("B", stills(1, "b"), {marker(1, "end")})});
    settle();
    const auto clips = rundown().groups()[0].clips;
    rundown().setReorderSelection({clips[1].id, clips[3].id}, 1);

    rundown().moveClips(rundown().reorderSelection(), 0);  // to the current tab itself
    EXPECT_EQ(rundown().groups()[0].clips.size(), 4);
    EXPECT_TRUE(engine->lastMessage().isEmpty());

    rundown().moveClips({clips[3].id, clips[1].id, QUuid::createUuid()}, 1);
    EXPECT_EQ(names(), QStringList({"C0", "C2"}));
    EXPECT_EQ(positions(rundown().groups()[0]), QList<int>({1}));
    EXPECT_EQ(rundown().selectedClip()->displayName, "C2");
    const ClipGroup& b = rundown().groups()[1];
    ASSERT_EQ(b.clips.size(), 3);
    EXPECT_EQ(b.clips[1].displayName, "C1");
    EXPECT_EQ(b.clips[2].displayName, "C3");
    EXPECT_EQ(positions(b), QList<int>({1})) << "the end marker now stands before them";
    EXPECT_TRUE(rundown().reorderSelection().isEmpty());
    EXPECT_TRUE(logText().contains("MOVE  2 clips -> B\n"));
}

// ---- Replacing a file
// -----------------------------------------------------------------------------

TEST_F(EngineFixture, ReplacingKeepsIdentityPlacementAndMotion) {
    const QString movieFile = dir.filePath("fresh.MOV");
    const QString stillFile = dir.filePath("photo.v2.jpg");
    QFile(movieFile).open(QIODevice::WriteOnly);
    QFile(stillFile).open(QIODevice::WriteOnly);
    Clip looping = movie("old", 3);
    looping.transform.scale = 2;
    looping.motion = MotionKind::zoom;
    looping.motionDuration = 1.5;
    looping.pixelWidth = 640;
    looping.unreadableReason = "bad";
    loadTab({still("first"), looping, movie("other", 3)});
    const QUuid loadedID = rundown().groups()[0].clips[1].id;

    rundown().replaceClip(1, QUrl::fromLocalFile(movieFile));
    Clip expected = looping;
    expected.id = loadedID;
    expected.url = QUrl::fromLocalFile(movieFile);
    expected.displayName = "fresh";
    expected.pixelWidth.reset();
    expected.unreadableReason.reset();
    EXPECT_EQ(rundown().groups()[0].clips[1], expected)
        << "placement and motion stay, file facts go";
    EXPECT_TRUE(logText().contains("REPLACE  old -> fresh\n"));
    EXPECT_EQ(forgottenThumbnails, QStringList({"/media/old.mov"}));

    rundown().replaceClip(2, QUrl::fromLocalFile(stillFile));
    EXPECT_EQ(rundown().groups()[0].clips[2].loopCount, 1) << "a still plays once";
    EXPECT_EQ(rundown().groups()[0].clips[2].displayName, "photo.v2");

    rundown().replaceClip(0, QUrl::fromLocalFile(dir.filePath("gone.png")));
    EXPECT_TRUE(rundown().groups()[0].clips[0].isMissing);
    EXPECT_FALSE(engine->nextMedia().has_value()) << "a missing NEXT stays empty";
}

// ---- Verification
// ---------------------------------------------------------------------------------

TEST_F(EngineFixture, VerificationSortsGoodMissingAndUnreadableFiles) {
    Clip missing = still("missing");
    missing.isMissing = true;
    stillRejections.insert("huge.png", "画像ファイルが 256 MB を超えています");
    movieFailures.insert("bad.mov", "no video");
    QList<QList<QPair<QString, QString>>> reports;
    engine->onUnreadableClips = [&reports](const auto& report) { reports << report; };
    QSignalSpy pending(&rundown(), &Rundown::pendingVerificationChanged);

    loadTab({still("good"), missing, still("huge"), movie("film"), movie("bad")});
    const auto clips = rundown().groups()[0].clips;
    EXPECT_TRUE(rundown().isVerified(clips[0]) && rundown().isVerified(clips[3]));
    EXPECT_FALSE(rundown().isVerified(clips[1]));
    EXPECT_EQ(clips[4].unreadableReason, "no video");
    ASSERT_EQ(reports.size(), 1) << "once, in strip order";
    EXPECT_EQ(reports[0],
              (QList<QPair<QString, QString>>{{"huge", "画像ファイルが 256 MB を超えています"},
                                              {"bad", "no video"}}));
    ASSERT_GE(pending.count(), 2);
    EXPECT_EQ(pending.first().first().toInt(), 4) << "the missing clip is not counted";
    EXPECT_EQ(rundown().pendingVerification(), 0);
}

TEST_F(EngineFixture, ResultsForRemovedReplacedOrMovedClipsAreDroppedOrFollowThem) {
    useDeferredBackground();
    const QString freshFile = dir.filePath("fresh.png");
    QFile(freshFile).open(QIODevice::WriteOnly);
    stillRejections.insert("r1.png", "bad header");
    stillRejections.insert("r2.png", "bad header");
    QList<QPair<QString, QString>> reported;
    engine->onUnreadableClips = [&reported](const auto& report) { reported << report; };

    ClipGroup a;
    a.clips = {still("replaced"), still("removed"), still("moved"), still("r1"), still("r2")};
    rundown().loadGroups({a, ClipGroup{}});
    ASSERT_EQ(deferred.size(), 2u) << "a verification and a metadata pass wait";
    const auto before = rundown().groups()[0].clips;

    rundown().replaceClip(0, QUrl::fromLocalFile(freshFile));  // starts passes of its own
    rundown().removeClips({before[1].id, before[4].id}, 0);
    rundown().moveClips({before[2].id}, 1);
    runDeferred();

    const ClipGroup tabA = rundown().groups()[0];
    ASSERT_EQ(tabA.clips.size(), 2);
    EXPECT_TRUE(rundown().isVerified(tabA.clips[0]))
        << "verified by its own pass with the new file";
    EXPECT_FALSE(tabA.clips[0].unreadableReason.has_value());
    EXPECT_TRUE(rundown().isVerified(rundown().groups()[1].clips[0])) << "found in its new tab";
    EXPECT_EQ(tabA.clips[1].unreadableReason, "bad header");
    EXPECT_EQ(reported, (QList<QPair<QString, QString>>{{"r1", "bad header"}}))
        << "the removed unreadable clip is not reported";
    EXPECT_EQ(rundown().pendingVerification(), 0);
}

// A pass over a clip's earlier file that ends after the pass over its new file leaves the new
// file verified: NEXT goes on showing it.
TEST_F(EngineFixture, AVerificationOfAReplacedFileEndingLateLeavesTheNewFileOnNext) {
    useDeferredBackground();
    const QString freshFile = dir.filePath("fresh.png");
    QFile(freshFile).open(QIODevice::WriteOnly);
    rundown().loadGroups({tab("Tab", {still("old")})});
    const size_t oldPasses = deferred.size();
    ASSERT_GE(oldPasses, 1u);
    rundown().replaceClip(0, QUrl::fromLocalFile(freshFile));
    std::vector<std::function<void()>> work = std::move(deferred);
    deferred.clear();
    ASSERT_GT(work.size(), oldPasses) << "the new file has passes of its own";
    for (size_t i = oldPasses; i < work.size(); ++i) work[i]();
    settle();
    ASSERT_TRUE(engine->nextMedia().has_value()) << "the new file is NEXT";
    for (size_t i = 0; i < oldPasses; ++i) work[i]();
    settle();
    EXPECT_TRUE(rundown().isVerified(rundown().groups()[0].clips[0]));
    EXPECT_TRUE(engine->nextMedia().has_value()) << "NEXT still shows the new file";
}

// ---- The id index
// ---------------------------------------------------------------------------------

// Random edits of every kind; after each one, settings addressed by id must reach exactly the
// clip with that id, which holds only while the id index follows the tabs.
TEST_F(EngineFixture, SettingsFindTheirClipAfterAnySequenceOfEdits) {
    rundown().loadGroups({tab("A", stills(12, "a"), {marker(3, "m")}), tab("B", stills(6, "b")),
                          tab("C", stills(4, "c"))});
    std::mt19937 random(7);
    auto pick = [&random](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    int counter = 0;
    for (int step = 0; step < 300; ++step) {
        const auto clips = rundown().currentGroup()->clips;
        const int n = static_cast<int>(clips.size());
        const int tabs = static_cast<int>(rundown().groups().size());
        const QUuid someID = n > 0 ? clips[pick(n)].id : QUuid();
        const std::function<void()> edits[] = {
            [&] { rundown().addClips(stills(1 + pick(3), "n"), pick(n + 2) - 1); },
            [&] { rundown().removeClips({someID}, rundown().currentGroupIndex()); },
            [&] { rundown().nudge({someID}, pick(2) ? 1 : -1); },
            [&] { rundown().move({someID}, StripInsertion{pick(n + 1)}); },
            [&] { rundown().moveClips({someID}, pick(tabs)); },
            [&] { rundown().moveGroup(pick(tabs), pick(3) - 1); },
            [&] { rundown().selectGroup(pick(tabs)); },
            [&] { tabs > 2 ? rundown().removeGroup(pick(tabs)) : rundown().addGroup("t"); },
            [&] { rundown().addClips(stills(2, "x"), 0, rundown().groups()[pick(tabs)].id); },
        };
        edits[pick(9)]();
        const auto group = rundown().currentGroup();
        if (group->clips.isEmpty()) continue;
        const Clip target = group->clips[pick(static_cast<int>(group->clips.size()))];
        const double value = (++counter % 300) / 1000.0;
        rundown().setTransform(ClipTransform::Field::offsetX, value, {target.id});
        int hits = 0;
        const auto after = rundown().currentGroup()->clips;
        for (const Clip& clip : after) {
            if (clip.id == target.id) {
                ASSERT_EQ(clip.transform.offsetX, value) << "step " << step;
                ++hits;
            }
        }
        ASSERT_EQ(hits, 1) << "step " << step;
    }
    drainMainQueue();
}

}  // namespace
}  // namespace velmar::test
