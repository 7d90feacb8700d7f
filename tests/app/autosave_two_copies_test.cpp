// Two copies of the program on one autosave folder, the other copy in a process of its own (a
// helper that drives the autosave store as the application does). This copy's timer is ticked
// by hand; the other copy is waited for only where it reports a step.
#include "document_workflow_fixture.h"

#include <QProcess>

namespace velmar::test {
namespace {

constexpr int kLimitMs = 120'000;

struct AutosaveTwoCopiesTest : DocumentWorkflowFixture {
    QString autosaveFile = autosaveFolder + "/autosave.tavrendek";
    QString originFile = autosaveFolder + "/autosave-origin.txt";
    QString lockFile = autosaveFolder + "/autosave.lock";
    QString show = path("Live.tavrendek");

    // This copy has taken the folder and autosaved its rundown once.
    void SetUp() override {
        DocumentWorkflowFixture::SetUp();
        workflow->offerRecoveryIfNeeded();
        host.url = url(show);
        loadTab(stills(1));
        tick();
        ASSERT_EQ(PlayoutProject::load(autosaveFile), workflow->currentProject());
    }
    // One tick of this copy's timer, with what it told shown.
    void tick() {
        clock.advance(31);
        autosave->waitUntilIdle();
        drainMainQueue();
    }
    static void startCopy(QProcess& copy, const QStringList& arguments) {
        copy.start(QStringLiteral(VELMAR_AUTOSAVE_COPY), arguments);
        ASSERT_TRUE(copy.waitForStarted(kLimitMs));
    }
    static QString nextLine(QProcess& copy) {
        while (!copy.canReadLine()) {
            if (!copy.waitForReadyRead(kLimitMs)) return QStringLiteral("(ended)");
        }
        return QString::fromUtf8(copy.readLine()).trimmed();
    }
};

TEST_F(AutosaveTwoCopiesTest, ADeletedLockFileGivesTheFolderToNoOtherCopy) {
    const QByteArray live = readAll(autosaveFile);
    ASSERT_TRUE(QFile::remove(lockFile));

    // Started before this copy's next tick, the other copy finds the folder in use, offers
    // nothing, and neither overwrites nor, at its clean quit, deletes this copy's work.
    QProcess other;
    startCopy(other, {"current", home + "/support", path("other-defaults.json")});
    ASSERT_TRUE(other.waitForFinished(kLimitMs));
    const QString inUse =
        QString::number(static_cast<int>(AutosaveStore::Notice::Kind::folderInUse));
    EXPECT_EQ(QString::fromUtf8(other.readAll()).split('\n', Qt::SkipEmptyParts),
              QStringList({"notice " + inUse, "owns 0", "pending 0", "recovery none", "tab Other",
                           "done"}));
    EXPECT_EQ(readAll(autosaveFile), live);
    EXPECT_EQ(readAll(originFile), show.toUtf8());

    loadTab(stills(2));
    tick();
    EXPECT_EQ(PlayoutProject::load(autosaveFile), workflow->currentProject());
    EXPECT_EQ(engine->standingWarning(), "");
}

// A copy that knows only the lock file takes a new one after it was deleted: this copy's ticks
// meet it and say so once; once it has quit (removing the autosave as it does), the next tick
// takes the folder back and writes the unchanged work afresh, and says so.
TEST_F(AutosaveTwoCopiesTest, AFolderHeldByAnotherCopyIsTakenBackAndWrittenAfresh) {
    ASSERT_TRUE(QFile::remove(lockFile));
    QProcess other;
    startCopy(other, {"file-only", autosaveFolder});
    ASSERT_EQ(nextLine(other), "held");
    tick();
    tick();
    const QString warning =
        "別に起動している DOVRINE が自動保存フォルダを使い始めたため、自動保存を止めました";
    EXPECT_EQ(engine->standingWarning(), warning);
    EXPECT_EQ(logText().count("AUTOSAVE  OFF, folder taken by another copy: " + autosaveFolder), 1);

    other.write("quit\n");
    ASSERT_EQ(nextLine(other), "done");
    ASSERT_TRUE(other.waitForFinished(kLimitMs));
    ASSERT_FALSE(QFileInfo::exists(autosaveFile));
    tick();
    EXPECT_EQ(PlayoutProject::load(autosaveFile), workflow->currentProject());
    EXPECT_EQ(readAll(originFile), show.toUtf8());
    EXPECT_EQ(engine->standingWarning(), "");
    EXPECT_EQ(host.statusLine, "自動保存を再開しました");
    EXPECT_EQ(logText().count("AUTOSAVE  ON again, folder regained: " + autosaveFolder), 1);
}

}  // namespace
}  // namespace velmar::test
