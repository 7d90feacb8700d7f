#include "document_workflow_fixture.h"

#include <cmath>
#include <limits>

namespace velmar::test {
namespace {

struct DocumentOpenTest : DocumentWorkflowFixture {
    // A project file of one tab whose clips are files of the home folder; `present` of them
    // exist.
    QString projectFile(const QString& name, int clips, int present,
                        std::function<void(PlayoutProject&)> edit = {}) {
        PlayoutProject project;
        PlayoutProject::GroupRecord group;
        group.name = "Opened";
        for (int i = 0; i < clips; ++i) {
            const QString media = path(QString("m%1.png").arg(i));
            if (i < present) writeFile(media, "x");
            group.clips << PlayoutProject::ClipRecord{.path = media,
                                                      .displayName = QString("m%1").arg(i)};
        }
        group.markers = QList<PlayoutProject::MarkerRecord>{};
        project.groups = {group};
        if (edit) edit(project);
        const QString file = path(name);
        writeFile(file, project.sealedFileData());
        return file;
    }
    QStringList tabNames() const {
        QStringList names;
        for (const auto& g : rundown().groups()) names << g.name;
        return names;
    }
    // Puts the first clip of a loaded tab on air.
    void goOnAir() {
        loadTab(stills(2));
        engine->returnPressed();
        ASSERT_TRUE(engine->isOnAir());
    }
};

TEST(DocumentFadeRounding, StoredDurationsBecomeWhatTheEngineGets) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double stored;
        double expected;
    } rows[] = {{0.05, 0.1}, {0.1, 0.1}, {-3, 0.1},  {0.125, 0.13}, {0.375, 0.38},
                {0.3, 0.3},  {7.0, 5.0}, {5.0, 5.0}, {nan, 0.7},    {inf, 0.7}};
    for (const auto& row : rows) {
        EXPECT_DOUBLE_EQ(DocumentWorkflow::appliedFadeDuration(row.stored, 0.7), row.expected)
            << row.stored;
    }
}

TEST_F(DocumentOpenTest, OpeningAppliesTheFileAndNamesTheMissingCountOrTheFile) {
    const QString file = projectFile("Missing.tavrendek", 4, 1, [](PlayoutProject& p) {
        p.fadeDuration = 0.125;
        p.canvas = {1280, 720, "HD 720"};
        p.frameRate = {25, 1};
        p.autoAdvance = false;
    });
    workflow->openProject(url(file));
    EXPECT_TRUE(host.loading);
    finishBackground();
    EXPECT_FALSE(host.loading);
    EXPECT_EQ(host.statusLine, "読み込みました（3 件のファイルが見つかりません）");
    EXPECT_EQ(tabNames(), QStringList{"Opened"});
    EXPECT_DOUBLE_EQ(engine->fadeDuration(), 0.13);
    EXPECT_EQ(engine->canvas().width, 1280);
    EXPECT_EQ(engine->frameRate(), (FrameRate{25, 1}));
    EXPECT_FALSE(engine->autoAdvance());
    EXPECT_EQ(host.url, url(file));
    EXPECT_FALSE(workflow->hasUnsavedProjectChanges());

    const QString found = projectFile("Found.tavrendek", 2, 2);
    workflow->openProject(url(found));
    finishBackground();
    EXPECT_EQ(host.statusLine, "読み込みました: Found.tavrendek");
}

TEST_F(DocumentOpenTest, BadFilesLeaveEverythingAsItWas) {
    loadTab(stills(2));
    host.saved = workflow->projectSnapshot();
    host.url = url(path("Current.tavrendek"));
    const QString good = projectFile("Good.tavrendek", 1, 1);
    QByteArray damaged = readAll(good);
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 1);
    writeFile(path("Damaged.tavrendek"), damaged);
    writeFile(path("Short.tavrendek"), readAll(good).left(20));
    writeFile(path("Foreign.tavrendek"), "<html>not a project</html>");
    const struct {
        const char* name;
        const char* message;
    } rows[] = {
        {"Damaged.tavrendek",
         "読み込みに失敗: プロジェクトファイルが壊れているか、書き換えられています"},
        {"Short.tavrendek",
         "読み込みに失敗: プロジェクトファイルが壊れているか、書き換えられています"},
        {"Foreign.tavrendek", "読み込みに失敗: DOVRINE のプロジェクトファイルではありません"},
        {"Absent.tavrendek", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        workflow->openProject(url(path(row.name)));
        finishBackground();
        if (row.message) {
            EXPECT_EQ(host.statusLine, row.message);
        }
        EXPECT_TRUE(host.statusLine.startsWith("読み込みに失敗: "));
        EXPECT_EQ(tabNames(), QStringList{"Tab"});
        EXPECT_EQ(host.url, url(path("Current.tavrendek")));
        EXPECT_FALSE(host.loading);
    }
}

TEST_F(DocumentOpenTest, QuestionsBeforeOpeningAndATakeDuringTheLoad) {
    const QString file = projectFile("Next.tavrendek", 1, 1);
    goOnAir();
    dialogs.alertAnswers = {1};  // キャンセル
    workflow->openProject(url(file));
    ASSERT_EQ(dialogs.alerts.size(), 1);
    EXPECT_EQ(dialogs.alerts[0].message, "送出中です");
    EXPECT_TRUE(engine->isOnAir());
    EXPECT_FALSE(host.loading);

    // Unsaved work, no file yet: "保存" asks for a location; cancelling it stops the open.
    dialogs.alertAnswers = {0, 0};
    workflow->openProject(url(file));
    ASSERT_EQ(dialogs.alerts.size(), 3);
    EXPECT_EQ(dialogs.alerts[2].message, "変更を保存しますか？");
    EXPECT_EQ(dialogs.alerts[2].buttons.size(), 3);
    EXPECT_EQ(host.panelFlags, (QList<bool>{true, false}));
    EXPECT_FALSE(host.loading);
    EXPECT_TRUE(engine->isOnAir());

    // "黒にして開く", "保存しない": off air before anything is read.
    settle();  // NEXT ready for the take below
    dialogs.alertAnswers = {0, 1};
    workflow->openProject(url(file));
    EXPECT_FALSE(engine->isOnAir());
    EXPECT_TRUE(host.loading);
    workflow->openProject(url(path("Other.tavrendek")));  // a load runs: nothing
    EXPECT_EQ(dialogs.alerts.size(), 5);
    // A take while the file loads: its result is dropped.
    engine->returnPressed();
    ASSERT_TRUE(engine->isOnAir());
    finishBackground();
    EXPECT_EQ(host.statusLine, "送出が始まったためプロジェクトの読み込みを中止しました");
    EXPECT_EQ(tabNames(), QStringList{"Tab"});
    EXPECT_TRUE(host.url.isEmpty());
}

TEST_F(DocumentOpenTest, SDIOutputRestartsOnlyWhenTheProjectChangesItsMode) {
    host.deckLinkRunning = true;
    host.mode = ZRDeckLinkMode(1, 1920, 1080, 60000, 1001, "1080p59.94");
    const struct {
        CanvasFormat canvas;
        FrameRate rate;
        bool startFails;
        QStringList calls;
        const char* status;
    } rows[] = {
        {{1920, 1080, "HD"}, {60000, 1001}, false, {}, "before"},
        {{3840, 2160, "UHD"},
         {60000, 1001},
         false,
         {"stop", "start"},
         "プロジェクトの設定に合わせて SDI 出力を切り替えました"},
        {{1920, 1080, "HD"}, {30000, 1001}, true, {"stop", "start"}, "start failed"},
    };
    for (const auto& row : rows) {
        host.deckLinkRunning = true;
        host.deckLinkCalls.clear();
        host.startFails = row.startFails;
        host.statusLine = "before";
        PlayoutProject project;
        project.canvas = row.canvas;
        project.frameRate = row.rate;
        workflow->apply(project, url(path("P.tavrendek")), std::nullopt);
        EXPECT_EQ(host.deckLinkCalls, row.calls) << row.canvas.width;
        EXPECT_EQ(host.statusLine, row.status);
    }
    // Through a real open the load message comes last.
    host.deckLinkRunning = true;
    host.startFails = false;
    const QString file = projectFile("UHD.tavrendek", 1, 1, [](PlayoutProject& p) {
        p.canvas = {3840, 2160, ""};
    });
    workflow->openProject(url(file));
    finishBackground();
    EXPECT_EQ(host.statusLine, "読み込みました: UHD.tavrendek");
}

TEST_F(DocumentOpenTest, FinderRequestsWaitForLaunchAndTheLastOneWins) {
    const QString first = projectFile("First.tavrendek", 1, 1);
    const QString second = projectFile("Second.tavrendek", 1, 1);
    workflow->openProjectFromFinder(url(first));
    workflow->openProjectFromFinder(url(second));
    EXPECT_FALSE(host.loading);
    workflow->markReadyForExternalOpen();
    finishBackground();
    EXPECT_EQ(host.url, url(second));
    workflow->openProjectFromFinder(url(first));  // after launch: at once
    finishBackground();
    EXPECT_EQ(host.url, url(first));
}

}  // namespace
}  // namespace velmar::test
