#include "document_workflow_fixture.h"

#include <QProcess>

#include <sys/stat.h>
#include <utime.h>

namespace velmar::test {
namespace {

using DocumentSaveTest = DocumentWorkflowFixture;

void setModified(const QString& path, time_t seconds) {
    utimbuf times{seconds, seconds};
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &times), 0);
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

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

    // Opened without our code: the key made again from its recipe, AES-GCM by the
    // cryptography package, the JSON compared with Python's own pretty-printed sorted form.
    const QString script = R"py(
import hashlib, json, sys
from cryptography.hazmat.primitives.ciphers.aead import AESGCM
m = b''
for r in range(7):
    for p in [b'velmar', b'project', b'container', b'aes-256-gcm', b'seal']:
        m += p
        m += bytes([(r * 31 + len(m)) & 0xff])
data = open(sys.argv[1], 'rb').read()
assert data[:9] == b'DOVRINEP\x01'
plain = AESGCM(hashlib.sha256(m).digest()).decrypt(data[9:21], data[21:], data[:9])
doc = json.loads(plain)
assert doc['formatVersion'] == 10 and doc['groups'][0]['markers'] == []
assert 'transform' not in doc['groups'][0]['clips'][0]
assert json.dumps(doc, sort_keys=True) == json.dumps(json.loads(plain), sort_keys=True)
assert list(doc.keys()) == sorted(doc.keys()) and b'\n    ' in plain
print('ok', len(doc['groups'][0]['clips']))
)py";
    EXPECT_EQ(run("python3", {"-c", script, file}).trimmed(), "ok 2");
}

TEST_F(DocumentSaveTest, FailedSaveKeepsFileLocationAndSnapshotAndAddsNoSecondEqualBackup) {
    loadTab(stills(2));
    const QString file = path("Show.tavrendek");
    ASSERT_TRUE(workflow->writeProject(url(file)));
    const QByteArray before = readAll(file);
    const auto savedSnapshot = host.saved;

    ClipGroup big;
    big.name = "Big";
    big.clips = stills(10001);
    rundown().loadGroups({big});
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
    // One copy of the old file for all three attempts (mended: each made a new one).
    ASSERT_EQ(backupNames().size(), 1);
    EXPECT_EQ(run("cmp", {QDir(backups).filePath(backupNames().first()), file}), "");

    big.clips = stills(10000);
    rundown().loadGroups({big});
    EXPECT_TRUE(workflow->writeProject(url(file)));
}

TEST_F(DocumentSaveTest, BackupsKeepTheTwentyNewestPerProjectEachEqualToTheFileItReplaced) {
    const QString show = path("a/Show.tavrendek");
    const QString sameName = path("b/Show.tavrendek");
    QDir().mkpath(path("a"));
    QDir().mkpath(path("b"));
    ASSERT_TRUE(workflow->writeProject(url(sameName)));
    ASSERT_TRUE(workflow->writeProject(url(sameName)));  // one backup of the other project
    const ProjectBackupNaming naming = ProjectBackupNaming::forProject(show, "tavrendek");
    QDir().mkpath(backups + "/" + naming.fileName(QDateTime::fromSecsSinceEpoch(0)));

    QList<QByteArray> versions;
    for (int i = 0; i < 23; ++i) {
        engine->setFadeDuration(0.2 + i * 0.01);  // every version differs
        if (QFileInfo::exists(show)) versions << readAll(show);
        clock.advance(1.0);
        ASSERT_TRUE(workflow->writeProject(url(show)));
    }
    QStringList own;
    for (const QString& name : backupNames())
        if (naming.owns(name)) own << name;
    ASSERT_EQ(own.size(), 20);
    // Oldest kept first by name; each copy is one of the replaced versions, the newest 20.
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(readAll(QDir(backups).filePath(own[i])), versions[versions.size() - 20 + i]);
    // The other project's copy and a folder named like a backup stay.
    EXPECT_EQ(QDir(backups).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 22);

    // Modification times decide, equal times by name; checked with stat.
    setModified(QDir(backups).filePath(own[0]), 2'000'000'000);  // the oldest now looks newest
    for (int i = 1; i < 20; ++i) setModified(QDir(backups).filePath(own[i]), 1'000'000);
    DocumentWorkflow::pruneBackups(backups, naming, 3);
    QStringList kept;
    for (const QString& name : backupNames())
        if (naming.owns(name)) kept << name;
    EXPECT_EQ(kept, (QStringList{own[0], own[18], own[19]}));
    EXPECT_EQ(run("stat", {"-c", "%Y", QDir(backups).filePath(own[0])}).trimmed(), "2000000000");
}

TEST_F(DocumentSaveTest, SaveAsAddsTheExtensionAndAsksBeforeReplacing) {
    const QString show = path("show.tavrendek");
    dialogs.saveAnswer = url(path("show"));
    ASSERT_TRUE(workflow->saveProjectAs());
    EXPECT_TRUE(QFileInfo::exists(show));
    EXPECT_EQ(host.panelFlags, (QList<bool>{true, false}));
    EXPECT_TRUE(dialogs.alerts.isEmpty());

    const QByteArray before = readAll(show);
    engine->setFadeDuration(2.0);
    dialogs.alertAnswers = {1};  // キャンセル
    EXPECT_FALSE(workflow->saveProjectAs());
    ASSERT_EQ(dialogs.alerts.size(), 1);
    EXPECT_EQ(dialogs.alerts[0].message, "同じ名前のファイルがあります");
    EXPECT_EQ(dialogs.alerts[0].informativeText, "show.tavrendek を上書きしますか。");
    EXPECT_EQ(dialogs.alerts[0].buttons[0].title, "上書き");
    EXPECT_EQ(readAll(show), before);

    dialogs.saveAnswer = url(path("Loud.TAVRENDEK"));
    ASSERT_TRUE(workflow->saveProjectAs());
    EXPECT_TRUE(QFileInfo::exists(path("Loud.TAVRENDEK")));
    EXPECT_EQ(dialogs.alerts.size(), 1);  // not asked again

    dialogs.saveAnswer.reset();
    host.statusLine.clear();
    EXPECT_FALSE(workflow->saveProjectAs());
    EXPECT_EQ(host.statusLine, "");
}

}  // namespace
}  // namespace velmar::test
