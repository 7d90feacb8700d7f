#include "document_workflow_fixture.h"

#include <QProcess>
#include <QRegularExpression>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace velmar::test {
namespace {

using DocumentSaveTest = DocumentWorkflowFixture;

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
}

// Opened without our code: the key made again from its recipe, AES-GCM by Python's
// cryptography package; the text must be pretty-printed with sorted keys.
const char* kDecrypt = R"py(
import hashlib, json, sys
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
m = b''
for r in range(7):
    for p in [b'velmar', b'project', b'container', b'aes-256-gcm', b'seal']:
        m += p + bytes([(r * 31 + len(m) + len(p)) & 0xff])
d = open(sys.argv[1], 'rb').read()
plain = AESGCM(hashlib.sha256(m).digest()).decrypt(d[9:21], d[21:], d[:9])
def pairs(kv):
    assert [k for k, _ in kv] == sorted(k for k, _ in kv)
    return dict(kv)
doc = json.loads(plain, object_pairs_hook=pairs)
assert d[:9] == b'DOVRINEP\x01' and b'\n    "formatVersion": 10' in plain
c = doc['groups'][0]['clips']
print(doc['formatVersion'], len(c), 'transform' in c[0], doc['groups'][0]['markers'])
)py";

TEST_F(DocumentSaveTest, SaveWritesTheSealedRecordAndHandsItToTheAutosave) {
    loadTab(stills(2));
    const QString file = path("Show.tavrendek");
    ASSERT_TRUE(workflow->writeProject(url(file)));
    EXPECT_TRUE(backupNames().isEmpty());  // nothing was there to copy
    EXPECT_EQ(host.statusLine, "保存しました: Show.tavrendek");
    EXPECT_EQ(host.url, url(file));
    EXPECT_FALSE(workflow->hasUnsavedProjectChanges());
    autosave->waitUntilIdle();
    const auto recovery = autosave->loadRecovery();
    ASSERT_TRUE(recovery);
    EXPECT_EQ(recovery->project, workflow->currentProject());
    EXPECT_EQ(recovery->origin, file);
    EXPECT_EQ(run("python3", {"-c", kDecrypt, file}), "10 2 False []");
}

TEST_F(DocumentSaveTest, FailedSavesKeepFileLocationAndSnapshotAndOneCopyOfTheOldFile) {
    loadTab(stills(2));
    const QString file = path("Show.tavrendek");
    ASSERT_TRUE(workflow->writeProject(url(file)));
    const QByteArray before = readAll(file);
    const auto savedSnapshot = host.saved;
    rundown().loadGroups({ClipGroup{.name = "Big", .clips = stills(10001)}});
    host.url = url(path("Other.tavrendek"));
    for (int attempt = 0; attempt < 3; ++attempt) {
        clock.advance(1.0);
        EXPECT_FALSE(workflow->writeProject(url(file)));
    }
    EXPECT_EQ(host.statusLine,
              "保存に失敗: 素材が 10001 件あります。保存できるのは 10000 件までです");
    EXPECT_EQ(readAll(file), before);
    EXPECT_EQ(host.url, url(path("Other.tavrendek")));
    EXPECT_EQ(host.saved, savedSnapshot);
    // One copy for all three attempts (mended: each made another and pushed older ones out).
    ASSERT_EQ(backupNames().size(), 1);
    EXPECT_EQ(run("cmp", {QDir(backups).filePath(backupNames()[0]), file}), "");
}

// Each copy has a name of its own, so what a copy killed on its way left under the writer's
// temporary names goes at the next save; one being made stays, and so does a file of the
// operator's that is named only like the copies' temporaries once were.
TEST_F(DocumentSaveTest, WhatAKilledBackupCopyLeftGoesAtTheNextSaveAndNothingElse) {
    const QString file = path("Show.tavrendek");
    ASSERT_TRUE(workflow->writeProject(url(file)));
    QDir().mkpath(backups);
    const QString uuid = "0b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b";
    const QString young = ".Show-1.tavrendek.tmp-" + uuid;
    const QString operators = ".backup-202601";
    const utimbuf past{1'000'000, 1'000'000};
    for (const QString& name : {".Show-0.tavrendek.tmp-" + uuid, operators, young}) {
        writeFile(QDir(backups).filePath(name), "cut short");
        if (name == young) continue;
        ASSERT_EQ(::utime(QFile::encodeName(QDir(backups).filePath(name)).constData(), &past), 0);
    }
    loadTab(stills(2));
    clock.advance(1.0);
    ASSERT_TRUE(workflow->writeProject(url(file)));
    QStringList left = QDir(backups).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    ASSERT_EQ(left.size(), 3) << left.join(' ').toStdString();
    EXPECT_EQ(left.mid(0, 2), (QStringList{young, operators}));
}

// In a folder others can write, a link another user put at the project's name (to a file of the
// operator's) is neither saved through nor copied into the backups; another user's file that no
// one may write is not saved over, and the operator is told it is a matter of permission.
TEST_F(DocumentSaveTest, AnotherUsersLinkOrReadOnlyFileAtTheNameIsNotSavedOver) {
    const QString shared = path("shared");
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0777), 0);
    const QString secret = path("secret.txt");
    const QString theirs = shared + "/theirs.tavrendek";
    const QString linked = shared + "/linked.tavrendek";
    writeFile(secret, "mine");
    writeFile(theirs, "theirs");
    ASSERT_EQ(::chmod(QFile::encodeName(theirs).constData(), 0444), 0);
    ASSERT_TRUE(QFile::link(secret, linked));
    for (const QString& planted : {theirs, linked}) {
        if (::lchown(QFile::encodeName(planted).constData(), 65534, 65534) != 0)
            GTEST_SKIP() << "another user's files need chown";
    }
    loadTab(stills(1));
    EXPECT_FALSE(workflow->writeProject(url(linked)));
    EXPECT_EQ(host.statusLine, "保存に失敗: シンボリックリンクが置かれています");
    EXPECT_EQ(readAll(secret), "mine");
    EXPECT_TRUE(backupNames().isEmpty());
    EXPECT_FALSE(workflow->writeProject(url(theirs)));
    EXPECT_EQ(host.statusLine, "保存に失敗: アクセス権がありません");
    EXPECT_EQ(readAll(theirs), "theirs");
}

// A team keeps its projects in a group folder (set-group-ID, the group may write); the operator
// changed a teammate's project there and saves it: it is replaced, keeps its permission bits,
// and the backups hold what it replaced.
TEST_F(DocumentSaveTest, ATeammatesProjectInAGroupFolderIsSavedAndBackedUp) {
    if (::geteuid() != 0) GTEST_SKIP() << "another user's file needs root";
    const QString team = path("team");
    ASSERT_TRUE(QDir().mkpath(team));
    ASSERT_EQ(::chmod(QFile::encodeName(team).constData(), 02775), 0);
    const QString file = team + "/Show.tavrendek";
    loadTab(stills(1));
    ASSERT_TRUE(workflow->writeProject(url(file)));
    ASSERT_EQ(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0664), 0);
    const QByteArray before = readAll(file);
    loadTab(stills(2));
    clock.advance(1.0);
    ASSERT_TRUE(workflow->saveProject()) << host.statusLine.toStdString();
    EXPECT_EQ(PlayoutProject::load(file), workflow->currentProject());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    ASSERT_EQ(backupNames().size(), 1);
    EXPECT_EQ(readAll(QDir(backups).filePath(backupNames()[0])), before);
}

TEST_F(DocumentSaveTest, BackupsKeepTheTwentyNewestOfEachProject) {
    const QString show = path("a/Show.tavrendek");
    const QString sameName = path("b/Show.tavrendek");
    const auto naming = ProjectBackupNaming::forProject(show, "tavrendek");
    QDir().mkpath(path("a"));
    QDir().mkpath(path("b"));
    ASSERT_TRUE(workflow->writeProject(url(sameName)));
    ASSERT_TRUE(workflow->writeProject(url(sameName)));  // a copy of the other project
    QDir().mkpath(backups + "/" + naming.fileName(QDateTime::fromSecsSinceEpoch(0)));
    for (int i = 0; i < 23; ++i) {
        engine->setFadeDuration(0.2 + i * 0.01);  // every version differs
        if (i > 0) QFile::copy(show, path(QString("v%1").arg(i)));
        clock.advance(1.0);
        ASSERT_TRUE(workflow->writeProject(url(show)));
    }
    QStringList own = backupNames().filter(QRegularExpression("^Show-" + naming.sourceID));
    ASSERT_EQ(own.size(), 20);
    for (int i = 0; i < 20; ++i) {  // the newest 20, each byte for byte the file it replaced
        EXPECT_EQ(run("cmp", {QDir(backups).filePath(own[i]), path(QString("v%1").arg(i + 3))}),
                  "");
    }
    // The other project's copy and a folder named like a backup stay.
    EXPECT_EQ(QDir(backups).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 22);

    // Modification times decide, equal times by name.
    const auto touch = [&](const QString& name, time_t t) {
        const utimbuf times{t, t};
        ::utime(QFile::encodeName(QDir(backups).filePath(name)).constData(), &times);
    };
    touch(own[0], 1'700'000'000);
    for (int i = 1; i < 20; ++i) touch(own[i], 1'000'000);
    EXPECT_EQ(run("stat", {"-c", "%Y", QDir(backups).filePath(own[0])}), "1700000000");
    DocumentWorkflow::pruneBackups(backups, naming, 3);
    EXPECT_EQ(backupNames().filter(QRegularExpression("^Show-" + naming.sourceID)),
              (QStringList{own[0], own[18], own[19]}));
}

// A clock once set ahead left 20 backups dated in the future: the copy of the file about to be
// replaced still stays, an old one goes. Files of another user and links are never pruned.
TEST_F(DocumentSaveTest, TheCopyJustMadeOutlivesFutureDatedBackupsAndOthersFilesStay) {
    const QString file = path("Show.tavrendek");
    ASSERT_TRUE(workflow->writeProject(url(file)));
    const QByteArray before = readAll(file);
    const auto naming = ProjectBackupNaming::forProject(file, "tavrendek");
    const auto stamp = [&](qint64 secs) {
        return QDir(backups).filePath(naming.fileName(QDateTime::fromSecsSinceEpoch(secs)));
    };
    for (int i = 0; i < 20; ++i) {
        writeFile(stamp(1'000'000 + i), "ahead");
        const utimbuf ahead{2'000'000'000 + i, 2'000'000'000 + i};
        ASSERT_EQ(::utime(QFile::encodeName(stamp(1'000'000 + i)).constData(), &ahead), 0);
    }
    writeFile(stamp(5), "another user's");
    ASSERT_EQ(::chown(QFile::encodeName(stamp(5)).constData(), 4242, 4242), 0);
    ASSERT_TRUE(QFile::link(file, stamp(6)));
    engine->setFadeDuration(2.0);
    clock.advance(1.0);
    ASSERT_TRUE(workflow->writeProject(url(file)));
    QStringList copies;
    for (const QString& name : backupNames()) {
        if (readAll(QDir(backups).filePath(name)) == before) copies << name;
    }
    EXPECT_EQ(copies.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(stamp(1'000'000)));  // the oldest of the future ones
    EXPECT_TRUE(QFileInfo::exists(stamp(1'000'001)));
    EXPECT_EQ(readAll(stamp(5)), "another user's");
    EXPECT_TRUE(QFileInfo(stamp(6)).isSymLink());
}

// A clock once set ahead left 20 backups dated after now. They go first, so the copies dated up
// to now (one exactly now) are the ones kept, the newest up to 20 in all; future-dated ones fill
// only the room left, the newest of them first. With the new copy 19, 20 and 21 are dated up to
// now; no copy is made when the newest of them already holds the file.
TEST_F(DocumentSaveTest, BackupsDatedAfterNowGoBeforeAnyDatedUpToNow) {
    const QString file = path("Show.tavrendek");
    const auto naming = ProjectBackupNaming::forProject(file, "tavrendek");
    constexpr time_t now = 1'767'225'600;
    const QByteArray replaced = "the version replaced";
    const auto seed = [&](qint64 nameSecs, time_t modified, const QByteArray& bytes) {
        const QString name = naming.fileName(QDateTime::fromSecsSinceEpoch(nameSecs));
        writeFile(QDir(backups).filePath(name), bytes);
        const utimbuf times{modified, modified};
        EXPECT_EQ(::utime(QFile::encodeName(QDir(backups).filePath(name)).constData(), &times), 0);
        return name;
    };
    for (const auto& [dated, held] : {std::pair{18, false}, {19, false}, {20, false}, {20, true}}) {
        ASSERT_TRUE(QDir(backups).removeRecursively());
        clock.setWallTime(double(now));
        writeFile(file, replaced);
        QStringList expected;
        if (!held) expected << naming.fileName(QDateTime::fromSecsSinceEpoch(now));
        QStringList ahead;
        for (int k = 0; k < 20; ++k) ahead.prepend(seed(1'000'000 + k, now + 1 + k, "ahead"));
        for (int j = 0; j < dated; ++j) {
            const QString name =
                seed(2'000'000 + j, now - j, held && j == 0 ? replaced : QByteArray::number(j));
            if (expected.size() < 20) expected << name;
        }
        expected += ahead.mid(0, 20 - expected.size());
        ASSERT_TRUE(workflow->writeProject(url(file)));
        QStringList kept = backupNames();
        kept.sort();
        expected.sort();
        EXPECT_EQ(kept, expected) << dated << " dated up to now, held " << held;
    }
}

// A pipe put at the project's name is not read for a backup (that would wait for a writer), and
// a backup that cannot be made (a file in the folder's place) is told in the log; both saves go
// on.
TEST_F(DocumentSaveTest, APipeIsNotCopiedAndAFailedBackupIsLogged) {
    const QString file = path("Show.tavrendek");
    ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    ASSERT_TRUE(workflow->writeProject(url(file)));
    EXPECT_TRUE(QFileInfo(file).isFile());
    EXPECT_TRUE(backupNames().isEmpty());
    writeFile(backups, "in the way");
    clock.advance(1.0);
    ASSERT_TRUE(workflow->writeProject(url(file)));
    EXPECT_EQ(readAll(backups), "in the way");
    EXPECT_TRUE(logText().contains("BACKUP  FAILED, " + file + ": ")) << logText().toStdString();
}

TEST_F(DocumentSaveTest, SaveAsAddsTheExtensionAndAsksBeforeReplacing) {
    dialogs.saveAnswer = url(path("show"));
    ASSERT_TRUE(workflow->saveProjectAs());
    EXPECT_EQ(host.panelFlags, (QList<bool>{true, false}));
    const QByteArray before = readAll(path("show.tavrendek"));
    ASSERT_FALSE(before.isEmpty());
    engine->setFadeDuration(2.0);
    dialogs.alertAnswers = {1};  // キャンセル
    EXPECT_FALSE(workflow->saveProjectAs());
    ASSERT_EQ(dialogs.alerts.size(), 1);
    EXPECT_EQ(dialogs.alerts[0].message, "同じ名前のファイルがあります");
    EXPECT_EQ(dialogs.alerts[0].informativeText, "show.tavrendek を上書きしますか。");
    EXPECT_EQ(dialogs.alerts[0].defaultIndex(), 1);  // Return keeps the file: "キャンセル"
    EXPECT_EQ(readAll(path("show.tavrendek")), before);
    dialogs.saveAnswer = url(path("Loud.TAVRENDEK"));
    EXPECT_TRUE(workflow->saveProjectAs());
    EXPECT_TRUE(QFileInfo::exists(path("Loud.TAVRENDEK")));
    EXPECT_EQ(dialogs.alerts.size(), 1);  // as typed, not asked again
}

}  // namespace
}  // namespace velmar::test
