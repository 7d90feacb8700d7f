#include "document_workflow_fixture.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace velmar::test {
namespace {

struct DocumentRecoveryTest : DocumentWorkflowFixture {
    QString autosaveFile = autosaveFolder + "/autosave.tavrendek";
    QByteArray record() const { return *workflow->currentProject().encoded(); }
};

TEST_F(DocumentRecoveryTest, AKilledRunIsOfferedAgainAndRestoredDirtyUnderItsOrigin) {
    // Every queue thread of the workflow and the store has started and is idle before the fork:
    // a thread still starting may hold the allocator's lock, which the child would then never
    // get (seen under the address sanitizer).
    workflow->waitForBackgroundWork();
    autosave->waitUntilIdle();
    drainMainQueue();
    int status = 0;
    // A queue thread that has just finished its work may still be freeing it when the process
    // forks, and the child then waits for ever on the allocator's lock it held (seen under the
    // address sanitizer on a loaded machine): such a child is ended by its alarm and the run
    // made again. The child's own work never waits.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const pid_t child = ::fork();
        if (child == 0) {
            // A run that edits its rundown, autosaves on the timer's tick and is killed. The
            // parent's queue threads do not exist here: its objects are left, never destroyed.
            ::alarm(30);
            (void)workflow.release();
            (void)autosave.release();
            makeWorkflow();
            host.url = url(path("Show.tavrendek"));
            autosave->start();
            ClipGroup group{.name = "Crashed", .clips = stills(3)};
            group.clips[1].loopCount = 0;
            rundown().loadGroups({group});
            writeFile(path("expected.json"), record());
            clock.advance(31);
            autosave->waitUntilIdle();
            ::raise(SIGKILL);
        }
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (!(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)) break;
    }
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

    makeWorkflow();  // the next launch
    dialogs.alertAnswers = {0};
    workflow->offerRecoveryIfNeeded();
    ASSERT_EQ(dialogs.alerts.size(), 1);
    EXPECT_EQ(dialogs.alerts[0].message, "前回の作業が残っています");
    EXPECT_TRUE(dialogs.alerts[0].informativeText.contains(
        QRegularExpression("^保存されずに終了した内容が見つかりました。\n最後の控え: "
                           "\\d+/\\d+/\\d+ \\d+:\\d+\n元のファイル: Show.tavrendek$")))
        << dialogs.alerts[0].informativeText.toStdString();
    EXPECT_EQ(record(), readAll(path("expected.json")));
    EXPECT_TRUE(workflow->hasUnsavedProjectChanges());
    EXPECT_EQ(workflow->projectDisplayName(), "Show");
    EXPECT_EQ(host.statusLine, "前回の作業を復帰しました。別名で保存し直してください。");
    EXPECT_TRUE(autosave->isRunning());
}

TEST_F(DocumentRecoveryTest, DiscardDeletesTheAutosaveBeforeAutosavingStarts) {
    workflow->offerRecoveryIfNeeded();  // nothing pending: no box
    EXPECT_TRUE(dialogs.alerts.isEmpty());
    EXPECT_TRUE(autosave->isRunning());
    autosave->write(workflow->currentProject(), std::nullopt);
    autosave->waitUntilIdle();
    makeWorkflow();
    dialogs.alertAnswers = {1};  // 破棄する
    workflow->offerRecoveryIfNeeded();
    EXPECT_FALSE(dialogs.alerts.value(0).informativeText.contains("元のファイル"));
    EXPECT_FALSE(QFileInfo::exists(autosaveFile));
    EXPECT_TRUE(autosave->isRunning());
}

// The autosave timer stops with the workflow it was started for, so that it never writes a
// later workflow's project (the next start in one process) before that one's question.
TEST_F(DocumentRecoveryTest, TheTimerStopsWithItsWorkflow) {
    workflow->offerRecoveryIfNeeded();
    ASSERT_TRUE(autosave->isRunning());
    workflow.reset();
    workflow = std::make_unique<DocumentWorkflow>(host, environment());
    clock.advance(31);
    autosave->waitUntilIdle();
    EXPECT_FALSE(QFileInfo::exists(autosaveFile));
}

// A second copy running on the same autosave folder (here a second store holding it) offers the
// first copy's work to nobody, never writes or deletes it, and says so in the status line.
TEST_F(DocumentRecoveryTest, ACopyThatDoesNotOwnTheAutosaveFolderLeavesItAlone) {
    AutosaveStore running(
        AutosaveStore::Environment{home + "/support", &defaults, &clock, nullptr, false});
    PlayoutProject live = workflow->currentProject();
    live.fadeDuration = 2.5;
    running.write(live, path("Live.tavrendek"));
    running.waitUntilIdle();
    const QByteArray before = readAll(autosaveFile);
    ASSERT_FALSE(before.isEmpty());

    dialogs.alertAnswers = {1};  // 破棄する, were it asked
    workflow->offerRecoveryIfNeeded();
    EXPECT_TRUE(dialogs.alerts.isEmpty());
    engine->setLastMessage("SDI started");  // a later status leaves the warning in view
    EXPECT_EQ(engine->standingWarning(),
              "自動保存フォルダは別に起動している DOVRINE が使用中のため、自動保存しません");
    loadTab(stills(1));
    clock.advance(31);  // a tick of this copy's timer
    autosave->waitUntilIdle();
    autosave->stop();
    autosave->clear();  // the quit of this copy
    EXPECT_EQ(readAll(autosaveFile), before);
    EXPECT_EQ(readAll(autosaveFolder + "/autosave-origin.txt"), path("Live.tavrendek").toUtf8());
    EXPECT_EQ(running.loadRecovery()->project, live);
}

// The lock's own failure is not called a busy folder: the lock's path and the system's reason
// are shown and logged. A write that fails is told once however many ticks fail, naming the
// file, and its recovery once; both reach the log.
TEST_F(DocumentRecoveryTest, AutosaveTroubleIsToldOnceAndStaysInView) {
    ASSERT_TRUE(QDir().mkpath(autosaveFolder + "/autosave.lock/x"));
    workflow->offerRecoveryIfNeeded();
    const QString isFolder = QString::fromLocal8Bit(std::strerror(EISDIR));
    const QString lockWarning = "自動保存フォルダのロック " + autosaveFolder +
                                "/autosave.lock を取れないため、自動保存しません: " + isFolder;
    engine->setLastMessage("SDI started");
    EXPECT_EQ(engine->standingWarning(), lockWarning);
    EXPECT_TRUE(
        logText().contains("AUTOSAVE  OFF, cannot lock " + autosaveFolder + "/autosave.lock: "));

    ASSERT_TRUE(QDir(autosaveFolder + "/autosave.lock").removeRecursively());
    makeWorkflow();
    workflow->offerRecoveryIfNeeded();
    ASSERT_TRUE(QDir().mkpath(autosaveFile + "/in-the-way"));
    loadTab(stills(1));
    for (int tick = 0; tick < 3; ++tick) {
        clock.advance(31);
        autosave->waitUntilIdle();
        drainMainQueue();
    }
    EXPECT_EQ(engine->standingWarning(), autosaveFile + " に自動保存できません: " + isFolder);
    EXPECT_EQ(logText().count("AUTOSAVE  FAILED in " + autosaveFolder), 1);
    ASSERT_TRUE(QDir(autosaveFile).removeRecursively());
    clock.advance(31);
    autosave->waitUntilIdle();
    drainMainQueue();
    EXPECT_EQ(engine->standingWarning(), "");
    EXPECT_EQ(host.statusLine, "自動保存を再開しました");
    EXPECT_EQ(logText().count("AUTOSAVE  OK again"), 1);
    EXPECT_TRUE(QFileInfo(autosaveFile).isFile());
}

// What the operator reads of a link or another user's file at an autosave name, in both
// languages: the status line names the file and what is in its place; Settings' refusals of a
// folder holding one, or one where others can remove files, say so.
TEST_F(DocumentRecoveryTest, AFileNotTheOperatorsIsToldWithItsPathAndWhatIsInItsPlace) {
    const QString chosen = path("chosen");
    ASSERT_TRUE(QDir().mkpath(autosaveFolder) && QDir().mkpath(chosen));
    ASSERT_TRUE(QFile::link(path("elsewhere"), autosaveFile));
    ASSERT_TRUE(QFile::link(path("elsewhere"), chosen + "/autosave-origin.txt"));
    const QString open = path("open");
    ASSERT_TRUE(QDir().mkpath(open) && ::chmod(QFile::encodeName(open).constData(), 0777) == 0);
    const auto refusal = [&](const QString& folder) {
        try {
            autosave->setDirectory(folder);
        } catch (const AutosaveLocationError& error) {
            return error.errorDescription();
        }
        return QString();
    };
    const struct {
        AppLanguage language;
        QString warning;
        QStringList foreignEntry;
        QString othersCanChange;
    } rows[] = {
        {AppLanguage::ja,
         "自動保存は " + autosaveFile +
             " を使わず、削除もしません: シンボリックリンクが置かれています",
         {"シンボリックリンク", "他のユーザーのファイル"},
         "他のユーザーがファイルの名前を変えたり削除したりできます"},
        {AppLanguage::en,
         "Autosave neither uses nor deletes " + autosaveFile + ": A symbolic link is in its place",
         {"symbolic link", "another user's file"},
         "Other users can rename or remove files"},
    };
    for (const auto& row : rows) {
        LanguageSettings::shared().setLanguage(row.language);
        makeWorkflow();
        workflow->offerRecoveryIfNeeded();
        EXPECT_EQ(engine->standingWarning(), row.warning);
        const QString foreignEntry = refusal(chosen);
        for (const QString& named : row.foreignEntry)
            EXPECT_TRUE(foreignEntry.contains(named)) << foreignEntry.toStdString();
        const QString othersCanChange = refusal(open);
        EXPECT_TRUE(othersCanChange.contains(row.othersCanChange)) << othersCanChange.toStdString();
    }
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    EXPECT_TRUE(QFileInfo(autosaveFile).isSymLink());
    EXPECT_TRUE(logText().contains("AUTOSAVE  neither used nor deleted: " + autosaveFile));
}

TEST_F(DocumentRecoveryTest, AnUnreadableAutosaveIsSetAsideBeforeAutosavingStarts) {
    writeFile(autosaveFile, "DOVRINEP\x01 cut short");
    workflow->offerRecoveryIfNeeded();
    EXPECT_TRUE(dialogs.alerts.isEmpty());
    const QString kept = "autosave-unreadable-" +
                         QDateTime::fromSecsSinceEpoch(1'767'225'600).toString("yyyyMMdd-HHmmss") +
                         ".tavrendek";
    EXPECT_EQ(host.statusLine, "前回の自動保存を読み込めないため " + kept + " として残しました");
    loadTab(stills(1));
    clock.advance(31);  // the first tick writes a new autosave beside it
    autosave->waitUntilIdle();
    EXPECT_TRUE(QFileInfo::exists(autosaveFile));
    EXPECT_EQ(readAll(autosaveFolder + "/" + kept), "DOVRINEP\x01 cut short");
}

TEST_F(DocumentRecoveryTest, UnreadableClipsAreListedTwelveAtMostOnTheControlWindow) {
    const auto items = [](int n) {
        QList<QPair<QString, QString>> list;
        for (int i = 1; i <= n; ++i) list << qMakePair(QString("c%1.mov").arg(i), "broken");
        return list;
    };
    workflow->presentUnreadableAlert(items(2));  // no control window: dropped
    EXPECT_TRUE(dialogs.alerts.isEmpty());
    QWidget window;
    host.window = &window;
    const QString tail =
        "\n\nこれらはリストに残りますが、送出はできません。対応する形式に書き出し直してください。";
    const struct {
        int count;
        QString last;
    } rows[] = {{1, "・c1.mov  —  broken"}, {12, "・c12.mov  —  broken"}, {13, "ほか 1 件"}};
    for (const auto& row : rows) {
        dialogs.alerts.clear();
        workflow->presentUnreadableAlert(items(row.count));
        const auto alert = dialogs.alerts.value(0);
        EXPECT_EQ(alert.message, QString("%1 件の素材を読み込めません").arg(row.count));
        ASSERT_TRUE(alert.informativeText.endsWith(tail));
        const QStringList lines = alert.informativeText.chopped(tail.size()).split('\n');
        EXPECT_EQ(lines.size(), std::min(row.count, 13));
        EXPECT_EQ(lines.last(), row.last);
    }
}

// In English one clip is one, and a still's reason (kept as its key) is shown in English.
TEST_F(DocumentRecoveryTest, UnreadableAlertInEnglishCountsOneAndTranslatesTheReason) {
    QWidget window;
    host.window = &window;
    LanguageSettings::shared().setLanguage(AppLanguage::en);
    workflow->presentUnreadableAlert({{"c1.png", "画像のヘッダを読み取れません"}});
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    const auto alert = dialogs.alerts.value(0);
    EXPECT_EQ(alert.message, "1 clip cannot be read");
    EXPECT_TRUE(alert.informativeText.startsWith("・c1.png  —  The image header cannot be read\n"))
        << alert.informativeText.toStdString();
}

}  // namespace
}  // namespace velmar::test
