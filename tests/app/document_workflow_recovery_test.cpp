#include "document_workflow_fixture.h"

#include <QJsonDocument>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace velmar::test {
namespace {

struct DocumentRecoveryTest : DocumentWorkflowFixture {
    QString autosaveFile() const { return autosaveFolder + "/autosave.tavrendek"; }
    // The record the workflow holds now, as the autosave writes it.
    QByteArray record() const { return *workflow->currentProject().encoded(); }
};

TEST_F(DocumentRecoveryTest, AKilledRunIsOfferedAgainAndRestoredDirtyUnderItsOrigin) {
    const QString origin = path("Show.tavrendek");
    const QString expected = path("expected.json");
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(30);
        // A run that edits its rundown, autosaves on the timer's tick and is killed. The
        // parent's queue threads do not exist here: its objects are left, never destroyed.
        (void)workflow.release();
        (void)autosave.release();
        makeWorkflow();
        host.url = url(origin);
        autosave->start();
        ClipGroup group;
        group.name = "Crashed";
        group.clips = stills(3);
        group.clips[1].loopCount = 0;
        rundown().loadGroups({group});
        QFile out(expected);
        if (!out.open(QIODevice::WriteOnly) || out.write(record()) <= 0) ::_exit(2);
        out.close();
        clock.advance(31);
        autosave->waitUntilIdle();
        ::raise(SIGKILL);
        ::_exit(3);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

    makeWorkflow();  // the next launch
    dialogs.alertAnswers = {0};
    workflow->offerRecoveryIfNeeded();
    ASSERT_EQ(dialogs.alerts.size(), 1);
    const auto& alert = dialogs.alerts[0];
    EXPECT_EQ(alert.message, "前回の作業が残っています");
    EXPECT_TRUE(alert.informativeText.startsWith(
        "保存されずに終了した内容が見つかりました。\n最後の控え: "));
    EXPECT_TRUE(alert.informativeText.endsWith("\n元のファイル: Show.tavrendek"));
    EXPECT_EQ(alert.buttons[0].title, "復帰する");
    EXPECT_EQ(record(), readAll(expected));
    EXPECT_TRUE(workflow->hasUnsavedProjectChanges());
    EXPECT_EQ(workflow->projectDisplayName(), "Show");
    EXPECT_EQ(host.statusLine, "前回の作業を復帰しました。別名で保存し直してください。");
    EXPECT_TRUE(autosave->isRunning());
}

TEST_F(DocumentRecoveryTest, DiscardingOrHavingNoAutosaveStartsAutosavingAfterTheAnswer) {
    EXPECT_TRUE(dialogs.alerts.isEmpty());
    workflow->offerRecoveryIfNeeded();  // nothing pending: no box
    EXPECT_TRUE(dialogs.alerts.isEmpty());
    EXPECT_TRUE(autosave->isRunning());

    loadTab(stills(1));
    autosave->write(workflow->currentProject(), std::nullopt);
    autosave->waitUntilIdle();
    autosave->stop();
    makeWorkflow();
    dialogs.alertAnswers = {1};  // 破棄する
    workflow->offerRecoveryIfNeeded();
    ASSERT_EQ(dialogs.alerts.size(), 1);
    EXPECT_FALSE(dialogs.alerts[0].informativeText.contains("元のファイル"));
    EXPECT_FALSE(QFileInfo::exists(autosaveFile()));
    EXPECT_TRUE(autosave->isRunning());
    EXPECT_EQ(rundown().groups().size(), 1);
}

TEST_F(DocumentRecoveryTest, AnUnreadableAutosaveIsSetAsideBeforeAutosavingStarts) {
    writeFile(autosaveFile(), "DOVRINEP\x01 cut short");
    clock.setWallTime(1'767'312'000.0);  // 2026-01-02 00:00 UTC
    workflow->offerRecoveryIfNeeded();
    EXPECT_TRUE(dialogs.alerts.isEmpty());
    const QStringList kept =
        QDir(autosaveFolder).entryList({"autosave-unreadable-*.tavrendek"}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0],
              "autosave-unreadable-" +
                  QDateTime::fromSecsSinceEpoch(1'767'312'000).toString("yyyyMMdd-HHmmss") +
                  ".tavrendek");
    EXPECT_EQ(host.statusLine, "前回の自動保存を読み込めないため " + kept[0] + " として残しました");
    // The first tick writes a new autosave; the unreadable one stays as it was.
    loadTab(stills(1));
    clock.advance(31);
    autosave->waitUntilIdle();
    EXPECT_TRUE(QFileInfo::exists(autosaveFile()));
    EXPECT_EQ(readAll(autosaveFolder + "/" + kept[0]), "DOVRINEP\x01 cut short");
}

TEST_F(DocumentRecoveryTest, UnreadableClipsAreListedTwelveAtMostOnTheControlWindow) {
    const auto items = [](int n) {
        QList<QPair<QString, QString>> list;
        for (int i = 1; i <= n; ++i) list << qMakePair(QString("c%1.mov").arg(i), "broken");
        return list;
    };
    workflow->presentUnreadableAlert(items(2));  // no control window: dropped
    EXPECT_EQ(dialogs.windowModalCount, 0);
    QWidget window;
    host.window = &window;
    const QString tail =
        "\n\nこれらはリストに残りますが、送出はできません。対応する形式に書き出し直してください。";
    const struct {
        int count;
        int lines;
        const char* summary;
    } rows[] = {{1, 1, nullptr}, {12, 12, nullptr}, {13, 12, "ほか 1 件"}, {30, 12, "ほか 18 件"}};
    for (const auto& row : rows) {
        dialogs.alerts.clear();
        workflow->presentUnreadableAlert(items(row.count));
        ASSERT_EQ(dialogs.alerts.size(), 1);
        const auto& alert = dialogs.alerts[0];
        EXPECT_EQ(alert.message, QString("%1 件の素材を読み込めません").arg(row.count));
        ASSERT_TRUE(alert.informativeText.endsWith(tail));
        QStringList lines = alert.informativeText.chopped(tail.size()).split('\n');
        EXPECT_EQ(lines.first(), "・c1.mov  —  broken");
        if (row.summary) {
            EXPECT_EQ(lines.takeLast(), row.summary);
        }
        EXPECT_EQ(lines.size(), row.lines) << row.count;
    }
    workflow->presentUnreadableAlert({});
    EXPECT_EQ(dialogs.windowModalCount, 4);
}

}  // namespace
}  // namespace velmar::test
