#include "core/autosave_store.h"

#include "models/project_crypto.h"
#include "platform/base/user_defaults.h"
#include "support/fake_clock.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

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

struct Fixture {
    QTemporaryDir home;
    QString support = home.filePath(u"support"_s);
    QString folder = support + u"/DOVRINE"_s;
    QString autosave = folder + u"/autosave.tavrendek"_s;
    QString origin = folder + u"/autosave-origin.txt"_s;
    UserDefaults defaults{home.filePath(u"defaults.json"_s)};
    test::FakeClock clock;

    std::unique_ptr<AutosaveStore> make() {
        return std::make_unique<AutosaveStore>(
            AutosaveStore::Environment{support, &defaults, &clock, nullptr, false});
    }
    static void written(AutosaveStore& store, const PlayoutProject& p,
                        const std::optional<QString>& origin) {
        store.write(p, origin);
        store.waitUntilIdle();
    }
};

TEST(AutosaveStoreTest, WritesOnlyWhatChanged) {
    Fixture f;
    auto store = f.make();
    Fixture::written(*store, project("A"), std::nullopt);
    EXPECT_EQ(ProjectCrypto::open(readAll(f.autosave)), *project("A").encoded());
    EXPECT_EQ(readAll(f.origin), QByteArray());
    age(f.autosave);
    age(f.origin);
    Fixture::written(*store, project("A"), std::nullopt);  // nothing changed: no file touched
    EXPECT_EQ(mtime(f.autosave) + mtime(f.origin), 2'000'000);
    Fixture::written(*store, project("A"), u"/shows/Show.tavrendek"_s);
    EXPECT_EQ(mtime(f.autosave), 1'000'000);
    EXPECT_EQ(readAll(f.origin), "/shows/Show.tavrendek");
    age(f.origin);
    Fixture::written(*store, project("B"), u"/shows/Show.tavrendek"_s);  // both rewritten
    EXPECT_NE(mtime(f.autosave), 1'000'000);
    EXPECT_NE(mtime(f.origin), 1'000'000);
}

// Files someone made unreadable and unwritable (000) are replaced, readable, by the next write.
TEST(AutosaveStoreTest, AnAutosaveMadeUnreadableIsWrittenAgainReadable) {
    Fixture f;
    auto store = f.make();
    Fixture::written(*store, project("A"), std::nullopt);
    for (const QString& path : {f.autosave, f.origin})
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0), 0);
    Fixture::written(*store, project("B"), u"/b.tavrendek"_s);
    const auto recovery = store->loadRecovery();
    ASSERT_TRUE(recovery.has_value());
    EXPECT_EQ(recovery->project, project("B"));
    EXPECT_EQ(recovery->origin, u"/b.tavrendek"_s);
}

TEST(AutosaveStoreTest, TimerTicksWithTheInterval) {
    Fixture f;
    f.defaults.set(AutosaveStore::intervalKey, 45);
    auto store = f.make();
    EXPECT_EQ(store->intervalSeconds(), 30);
    int ticks = 0;
    store->setProjectProvider([&] {
        ++ticks;
        return std::make_pair(project("A"), std::optional<QString>());
    });
    store->start();
    f.clock.advance(29.9);
    EXPECT_EQ(ticks, 0);  // no write at start
    f.clock.advance(0.2);
    EXPECT_EQ(ticks, 1);
    store->setIntervalSeconds(45);  // not a choice: ignored, the timer keeps running
    f.clock.advance(30);
    EXPECT_EQ(ticks, 2);
    store->setIntervalSeconds(10);  // counts from now
    EXPECT_EQ(f.defaults.integer(AutosaveStore::intervalKey), 10);
    f.clock.advance(10);
    EXPECT_EQ(ticks, 3);
    store->stop();
    f.clock.advance(100);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(f.clock.activeTimerCount(), 0);
}

TEST(AutosaveStoreTest, RecoveryAndClear) {
    Fixture f;
    auto store = f.make();
    EXPECT_FALSE(store->loadRecovery().has_value());
    Fixture::written(*store, project("A"), u"/shows/Show .tavrendek"_s);
    ASSERT_TRUE(store->hasPendingRecovery());
    EXPECT_TRUE(store->recoveryDate().has_value());
    const auto recovery = store->loadRecovery();
    ASSERT_TRUE(recovery.has_value());
    EXPECT_EQ(recovery->project, project("A"));
    EXPECT_EQ(recovery->origin, u"/shows/Show .tavrendek"_s);

    writeFile(f.origin, "");
    EXPECT_FALSE(store->loadRecovery()->origin.has_value());

    // A damaged autosave is no recovery.
    QByteArray damaged = readAll(f.autosave);
    damaged[damaged.size() - 1] = static_cast<char>(damaged[damaged.size() - 1] ^ 1);
    writeFile(f.autosave, damaged);
    EXPECT_FALSE(store->loadRecovery().has_value());

    // After clear() every write before the next start() is dropped.
    store->write(project("B"), std::nullopt);
    store->clear();
    EXPECT_FALSE(QFileInfo::exists(f.autosave));
    EXPECT_FALSE(QFileInfo::exists(f.origin));
    Fixture::written(*store, project("C"), std::nullopt);
    EXPECT_FALSE(store->hasPendingRecovery());
    store->start();
    store->stop();
    Fixture::written(*store, project("C"), std::nullopt);
    EXPECT_TRUE(store->hasPendingRecovery());
}

TEST(AutosaveStoreTest, ProjectsTheLoaderWouldRefuseKeepThePreviousAutosave) {
    Fixture f;
    auto store = f.make();
    Fixture::written(*store, project("A"), std::nullopt);
    PlayoutProject huge = project("A");
    huge.groups[0].clips = QList<PlayoutProject::ClipRecord>(10001, huge.groups[0].clips[0]);
    store->write(huge, std::nullopt);
    PlayoutProject nan = project("A");
    nan.fadeDuration = std::numeric_limits<double>::quiet_NaN();
    Fixture::written(*store, nan, std::nullopt);
    EXPECT_EQ(store->loadRecovery().value().project, project("A"));
}

TEST(AutosaveStoreTest, ChangingTheFolder) {
    Fixture f;
    auto store = f.make();
    Fixture::written(*store, project("A"), u"/shows/a.tavrendek"_s);
    using Kind = AutosaveLocationError::Kind;
    auto refusal = [&](const std::optional<QString>& folder) -> std::optional<Kind> {
        try {
            store->setDirectory(folder);
        } catch (const AutosaveLocationError& error) {
            return error.kind();
        }
        return std::nullopt;
    };

    const QString other = f.home.filePath(u"other"_s);
    writeFile(other + u"/autosave-origin.txt"_s, "/x");
    EXPECT_EQ(refusal(other), Kind::containsAutosave);
    writeFile(f.home.filePath(u"plainfile"_s), "x");
    EXPECT_EQ(refusal(f.home.filePath(u"plainfile/sub"_s)), Kind::unavailable);
    EXPECT_EQ(store->directory(), f.folder);
    EXPECT_FALSE(f.defaults.contains(AutosaveStore::directoryKey));

    const QString chosenClean = f.home.filePath(u"chosen"_s);
    EXPECT_EQ(refusal(f.home.filePath(u"chosen/./deep/.."_s)), std::nullopt);
    EXPECT_EQ(store->directory(), chosenClean);
    EXPECT_EQ(f.defaults.string(AutosaveStore::directoryKey), chosenClean);
    EXPECT_FALSE(QFileInfo::exists(f.autosave));
    EXPECT_EQ(readAll(chosenClean + u"/autosave-origin.txt"_s), "/shows/a.tavrendek");
    EXPECT_EQ(store->loadRecovery()->project, project("A"));

    EXPECT_EQ(refusal(std::nullopt), std::nullopt);
    EXPECT_EQ(store->directory(), f.folder);
    EXPECT_FALSE(f.defaults.contains(AutosaveStore::directoryKey));
    EXPECT_TRUE(QFileInfo::exists(f.autosave));
}

TEST(AutosaveStoreTest, ResolutionFallsBackAndMigratesOnce) {
    Fixture f;
    const QString legacy = f.support + u"/VELMAR"_s;
    writeFile(legacy + u"/autosave.tavrendek"_s, ProjectCrypto::seal(*project("Old").encoded()));
    writeFile(legacy + u"/autosave-origin.txt"_s, "/old.tavrendek");
    f.defaults.set(AutosaveStore::directoryKey, f.home.filePath(u"deleted"_s));
    {
        auto store = f.make();
        EXPECT_EQ(store->directory(), f.folder);
        EXPECT_TRUE(store->selectedDirectoryUnavailable());
        ASSERT_TRUE(store->hasPendingRecovery());
        EXPECT_EQ(store->loadRecovery()->origin, u"/old.tavrendek"_s);
        EXPECT_TRUE(QFileInfo::exists(f.folder + u"/legacy-migrated"_s));
        store->clear();
    }
    auto next = f.make();
    EXPECT_FALSE(next->hasPendingRecovery());
}

}  // namespace
}  // namespace velmar
