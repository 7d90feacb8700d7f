#include "core/autosave_store.h"

#include "models/language_settings.h"
#include "models/localized.h"
#include "models/project_crypto.h"
#include "platform/base/atomic_file.h"
#include "platform/base/exclusive_file_lock.h"
#include "platform/base/user_defaults.h"
#include "support/child_probe.h"
#include "support/fake_clock.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <cerrno>
#include <cstring>

namespace velmar {
namespace {

using namespace Qt::Literals::StringLiterals;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

void age(const QString& path) {
    utimbuf times{1'000'000, 1'000'000};
    ::utime(QFile::encodeName(path).constData(), &times);
}

qint64 mtime(const QString& path) {
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

PlayoutProject project(const char* tabName) {
    PlayoutProject p;
    p.groups = {{.name = QString::fromUtf8(tabName),
                 .clips = {{.path = u"/media/a.png"_s, .displayName = u"a"_s}},
                 .markers = QList<PlayoutProject::MarkerRecord>{}}};
    return p;
}

struct AutosaveStoreTest : ::testing::Test {
    QTemporaryDir home;
    QString support = home.filePath(u"support"_s);
    QString folder = support + u"/DOVRINE"_s;
    QString autosave = folder + u"/autosave.tavrendek"_s;
    QString origin = folder + u"/autosave-origin.txt"_s;
    UserDefaults defaults{home.filePath(u"defaults.json"_s)};
    test::FakeClock clock;

    std::unique_ptr<AutosaveStore> store = make();

    std::unique_ptr<AutosaveStore> make() {
        return std::make_unique<AutosaveStore>(
            AutosaveStore::Environment{support, &defaults, &clock, nullptr, false});
    }
    // What the store told, in order, as "kind error", and " @path" for a name it left.
    QStringList notices;
    void listen(AutosaveStore& s) {
        s.setNoticeHandler([this](const AutosaveStore::Notice& n) {
            notices << QString::number(static_cast<int>(n.kind)) + u' ' + n.error +
                           (n.path.isEmpty() ? QString() : u" @"_s + n.path);
        });
    }
    static QString kind(AutosaveStore::Notice::Kind k) {
        return QString::number(static_cast<int>(k)) + u' ';
    }
    void written(const char* tab, const std::optional<QString>& origin = std::nullopt) {
        store->write(project(tab), origin);
        store->waitUntilIdle();
    }
};

TEST_F(AutosaveStoreTest, WritesOnlyWhatChanged) {
    written("A");
    EXPECT_EQ(ProjectCrypto::open(readAll(autosave)), *project("A").encoded());
    EXPECT_EQ(readAll(origin), QByteArray());
    age(autosave);
    age(origin);
    written("A");  // nothing changed: no file touched
    EXPECT_EQ(mtime(autosave) + mtime(origin), 2'000'000);
    written("A", u"/shows/Show.tavrendek"_s);
    EXPECT_EQ(mtime(autosave), 1'000'000);
    EXPECT_EQ(readAll(origin), "/shows/Show.tavrendek");
    age(origin);
    written("B", u"/shows/Show.tavrendek"_s);  // both rewritten
    EXPECT_NE(mtime(autosave), 1'000'000);
    EXPECT_NE(mtime(origin), 1'000'000);
}

// Files someone made unreadable and unwritable (000) are replaced, readable, by the next write.
TEST_F(AutosaveStoreTest, AnAutosaveMadeUnreadableIsWrittenAgainReadable) {
    written("A");
    for (const QString& path : {autosave, origin})
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    written("B", u"/b.tavrendek"_s);
    const auto recovery = store->loadRecovery();
    ASSERT_TRUE(recovery.has_value());
    EXPECT_EQ(recovery->project, project("B"));
    EXPECT_EQ(recovery->origin, u"/b.tavrendek"_s);
}

TEST_F(AutosaveStoreTest, TimerTicksWithTheInterval) {
    defaults.set(AutosaveStore::intervalKey, 45);
    store = make();
    EXPECT_EQ(store->intervalSeconds(), 30);
    int ticks = 0;
    store->setProjectProvider([&] {
        ++ticks;
        return std::make_pair(project("A"), std::optional<QString>());
    });
    store->start();
    clock.advance(29.9);
    EXPECT_EQ(ticks, 0);  // no write at start
    clock.advance(0.2);
    EXPECT_EQ(ticks, 1);
    store->setIntervalSeconds(45);  // not a choice: ignored, the timer keeps running
    clock.advance(30);
    EXPECT_EQ(ticks, 2);
    store->setIntervalSeconds(10);  // counts from now
    EXPECT_EQ(defaults.integer(AutosaveStore::intervalKey), 10);
    clock.advance(10);
    EXPECT_EQ(ticks, 3);
    store->stop();
    clock.advance(100);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

TEST_F(AutosaveStoreTest, RecoveryAndClear) {
    EXPECT_FALSE(store->loadRecovery().has_value());
    written("A", u"/shows/Show .tavrendek"_s);
    ASSERT_TRUE(store->hasPendingRecovery());
    EXPECT_TRUE(store->recoveryDate().has_value());
    EXPECT_EQ(store->loadRecovery()->origin, u"/shows/Show .tavrendek"_s);

    writeFile(origin, "");
    EXPECT_FALSE(store->loadRecovery()->origin.has_value());

    // A damaged autosave is no recovery.
    QByteArray damaged = readAll(autosave);
    damaged[damaged.size() - 1] = static_cast<char>(damaged[damaged.size() - 1] ^ 1);
    writeFile(autosave, damaged);
    EXPECT_FALSE(store->loadRecovery().has_value());

    // After clear() every write before the next start() is dropped.
    store->write(project("B"), std::nullopt);
    store->clear();
    EXPECT_FALSE(QFileInfo::exists(autosave));
    EXPECT_FALSE(QFileInfo::exists(origin));
    written("C");
    EXPECT_FALSE(store->hasPendingRecovery());
    store->start();
    store->stop();
    written("C");
    EXPECT_TRUE(store->hasPendingRecovery());
}

TEST_F(AutosaveStoreTest, ProjectsTheLoaderWouldRefuseKeepThePreviousAutosave) {
    written("A");
    PlayoutProject huge = project("A");
    huge.groups[0].clips = QList<PlayoutProject::ClipRecord>(10001, huge.groups[0].clips[0]);
    store->write(huge, std::nullopt);
    PlayoutProject nan = project("A");
    nan.fadeDuration = std::numeric_limits<double>::quiet_NaN();
    store->write(nan, std::nullopt);
    store->waitUntilIdle();
    EXPECT_EQ(store->loadRecovery().value().project, project("A"));
}

TEST_F(AutosaveStoreTest, ChangingTheFolder) {
    written("A", u"/shows/a.tavrendek"_s);
    using Kind = AutosaveLocationError::Kind;
    auto refusal = [&](const std::optional<QString>& to) -> std::optional<Kind> {
        try {
            store->setDirectory(to);
        } catch (const AutosaveLocationError& error) {
            return error.kind();
        }
        return std::nullopt;
    };

    const QString other = home.filePath(u"other"_s);
    writeFile(other + u"/autosave-origin.txt"_s, "/x");
    EXPECT_EQ(refusal(other), Kind::containsAutosave);
    writeFile(home.filePath(u"plainfile"_s), "x");
    EXPECT_EQ(refusal(home.filePath(u"plainfile/sub"_s)), Kind::unavailable);
    EXPECT_EQ(store->directory(), folder);
    EXPECT_FALSE(defaults.contains(AutosaveStore::directoryKey));

    const QString chosenClean = home.filePath(u"chosen"_s);
    EXPECT_EQ(refusal(home.filePath(u"chosen/./deep/.."_s)), std::nullopt);
    EXPECT_EQ(store->directory(), chosenClean);
    EXPECT_EQ(defaults.string(AutosaveStore::directoryKey), chosenClean);
    EXPECT_FALSE(QFileInfo::exists(autosave));
    EXPECT_EQ(readAll(chosenClean + u"/autosave-origin.txt"_s), "/shows/a.tavrendek");
    EXPECT_EQ(store->loadRecovery()->project, project("A"));

    EXPECT_EQ(refusal(std::nullopt), std::nullopt);
    EXPECT_EQ(store->directory(), folder);
    EXPECT_FALSE(defaults.contains(AutosaveStore::directoryKey));
    EXPECT_TRUE(QFileInfo::exists(autosave));
}

TEST_F(AutosaveStoreTest, ResolutionFallsBackAndMigratesOnce) {
    const QString legacy = support + u"/VELMAR"_s;
    writeFile(legacy + u"/autosave.tavrendek"_s, ProjectCrypto::seal(*project("Old").encoded()));
    writeFile(legacy + u"/autosave-origin.txt"_s, "/old.tavrendek");
    defaults.set(AutosaveStore::directoryKey, home.filePath(u"deleted"_s));
    EXPECT_EQ(store->directory(), folder);
    EXPECT_TRUE(store->selectedDirectoryUnavailable());
    ASSERT_TRUE(store->hasPendingRecovery());
    EXPECT_EQ(store->loadRecovery()->origin, u"/old.tavrendek"_s);
    store->clear();
    store.reset();
    EXPECT_FALSE(make()->hasPendingRecovery());  // the next run does not bring them back
}

// Two processes on one folder (here two stores, each holding its own lock): only the first to
// use it reads, writes, clears or moves the autosave; the other leaves it exactly as it is.
TEST_F(AutosaveStoreTest, OnlyTheOwnerOfTheFolderTouchesItsAutosave) {
    written("A", u"/shows/a.tavrendek"_s);
    const QByteArray sealed = readAll(autosave);
    auto second = make();
    EXPECT_EQ(second->directory(), folder);
    EXPECT_TRUE(store->ownsDirectory());
    EXPECT_FALSE(second->ownsDirectory());
    EXPECT_FALSE(second->hasPendingRecovery());
    EXPECT_FALSE(second->recoveryDate().has_value());
    EXPECT_FALSE(second->loadRecovery().has_value());
    second->write(project("B"), u"/shows/b.tavrendek"_s);
    second->waitUntilIdle();
    second->clear();
    EXPECT_EQ(readAll(autosave), sealed);
    EXPECT_EQ(readAll(origin), "/shows/a.tavrendek");

    // Decided once: the folder freed by its owner is not taken over by a store that was refused.
    auto third = make();
    EXPECT_FALSE(third->ownsDirectory());
    store.reset();
    EXPECT_FALSE(third->hasPendingRecovery());
    third.reset();

    // Moving to a folder of its own carries and removes nothing of the other's, and a folder held
    // by another store is refused even while it holds no autosave.
    const QString own = home.filePath(u"own"_s);
    second->setDirectory(own);
    EXPECT_TRUE(second->ownsDirectory());
    EXPECT_EQ(readAll(autosave), sealed);
    EXPECT_FALSE(QFileInfo::exists(own + u"/autosave.tavrendek"_s));
    defaults.remove(AutosaveStore::directoryKey);
    auto next = make();
    try {
        next->setDirectory(own);
        ADD_FAILURE() << "a folder in use by another store was taken";
    } catch (const AutosaveLocationError& error) {
        EXPECT_EQ(error.kind(), AutosaveLocationError::Kind::containsAutosave);
    }
    // The next launch on the default folder owns it and finds the first store's work.
    EXPECT_TRUE(next->ownsDirectory());
    ASSERT_TRUE(next->hasPendingRecovery());
    EXPECT_EQ(next->loadRecovery()->project, project("A"));
}

// The lock file deleted or replaced under the owner: no later copy can have the folder, which
// the owner locks itself, and the owner takes the file again at its next write and writes
// afresh, as a copy that knows only the file may have come and gone meanwhile. While such a copy
// holds the file the owner writes and removes nothing, and says so once; once it is free the
// owner takes it back and writes its unchanged work afresh.
TEST_F(AutosaveStoreTest, ALockFileReplacedUnderTheOwnerIsTakenAgainOrWaitedFor) {
    using Kind = AutosaveStore::Notice::Kind;
    listen(*store);
    const QString lockPath = folder + u"/autosave.lock"_s;
    written("A");
    ASSERT_TRUE(QFile::remove(lockPath));
    auto later = make();
    listen(*later);
    EXPECT_FALSE(later->ownsDirectory());
    later->clear();
    EXPECT_TRUE(store->hasPendingRecovery());
    EXPECT_EQ(notices, QStringList{kind(Kind::folderInUse)});
    later.reset();

    {  // a copy that knows only the file: it took it and, at its quit, removed the autosave
        ExclusiveFileLock older;
        ASSERT_TRUE(older.tryLock(lockPath));
        ASSERT_TRUE(QFile::remove(autosave) && QFile::remove(origin));
    }
    written("A");
    EXPECT_EQ(PlayoutProject::load(autosave), project("A"));
    EXPECT_TRUE(QFileInfo::exists(origin));

    notices.clear();
    ASSERT_TRUE(QFile::remove(lockPath));
    writeFile(lockPath, "");  // replaced, and held by such a copy for a while
    auto older = std::make_unique<ExclusiveFileLock>();
    ASSERT_TRUE(older->tryLock(lockPath));
    written("B");
    written("B");
    EXPECT_EQ(PlayoutProject::load(autosave), project("A"));
    EXPECT_EQ(notices, QStringList{kind(Kind::folderTakenOver)});
    older.reset();
    ASSERT_TRUE(QFile::remove(autosave) && QFile::remove(origin));
    written("A");
    EXPECT_EQ(PlayoutProject::load(autosave), project("A"));
    EXPECT_TRUE(QFileInfo::exists(origin));
    EXPECT_EQ(notices, QStringList({kind(Kind::folderTakenOver), kind(Kind::folderRegained)}));

    // Taken again: a quit meanwhile removes nothing.
    ASSERT_TRUE(QFile::remove(lockPath));
    older = std::make_unique<ExclusiveFileLock>();
    ASSERT_TRUE(older->tryLock(lockPath));
    store->clear();
    EXPECT_TRUE(QFileInfo::exists(autosave));
    EXPECT_TRUE(QFileInfo::exists(origin));
    EXPECT_EQ(notices.size(), 3);
}

// A copy that had the folder and ended without clearing it (a crash) leaves its work for its
// own next start: the owner that takes the folder back neither writes over nor removes it, and
// lets the folder go. And a folder had again after failing writes tells a write that still fails.
TEST_F(AutosaveStoreTest, TakenBackTheFolderKeepsAnotherCopysWorkAndTellsFailuresAgain) {
    using Kind = AutosaveStore::Notice::Kind;
    listen(*store);
    const QString lockPath = folder + u"/autosave.lock"_s;
    written("A");
    ASSERT_TRUE(QFile::remove(autosave));
    ASSERT_TRUE(QDir().mkpath(autosave + u"/in-the-way"_s));  // writes fail from here
    written("B");
    ASSERT_TRUE(QFile::remove(lockPath));
    {
        ExclusiveFileLock other;
        ASSERT_TRUE(other.tryLock(lockPath));
        written("B");
    }
    written("B");  // had again, and the write still fails
    QStringList kinds;
    for (const QString& notice : notices) kinds << notice.section(u' ', 0, 0) + u' ';
    EXPECT_EQ(kinds, QStringList({kind(Kind::writeFailed), kind(Kind::folderTakenOver),
                                  kind(Kind::folderRegained), kind(Kind::writeFailed)}));
    ASSERT_TRUE(QDir(autosave).removeRecursively());
    written("A");
    ASSERT_EQ(PlayoutProject::load(autosave), project("A"));

    notices.clear();
    ASSERT_TRUE(QFile::remove(lockPath));
    {
        ExclusiveFileLock other;
        ASSERT_TRUE(other.tryLock(lockPath));
        written("B");
        const auto sealed = project("C").encoded(PlayoutProject::Encoding::pretty);
        ASSERT_TRUE(sealed && AtomicFile::write(autosave, ProjectCrypto::seal(*sealed)));
    }  // and it ends without clearing
    written("B");
    store->clear();
    EXPECT_EQ(PlayoutProject::load(autosave), project("C"));
    EXPECT_FALSE(store->ownsDirectory());
    EXPECT_EQ(notices, QStringList{kind(Kind::folderTakenOver)});
}

// A write that fails is told once, tried again at every tick, and its recovery told once; here
// a folder stands where the autosave file goes.
TEST_F(AutosaveStoreTest, AFailingWriteIsToldOnceRetriedAndItsRecoveryTold) {
    using Kind = AutosaveStore::Notice::Kind;
    listen(*store);
    written("A");
    ASSERT_TRUE(QFile::remove(autosave));
    ASSERT_TRUE(QDir().mkpath(autosave + u"/in-the-way"_s));
    written("B");
    written("B");
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith(kind(Kind::writeFailed)));
    EXPECT_GT(notices[0].size(), kind(Kind::writeFailed).size()) << "with the system's reason";
    EXPECT_TRUE(notices[0].endsWith(u" @"_s + autosave)) << "and the file";
    ASSERT_TRUE(QDir(autosave).removeRecursively());
    written("B");
    EXPECT_EQ(notices.value(1), kind(Kind::writeRecovered));
    EXPECT_EQ(store->loadRecovery().value().project, project("B"));
    written("B");
    EXPECT_EQ(notices.size(), 2);
}

// The operator's own folder reached through a symbolic link is the folder itself: autosaved,
// offered and cleared as ever.
TEST_F(AutosaveStoreTest, AnOwnFolderReachedThroughALinkStillAutosaves) {
    const QString real = home.filePath(u"real"_s);
    ASSERT_TRUE(QDir().mkpath(real) && QFile::link(real, home.filePath(u"via"_s)));
    store->setDirectory(home.filePath(u"via"_s));
    written("A", u"/shows/a.tavrendek"_s);
    // The operator's work, in a folder that may be shared, is for the operator alone to read.
    EXPECT_EQ(QFileInfo(real + u"/autosave.tavrendek"_s).permissions() & 0x0fff, 0x0600);
    EXPECT_EQ(QFileInfo(real + u"/autosave-origin.txt"_s).permissions() & 0x0fff, 0x0600);
    store = make();
    ASSERT_TRUE(store->hasPendingRecovery());
    EXPECT_TRUE(store->recoveryDate().has_value());
    EXPECT_EQ(store->loadRecovery()->origin, u"/shows/a.tavrendek"_s);
    store->clear();
    EXPECT_FALSE(QFileInfo::exists(real + u"/autosave.tavrendek"_s));
}

// A sticky folder other users can write (as /tmp) chosen for the autosave. Another user's
// autosave there, with an origin naming the operator's own project, is neither offered, loaded,
// carried to another folder, removed nor written over; links planted at the names (one to a file
// of the operator's, one leading nowhere) are neither followed nor removed; such a folder cannot
// be chosen again; a lock file of another user's is no lock. Each is told once, with its path.
TEST_F(AutosaveStoreTest, AFolderOthersCanWriteGivesNothingOfAnotherUsersAsTheOperators) {
    const QString mine = home.filePath(u"Show.tavrendek"_s);  // the operator's project
    writeFile(mine, "the operator's show");
    ASSERT_EQ(::chmod(QFile::encodeName(mine).constData(), 0600), 0);
    const QByteArray theirs = ProjectCrypto::seal(*project("Theirs").encoded());
    const auto give = [](const QString& path) {  // to "nobody", the link itself for a link
        return ::lchown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
    };
    const auto refusal = [&](const QString& to) {
        try {
            store->setDirectory(to);
        } catch (const AutosaveLocationError& error) {
            return error.kind() == AutosaveLocationError::Kind::foreignEntry;
        }
        return false;
    };
    const auto reopen = [&](const QString& at) {  // a next start, the folder chosen before
        defaults.set(AutosaveStore::directoryKey, at);
        store = make();
        notices.clear();
        listen(*store);
    };
    const QString others = kind(AutosaveStore::Notice::Kind::foreignFile) +
                           localized("他のユーザーのファイルが置かれています") + u" @"_s;
    const QString link = kind(AutosaveStore::Notice::Kind::foreignFile) +
                         localized("シンボリックリンクが置かれています") + u" @"_s;
    const QString shared = home.filePath(u"shared"_s);
    const QString theirAutosave = shared + u"/autosave.tavrendek"_s;
    const QString theirOrigin = shared + u"/autosave-origin.txt"_s;
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    writeFile(theirAutosave, theirs);
    writeFile(theirOrigin, mine.toUtf8());
    if (!give(theirAutosave) || !give(theirOrigin)) GTEST_SKIP() << "cannot chown";
    reopen(shared);
    EXPECT_FALSE(store->hasPendingRecovery());
    EXPECT_FALSE(store->recoveryDate().has_value());
    EXPECT_FALSE(store->loadRecovery().has_value());
    store->clear();
    store->setDirectory(home.filePath(u"own"_s));  // carries and removes nothing of theirs
    EXPECT_FALSE(QFileInfo::exists(home.filePath(u"own/autosave.tavrendek"_s)));
    EXPECT_EQ(readAll(theirAutosave) + readAll(theirOrigin), theirs + mine.toUtf8());
    EXPECT_TRUE(refusal(shared));
    EXPECT_EQ(notices, QStringList({others + theirAutosave, others + theirOrigin}));
    reopen(shared);
    written("Mine", u"/shows/mine.tavrendek"_s);  // AtomicFile refuses another user's file
    EXPECT_EQ(readAll(theirAutosave), theirs);
    EXPECT_EQ(readAll(theirOrigin), mine.toUtf8());

    ASSERT_TRUE(QFile::remove(theirAutosave) && QFile::remove(theirOrigin));
    const QString planted = home.filePath(u"planted"_s);
    ASSERT_TRUE(QFile::link(mine, theirAutosave) && QFile::link(planted, theirOrigin));
    ASSERT_TRUE(give(theirAutosave) && give(theirOrigin));
    reopen(shared);
    EXPECT_FALSE(store->hasPendingRecovery());
    EXPECT_FALSE(store->loadRecovery().has_value());
    store->clear();
    EXPECT_TRUE(QFileInfo(theirAutosave).isSymLink() && QFileInfo(theirOrigin).isSymLink());
    store->start();
    written("Mine", mine);  // AtomicFile follows neither link
    EXPECT_EQ(readAll(mine), "the operator's show");
    EXPECT_FALSE(QFileInfo::exists(planted));
    ASSERT_TRUE(QFile::remove(theirAutosave));  // the link leading nowhere alone is left
    store->setDirectory(std::nullopt);
    EXPECT_TRUE(QFileInfo(theirOrigin).isSymLink());
    EXPECT_TRUE(refusal(shared));
    EXPECT_EQ(notices.mid(0, 2), QStringList({link + theirAutosave, link + theirOrigin}));

    store.reset();
    const QString lock = shared + u"/autosave.lock"_s;
    writeFile(lock, "");
    ASSERT_TRUE(give(lock));
    reopen(shared);
    EXPECT_FALSE(store->ownsDirectory());
    EXPECT_EQ(notices,
              QStringList{kind(AutosaveStore::Notice::Kind::folderLockFailed) +
                          localized("他のユーザーのファイルが置かれています") + u" @"_s + lock});
}

// A folder where other users can rename or remove the operator's files (writable by others
// without the sticky bit, by a group that is not the operator's own, or another user's): there
// another user could set the origin file aside and put it back after a later crash, and the
// restored work would be saved over another project. Such a folder cannot be chosen, and one
// chosen before that has become such is not used at the next start: the default folder is, and
// the operator is told why. A sticky folder can be chosen.
TEST_F(AutosaveStoreTest, AFolderWhereOthersCanRemoveFilesIsNeverTheAutosaveFolder) {
    using Kind = AutosaveLocationError::Kind;
    const QString shared = home.filePath(u"shared"_s);
    const QByteArray native = QFile::encodeName(shared);
    ASSERT_TRUE(QDir().mkpath(shared));
    const auto refusal = [&]() -> std::optional<Kind> {
        try {
            store->setDirectory(shared);
        } catch (const AutosaveLocationError& error) {
            return error.kind();
        }
        return std::nullopt;
    };
    ASSERT_EQ(::chmod(native.constData(), 0777), 0);
    EXPECT_EQ(refusal(), Kind::othersCanChange);
    EXPECT_EQ(store->directory(), folder);
    if (::chown(native.constData(), ::geteuid(), 1) == 0) {  // a group of others ("daemon")
        ASSERT_EQ(::chmod(native.constData(), 0775), 0);
        EXPECT_EQ(refusal(), Kind::othersCanChange);
    }
    if (::chown(native.constData(), 65534, ::getegid()) == 0) {  // "nobody"'s folder
        ASSERT_EQ(::chmod(native.constData(), 0755), 0);
        EXPECT_EQ(refusal(), Kind::othersCanChange);
        ASSERT_EQ(::chown(native.constData(), ::geteuid(), ::getegid()), 0);
    }
    EXPECT_FALSE(defaults.contains(AutosaveStore::directoryKey));

    ASSERT_EQ(::chmod(native.constData(), 01777), 0);
    EXPECT_EQ(refusal(), std::nullopt);
    EXPECT_EQ(store->directory(), shared);
    store.reset();

    ASSERT_EQ(::chmod(native.constData(), 0777), 0);  // the sticky bit taken away
    store = make();
    listen(*store);
    EXPECT_EQ(store->directory(), folder);
    EXPECT_TRUE(store->selectedDirectoryUnavailable());
    EXPECT_TRUE(store->ownsDirectory());
    EXPECT_TRUE(store->ownsDirectory());
    EXPECT_EQ(notices,
              QStringList{
                  kind(AutosaveStore::Notice::Kind::chosenFolderUnusable) +
                  localized("他のユーザーがファイルの名前を変えたり削除したりできるフォルダです") +
                  u" @"_s + shared});
}

// The operator's own link at the autosave's or origin's name in their own folder, leading to a
// file of theirs: the readers never follow it, so no write goes through it either (the write
// fails and says so, naming the file), and neither a start, a quit nor a folder switch removes
// it; it is told once a name, and the folder cannot be chosen again while it is there.
TEST_F(AutosaveStoreTest, TheOperatorsOwnLinkAtANameIsNeitherWrittenThroughNorRemoved) {
    using Kind = AutosaveStore::Notice::Kind;
    listen(*store);
    const QString elsewhere = home.filePath(u"elsewhere.tavrendek"_s);
    writeFile(elsewhere, "the operator's file");
    const QString link = localized("シンボリックリンクが置かれています") + u" @"_s;
    ASSERT_TRUE(QDir().mkpath(folder) && QFile::link(elsewhere, autosave));
    written("A", u"/shows/a.tavrendek"_s);
    EXPECT_EQ(readAll(elsewhere), "the operator's file");
    EXPECT_FALSE(store->hasPendingRecovery());
    store->clear();  // the quit
    store->start();
    EXPECT_TRUE(QFileInfo(autosave).isSymLink());
    EXPECT_EQ(notices, QStringList({kind(Kind::writeFailed) + link + autosave,
                                    kind(Kind::foreignFile) + link + autosave}));

    ASSERT_TRUE(QFile::remove(autosave));
    written("A", u"/shows/a.tavrendek"_s);
    ASSERT_TRUE(QFile::remove(origin) && QFile::link(elsewhere, origin));
    written("B", u"/shows/b.tavrendek"_s);
    EXPECT_EQ(readAll(elsewhere), "the operator's file");
    EXPECT_EQ(notices.mid(2),
              QStringList({kind(Kind::writeRecovered), kind(Kind::writeFailed) + link + origin}));
    const QString other = home.filePath(u"other"_s);
    store->setDirectory(other);  // carries the autosave, not the link
    EXPECT_TRUE(QFileInfo(origin).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(autosave));
    EXPECT_FALSE(QFileInfo::exists(other + u"/autosave-origin.txt"_s));
    EXPECT_EQ(notices.mid(4), QStringList{kind(Kind::foreignFile) + link + origin});
    try {
        store->setDirectory(std::nullopt);
        ADD_FAILURE() << "a folder with a link at a name was taken";
    } catch (const AutosaveLocationError& error) {
        EXPECT_EQ(error.kind(), AutosaveLocationError::Kind::foreignEntry);
    }
    EXPECT_EQ(readAll(elsewhere), "the operator's file");
}

// Another user's files put in place of the autosave and of its lock file while this copy runs
// are no other copy taking the folder over: what is there is told, with its path, in the
// interface language, and nothing of theirs is written over.
TEST_F(AutosaveStoreTest, AnotherUsersFilesInPlaceOfTheAutosaveAndItsLockAreToldAsSuch) {
    using Kind = AutosaveStore::Notice::Kind;
    LanguageSettings& language = LanguageSettings::shared();
    const AppLanguage before = language.language();
    language.setLanguage(AppLanguage::ja);
    listen(*store);
    const QString lock = folder + u"/autosave.lock"_s;
    const auto theirsAt = [](const QString& path) {
        QFile::remove(path);
        writeFile(path, "theirs");
        return ::lchown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
    };
    const QString others = u"他のユーザーのファイルが置かれています @"_s;
    written("A");
    if (!theirsAt(lock)) GTEST_SKIP() << "cannot chown";
    written("B");
    EXPECT_EQ(notices, QStringList{kind(Kind::writeFailed) + others + lock});
    ASSERT_TRUE(QFile::remove(lock));
    written("B");
    EXPECT_EQ(notices.value(1), kind(Kind::writeRecovered));

    ASSERT_TRUE(theirsAt(autosave) && QFile::remove(lock));
    written("C");
    written("D");
    EXPECT_EQ(readAll(autosave), "theirs");
    EXPECT_EQ(notices.mid(2), QStringList({kind(Kind::foreignFile) + others + autosave,
                                           kind(Kind::writeFailed) + others + autosave}));
    EXPECT_TRUE(store->ownsDirectory());
    language.setLanguage(before);
}

// A lock that cannot be taken is told apart from a busy one, with the system's reason.
TEST_F(AutosaveStoreTest, ALockThatCannotBeTakenIsNotABusyFolder) {
    listen(*store);
    ASSERT_TRUE(QDir().mkpath(folder + u"/autosave.lock/x"_s));
    EXPECT_FALSE(store->ownsDirectory());
    EXPECT_EQ(notices, QStringList{kind(AutosaveStore::Notice::Kind::folderLockFailed) +
                                   QString::fromLocal8Bit(std::strerror(EISDIR)) + u" @"_s +
                                   folder + u"/autosave.lock"_s});
}

// A pipe at one of the store's names is a file that cannot be read, never waited on: the legacy
// migration skips it, recovery goes on without an origin or finds no autosave, and a lock file
// that is a pipe is no lock. A child runs it, so that a hang ends as a failure.
TEST_F(AutosaveStoreTest, APipeAtOneOfTheNamesIsNeverWaitedOn) {
    store.reset();
    const auto pipe = [](const QString& path) {
        QFile::remove(path);
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    };
    const QString legacy = support + u"/VELMAR"_s;
    ASSERT_TRUE(QDir().mkpath(legacy));
    ASSERT_TRUE(pipe(legacy + u"/autosave.tavrendek"_s) &&
                pipe(legacy + u"/autosave-origin.txt"_s));
    const auto child = test::ChildProbe::within([&] {
        QByteArray seen;
        auto s = make();
        s->write(project("A"), u"/shows/Show.tavrendek"_s);
        s->waitUntilIdle();
        seen += s->loadRecovery().value_or(AutosaveStore::Recovery{}).origin.has_value()
                    ? "written "
                    : "? ";
        if (!pipe(origin)) return QByteArray("setup");
        const auto recovery = s->loadRecovery();
        seen +=
            recovery && recovery->project == project("A") && !recovery->origin ? "origin " : "? ";
        if (!pipe(autosave)) return QByteArray("setup");
        seen += s->loadRecovery() ? "? " : "autosave ";
        s.reset();
        if (!pipe(folder + u"/autosave.lock"_s)) return QByteArray("setup");
        return seen + (make()->ownsDirectory() ? "locked" : "lock");
    });
    ASSERT_TRUE(child.exited) << "hung on a pipe";
    EXPECT_EQ(child.output, "written origin autosave lock");
}

}  // namespace
}  // namespace velmar
