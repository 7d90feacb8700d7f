#include "document_workflow_fixture.h"

#include <limits>

namespace velmar::test {
namespace {

struct DocumentOpenTest : DocumentWorkflowFixture {
    // A project file of one tab of `clips` files, the first `present` of which exist.
    QString projectFile(const QString& name, int clips, int present,
                        std::function<void(PlayoutProject&)> edit = {}) {
        PlayoutProject project;
        project.groups = {{.name = "Opened", .markers = QList<PlayoutProject::MarkerRecord>{}}};
        for (int i = 0; i < clips; ++i) {
            const QString media = path(QString("m%1.png").arg(i));
            if (i < present) writeFile(media, "x");
            project.groups[0].clips << PlayoutProject::ClipRecord{.path = media};
        }
        if (edit) edit(project);
        writeFile(path(name), project.sealedFileData());
        return path(name);
    }
    QString firstTab() const { return rundown().groups().value(0).name; }
};

TEST(DocumentFadeRounding, StoredDurationsBecomeWhatTheEngineGets) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double rows[][2] = {{0.05, 0.1}, {0.1, 0.1}, {-3, 0.1},  {0.125, 0.13}, {0.375, 0.38},
                              {0.3, 0.3},  {7.0, 5.0}, {5.0, 5.0}, {nan, 0.7}};
    for (const auto& row : rows)
        EXPECT_DOUBLE_EQ(DocumentWorkflow::appliedFadeDuration(row[0], 0.7), row[1]) << row[0];
}

TEST_F(DocumentOpenTest, OpeningAppliesTheFileAndNamesTheMissingCountOrTheFile) {
    const QString file = projectFile("Missing.tavrendek", 4, 1, [](PlayoutProject& p) {
        p.fadeDuration = 0.125;
        p.frameRate = {25, 1};
    });
    workflow->openProject(url(file));
    EXPECT_TRUE(host.loading);
    finishBackground();
    EXPECT_FALSE(host.loading);
    EXPECT_EQ(host.statusLine, "読み込みました（3 件のファイルが見つかりません）");
    EXPECT_EQ(firstTab(), "Opened");
    EXPECT_DOUBLE_EQ(engine->fadeDuration(), 0.13);
    EXPECT_EQ(engine->frameRate(), (FrameRate{25, 1}));
    EXPECT_EQ(host.url, url(file));
    EXPECT_FALSE(workflow->hasUnsavedProjectChanges());
    workflow->openProject(url(projectFile("Found.tavrendek", 2, 2)));
    finishBackground();
    EXPECT_EQ(host.statusLine, "読み込みました: Found.tavrendek");
}

TEST_F(DocumentOpenTest, BadFilesLeaveEverythingAsItWas) {
    loadTab(stills(2));
    host.saved = workflow->projectSnapshot();
    host.url = url(path("Current.tavrendek"));
    QByteArray sealed = readAll(projectFile("Good.tavrendek", 1, 1));
    sealed[50] = static_cast<char>(sealed[50] ^ 1);
    writeFile(path("Damaged.tavrendek"), sealed);
    writeFile(path("Foreign.tavrendek"), "<html>not a project</html>");
    const QString rows[][2] = {
        {"Damaged", "読み込みに失敗: プロジェクトファイルが壊れているか、書き換えられています"},
        {"Foreign", "読み込みに失敗: DOVRINE のプロジェクトファイルではありません"},
        {"Absent", "読み込みに失敗: "}};
    for (const auto& row : rows) {
        workflow->openProject(url(path(row[0] + ".tavrendek")));
        finishBackground();
        EXPECT_TRUE(host.statusLine.startsWith(row[1])) << host.statusLine.toStdString();
        EXPECT_EQ(firstTab(), "Tab");
        EXPECT_EQ(host.url, url(path("Current.tavrendek")));
    }
}

TEST_F(DocumentOpenTest, QuestionsBeforeOpeningAndATakeDuringTheLoad) {
    const QString file = projectFile("Next.tavrendek", 1, 1);
    loadTab(stills(3));
    engine->returnPressed();
    settle();                    // on air, NEXT ready for another take
    dialogs.alertAnswers = {1};  // キャンセル
    workflow->openProject(url(file));
    EXPECT_EQ(dialogs.alerts.value(0).message, "送出中です");
    // Return, Space and Escape all answer "キャンセル": the cut keys never take the show off.
    EXPECT_EQ(dialogs.alerts.value(0).defaultIndex(), 1);
    EXPECT_EQ(dialogs.alerts.value(0).cancelIndex(), 1);
    EXPECT_TRUE(engine->isOnAir());
    // Unsaved work and no file yet: "保存" asks for a location; cancelling it stops the open.
    dialogs.alertAnswers = {0, 0};
    workflow->openProject(url(file));
    EXPECT_EQ(dialogs.alerts.value(2).message, "変更を保存しますか？");
    EXPECT_EQ(host.panelFlags, (QList<bool>{true, false}));
    EXPECT_TRUE(engine->isOnAir());
    EXPECT_FALSE(host.loading);
    // "黒にして開く", "保存しない": off air before anything is read.
    dialogs.alertAnswers = {0, 1};
    workflow->openProject(url(file));
    EXPECT_FALSE(engine->isOnAir());
    ASSERT_TRUE(host.loading);
    workflow->openProject(url(file));  // a load runs: nothing asked
    EXPECT_EQ(dialogs.alerts.size(), 5);
    engine->returnPressed();  // a take while the file loads drops its result
    ASSERT_TRUE(engine->isOnAir());
    finishBackground();
    EXPECT_EQ(host.statusLine, "送出が始まったためプロジェクトの読み込みを中止しました");
    EXPECT_EQ(firstTab(), "Tab");
    EXPECT_TRUE(host.url.isEmpty());
}

TEST_F(DocumentOpenTest, SDIOutputRestartsOnlyWhenTheProjectChangesItsMode) {
    host.mode = ZRDeckLinkMode(1, 1920, 1080, 120000, 2002, "1080p59.94");  // the same rate
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
    host.deckLinkRunning = true;  // through an open, the load message comes last
    workflow->openProject(url(projectFile("UHD.tavrendek", 1, 1, [](PlayoutProject& p) {
        p.canvas = {3840, 2160, ""};
    })));
    finishBackground();
    EXPECT_EQ(host.statusLine, "読み込みました: UHD.tavrendek");
}

TEST_F(DocumentOpenTest, FinderRequestsWaitForLaunchAndTheLastOneWins) {
    const QString first = projectFile("First.tavrendek", 1, 1);
    workflow->openProjectFromFinder(url(first));
    workflow->openProjectFromFinder(url(projectFile("Second.tavrendek", 1, 1)));
    EXPECT_FALSE(host.loading);
    workflow->markReadyForExternalOpen();
    finishBackground();
    EXPECT_EQ(host.url, url(path("Second.tavrendek")));
    workflow->openProjectFromFinder(url(first));  // after launch: at once
    finishBackground();
    EXPECT_EQ(host.url, url(first));
}

}  // namespace
}  // namespace velmar::test
