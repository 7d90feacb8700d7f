// How the settings reach their file: what a failed write keeps, what goes when the file must
// shrink, a file kept as a link, another user's file and root's, a file the operator made
// read-only, and what killed writes left.
#include "platform/base/user_defaults.h"
#include "support/child_probe.h"
#include "support/file_size_limit.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace velmar {
namespace {

using Kind = UserDefaults::Problem::Kind;

QByteArray encodedPath(const QString& path) {
    return QFile::encodeName(path);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A write that fails as on a full disk (a file-size limit of nothing; it holds for root too)
// keeps this run's unsaved values over what another copy wrote since: the next write that works
// stores both.
TEST(UserDefaultsWrites, AFailedWriteKeepsThisRunsValuesOverWhatAnotherCopyWroteSince) {
    QTemporaryDir dir;
    const QString path = dir.filePath("velmar.json");
    UserDefaults d(path);
    d.set("a", 1);

    {
        const test::FileSizeLimit full(0);
        ASSERT_TRUE(full.ok());
        d.set("mine", QStringLiteral("unsaved"));
    }
    ASSERT_TRUE(d.problem().has_value());
    ASSERT_EQ(d.problem()->kind, Kind::writeFailed);

    UserDefaults(path).set("theirs", 2);
    d.set("next", 3);
    EXPECT_FALSE(d.problem().has_value());
    UserDefaults reread(path);
    EXPECT_EQ(reread.string("mine"), "unsaved");
    EXPECT_EQ(reread.integer("theirs"), 2);
    EXPECT_EQ(reread.integer("next"), 3);
}

// A file that must shrink under its bound loses the stale values this run never touched before
// the ones it read or set, even when those are the larger.
TEST(UserDefaultsWrites, AFileThatMustShrinkLosesStaleValuesBeforeTheOnesThisRunUses) {
    QTemporaryDir dir;
    const QString path = dir.filePath("velmar.json");
    writeRaw(path, "{\"recent\": \"" + QByteArray(600'000, 'r') + "\",\n\"stale\": \"" +
                       QByteArray(440'000, 's') + "\"}");
    UserDefaults d(path);
    ASSERT_FALSE(d.problem().has_value());
    ASSERT_TRUE(d.string("recent").has_value());
    d.set("grow", QString(20'000, u'g'));
    UserDefaults reread(path);
    EXPECT_TRUE(reread.contains("recent"));
    EXPECT_TRUE(reread.contains("grow"));
    EXPECT_FALSE(reread.contains("stale"));
}

// A settings file the operator keeps as a link (into a synced folder) stays a link, and the file
// it leads to is the one updated.
TEST(UserDefaultsWrites, ASettingsFileKeptAsALinkStaysOneAndItsTargetIsUpdated) {
    QTemporaryDir dir;
    const QString synced = dir.filePath("Synced/velmar.json");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("Synced")));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("config")));
    writeRaw(synced, R"({"k": 1})");
    const QString path = dir.filePath("config/velmar.json");
    ASSERT_TRUE(QFile::link(synced, path));
    UserDefaults d(path);
    d.set("k", 2);
    d.set("other", true);
    EXPECT_FALSE(d.problem().has_value());
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(UserDefaults(synced).integer("k"), 2);
    EXPECT_EQ(UserDefaults(synced).boolean("other"), true);
    EXPECT_EQ(QDir(dir.filePath("config"))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList{"velmar.json"});
}

// What the writer would not replace is not read as the user's settings either: another user's
// file, or another user's link to a file of theirs (their choice of autosave folder would
// otherwise send the operator's work there). Nothing is read, nothing written over.
TEST(UserDefaultsWrites, AnotherUsersFileOrLinkAtTheNameIsNeitherReadNorWritten) {
    QTemporaryDir dir;
    const QString theirs = dir.filePath("theirs.json");
    writeRaw(theirs, R"({"autosaveDirectoryPath": "/tmp/theirs"})");
    const QString linked = dir.filePath("linked.json");
    ASSERT_TRUE(QFile::link(theirs, linked));
    for (const QString& planted : {theirs, linked}) {
        if (::lchown(encodedPath(planted).constData(), 65534, 65534) != 0)
            GTEST_SKIP() << "another user's files need chown";
    }
    for (const QString& path : {theirs, linked}) {
        UserDefaults d(path);
        EXPECT_FALSE(d.string("autosaveDirectoryPath").has_value()) << path.toStdString();
        ASSERT_TRUE(d.problem().has_value());
        EXPECT_EQ(d.problem()->kind, Kind::unreadable);
        d.set("k", 1);
        EXPECT_EQ(readAll(theirs), R"({"autosaveDirectoryPath": "/tmp/theirs"})");
        EXPECT_TRUE(QFileInfo(linked).isSymLink());
    }
}

// Root's settings file (an administrator's) is read, and left exactly as it is like one made
// read-only: changes live in memory, told once as read-only. One that does not parse is not moved
// aside either. The tests run as root, whose file is its own: the child runs as nobody, in a folder
// of nobody's, where the writer could otherwise rename over root's file.
TEST(UserDefaultsWrites, RootsSettingsFileIsReadAndLeftAsItIsLikeAReadOnlyOne) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
    constexpr uid_t nobody = 65534;
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(encodedPath(dir.path()).constData(), 0711), 0);
    const QString folder = dir.filePath("nobody");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chown(encodedPath(folder).constData(), nobody, nobody), 0);
    const QString path = folder + "/velmar.json";
    const QString broken = folder + "/broken.json";
    writeRaw(path, R"({"k": 1})");
    writeRaw(broken, R"({"k": 1,)");
    for (const QString& file : {path, broken})
        ASSERT_EQ(::chmod(encodedPath(file).constData(), 0644), 0);

    const auto child = test::ChildProbe::run(
        [] {},
        [&] {
            if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) return QByteArray("not nobody");
            UserDefaults d(path);
            QList<Kind> told;
            d.setProblemObserver([&](const UserDefaults::Problem& p) { told << p.kind; });
            QByteArray seen = d.integer("k") == 1 ? "read " : "not read ";
            d.set("k", 2);
            d.set("k", 3);
            seen += told == QList<Kind>{Kind::readOnly} && d.integer("k") == 3 ? "told once"
                                                                               : "told wrongly";
            UserDefaults(broken).set("k", 2);
            return seen;
        });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.output, "read told once");
    EXPECT_EQ(readAll(path), R"({"k": 1})");
    EXPECT_EQ(readAll(broken), R"({"k": 1,)");
    EXPECT_EQ(
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
        (QStringList{"broken.json", "velmar.json"}));
}

// A file the operator made read-only stays exactly as it is (bits and contents, also for root);
// changes live in memory for the run and the problem is told once, not at every change, nor
// before anything changed (the program sets some values again, unchanged, at every start).
TEST(UserDefaultsWrites, ASettingsFileMadeReadOnlyIsLeftAsItIsAndToldOnce) {
    QTemporaryDir dir;
    for (const mode_t mode : {0400, 0444}) {
        SCOPED_TRACE(mode);
        const QString path = dir.filePath(QStringLiteral("velmar-%1.json").arg(mode, 0, 8));
        const QByteArray original = "{\"k\": 1}";
        writeRaw(path, original);
        ASSERT_EQ(::chmod(encodedPath(path).constData(), mode), 0);
        UserDefaults d(path);
        QList<UserDefaults::Problem> told;
        d.setProblemObserver([&](const UserDefaults::Problem& p) { told << p; });
        d.set("k", 1);
        EXPECT_TRUE(told.isEmpty());
        d.set("k", 2);
        d.set("k", 3);
        ASSERT_EQ(told.size(), 1);
        EXPECT_EQ(told[0].kind, Kind::readOnly);
        EXPECT_EQ(d.integer("k"), 3);
        EXPECT_EQ(readAll(path), original);
        struct stat st {};
        ASSERT_EQ(::stat(encodedPath(path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
    }
}

// At the start only the writer's own stale temporaries go, beside the name and beside the file a
// link there leads to; the operator's copies of the file stay whatever they are called, however
// old, such as the six letters and digits an earlier writer gave its temporaries.
TEST(UserDefaultsWrites, AtTheStartOnlyTheWritersOwnTemporariesAreRemoved) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath("config")) && QDir().mkpath(dir.filePath("Synced")));
    writeRaw(dir.filePath("Synced/velmar.json"), R"({"k": 1})");
    const QString path = dir.filePath("config/velmar.json");
    ASSERT_TRUE(QFile::link(dir.filePath("Synced/velmar.json"), path));
    const QStringList copies = {"velmar.json.QWERTY", "velmar.json.Backup", "velmar.json.OLD123",
                                "velmar.json.2026Q1"};
    const QString temporary = ".velmar.json.tmp-0b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b";
    for (const QString& folder : {dir.filePath("config"), dir.filePath("Synced")}) {
        for (const QString& name : copies + QStringList{temporary}) {
            writeRaw(folder + u'/' + name, "{}");
            const utimbuf past{1'000'000, 1'000'000};
            ASSERT_EQ(::utime(encodedPath(folder + u'/' + name).constData(), &past), 0);
        }
    }
    UserDefaults d(path);
    EXPECT_EQ(d.integer("k"), 1);
    const auto left = [&](const QString& folder) {
        return QDir(dir.filePath(folder))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name);
    };
    QStringList expected = copies + QStringList{"velmar.json"};
    expected.sort();
    EXPECT_EQ(left("config"), expected);
    EXPECT_EQ(left("Synced"), expected);
}

}  // namespace
}  // namespace velmar
