#include "platform/base/user_defaults.h"
#include "support/child_probe.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace velmar {
namespace {

TEST(UserDefaults, ValuesKeepTheirTypesAcrossInstances) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/settings/defaults.json";
    {
        UserDefaults d(path);
        d.set("s", QStringLiteral("テキスト"));
        d.set("b", true);
        d.set("i", 42);
        d.set("big", 9007199254740993LL);  // beyond a double's exact range
        d.set("x", 0.25);
        d.set("list", QStringList{"en"});
    }
    UserDefaults d(path);
    EXPECT_EQ(d.string("s"), QStringLiteral("テキスト"));
    EXPECT_EQ(d.boolean("b"), true);
    EXPECT_EQ(d.integer("i"), 42);
    EXPECT_EQ(d.number("x"), 0.25);
    EXPECT_EQ(d.stringList("list"), QStringList{"en"});
    EXPECT_TRUE(d.integer("big").has_value());
}

TEST(UserDefaults, WrongTypesAndBadFilesReadAsNothing) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/defaults.json";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"({"half": 1.5, "text": "7", "flag": 1, "list": ["a", 2], "huge": 1e300})");
    f.close();
    UserDefaults d(path);
    EXPECT_FALSE(d.integer("half").has_value());
    EXPECT_EQ(d.number("half"), 1.5);
    EXPECT_FALSE(d.integer("text").has_value());
    EXPECT_FALSE(d.boolean("flag").has_value());
    EXPECT_FALSE(d.string("flag").has_value());
    EXPECT_FALSE(d.stringList("list").has_value());
    EXPECT_FALSE(d.integer("huge").has_value());
    EXPECT_FALSE(d.string("missing").has_value());

    const QString broken = dir.path() + "/broken.json";
    QFile g(broken);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    g.write("{not json");
    g.close();
    UserDefaults e(broken);
    EXPECT_FALSE(e.contains("anything"));
}

// A file that was not written by a clean run is never written over: one that does not parse is
// moved aside, also when it turns up between writes, and the pairs of it that parse are kept;
// one that cannot be read at all (here a folder in its place) is left as it is.
TEST(UserDefaults, AFileThatCannotBeReadIsNeverWrittenOver) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/velmar.json";
    auto write = [&](const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    write(R"({"autosaveDirectoryPath": "/shows/auto", "n": 1e309, "list": ["a",],
              "flag": true,})");
    QList<UserDefaults::Problem> told;
    UserDefaults d(path);
    d.setProblemObserver([&](const UserDefaults::Problem& p) { told << p; });
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told[0].kind, UserDefaults::Problem::Kind::setAside);
    EXPECT_TRUE(told[0].movedTo.startsWith(path + ".broken-")) << told[0].movedTo.toStdString();
    EXPECT_EQ(d.string("autosaveDirectoryPath"), "/shows/auto");
    EXPECT_EQ(d.boolean("flag"), true);
    EXPECT_FALSE(d.contains("n") || d.contains("list"));
    d.set("k", 2);
    EXPECT_EQ(UserDefaults(path).string("autosaveDirectoryPath"), "/shows/auto");

    write(R"({"k": 3, "other": "x",})");  // another copy left it broken
    d.set("more", true);
    ASSERT_EQ(told.size(), 2);
    EXPECT_EQ(QDir(dir.path()).entryList({"velmar.json.broken-*"}, QDir::Files).size(), 2);
    UserDefaults after(path);
    EXPECT_EQ(after.integer("k"), 3);
    EXPECT_EQ(after.string("other"), "x");
    EXPECT_EQ(after.string("autosaveDirectoryPath"), "/shows/auto");
    EXPECT_EQ(after.boolean("more"), true);

    const QString blocked = dir.path() + "/blocked.json";
    ASSERT_TRUE(QDir().mkpath(blocked + "/inside"));
    UserDefaults e(blocked);
    ASSERT_TRUE(e.problem().has_value());
    EXPECT_EQ(e.problem()->kind, UserDefaults::Problem::Kind::unreadable);
    e.set("k", QStringLiteral("v"));
    EXPECT_EQ(e.string("k"), "v");  // kept for the run
    EXPECT_TRUE(QFileInfo(blocked + "/inside").isDir());
}

// A write that fails (here a file where the settings folder was) is told once and loses nothing:
// every value stays readable, and the first write that works again puts all of them in the file.
TEST(UserDefaults, AFailedWriteKeepsEveryValueAndIsToldOnceUntilWritingWorksAgain) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/settings";
    const QString path = folder + "/velmar.json";
    UserDefaults d(path);
    QList<UserDefaults::Problem> told;
    d.setProblemObserver([&](const UserDefaults::Problem& p) { told << p; });
    d.set("kept", 1);
    d.set("gone", true);
    ASSERT_TRUE(told.isEmpty());

    ASSERT_TRUE(QDir(folder).removeRecursively());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    d.set("during", QStringLiteral("x"));
    d.remove("gone");
    ASSERT_EQ(told.size(), 1);
    EXPECT_EQ(told[0].kind, UserDefaults::Problem::Kind::writeFailed);
    EXPECT_EQ(told[0].error, folder + " is not a folder");
    EXPECT_EQ(d.problem()->kind, UserDefaults::Problem::Kind::writeFailed);
    EXPECT_EQ(d.integer("kept"), 1);
    EXPECT_EQ(d.string("during"), "x");
    EXPECT_FALSE(d.contains("gone"));

    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().mkpath(folder));
    d.set("after", 2.5);
    ASSERT_EQ(told.size(), 2);
    EXPECT_EQ(told[1].kind, UserDefaults::Problem::Kind::writeResumed);
    EXPECT_FALSE(d.problem().has_value());
    d.set("later", 3);
    EXPECT_EQ(told.size(), 2);
    UserDefaults reread(path);
    EXPECT_EQ(reread.integer("kept"), 1);
    EXPECT_EQ(reread.string("during"), "x");
    EXPECT_EQ(reread.number("after"), 2.5);
    EXPECT_EQ(reread.integer("later"), 3);
    EXPECT_FALSE(reread.contains("gone"));
}

// A file of exactly the limit is read; one byte more and it goes aside like one that does not
// parse, keeping only the pairs on its whole lines within the limit (a number cut at the limit
// would read as another number). A file far larger is never held in memory.
TEST(UserDefaults, AFileOverTheSizeLimitIsSetAsideLikeOneThatDoesNotParse) {
    QTemporaryDir dir;
    const auto write = [&](const QString& path, qint64 size) {
        const QByteArray head = "{\"flag\": true,\n\"pad\": \"";
        const QByteArray tail = "\",\n\"fader\": 0.755}";
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(head + QByteArray(size - head.size() - tail.size(), 'x') + tail);
    };
    // Two files: settings objects of one path share what was read of it.
    const QString atLimit = dir.path() + "/at.json";
    const QString over = dir.path() + "/over.json";
    write(atLimit, UserDefaults::kMaxFileBytes);
    {
        UserDefaults d(atLimit);
        EXPECT_FALSE(d.problem().has_value());
        EXPECT_EQ(d.boolean("flag"), true);
        EXPECT_EQ(d.number("fader"), 0.755);
        EXPECT_TRUE(d.contains("pad"));
    }
    write(over, UserDefaults::kMaxFileBytes + 1);
    UserDefaults d(over);
    ASSERT_TRUE(d.problem().has_value());
    EXPECT_EQ(d.problem()->kind, UserDefaults::Problem::Kind::setAside);
    EXPECT_EQ(QFileInfo(d.problem()->movedTo).size(), UserDefaults::kMaxFileBytes + 1);
    EXPECT_EQ(d.boolean("flag"), true);
    EXPECT_TRUE(d.contains("pad"));  // its line ends within the limit
    EXPECT_FALSE(d.contains("fader"));
    EXPECT_EQ(UserDefaults(over).boolean("flag"), true);

    const QString huge = dir.path() + "/huge.json";
    QFile sparse(huge);
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly) && sparse.resize(256 << 20));
    sparse.close();
    const auto child = test::ChildProbe::run([&] { UserDefaults(dir.path() + "/warm.json"); },
                                             [&] {
                                                 UserDefaults e(huge);
                                                 return QByteArray::number(e.problem().has_value());
                                             });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.output, "1");
    EXPECT_LT(child.growthBytes, 32 << 20);
}

// What is written is read back whole at the next start. A file of exactly the limit, which the
// indented form makes larger, loses the largest value that no key of the run asked for; a file
// over the limit is moved aside once, and what is salvaged of it is not moved aside again.
TEST(UserDefaults, WhatIsWrittenIsReadBackWholeAtTheNextStart) {
    QTemporaryDir dir;
    for (const qint64 size : {UserDefaults::kMaxFileBytes, UserDefaults::kMaxFileBytes + 1}) {
        SCOPED_TRACE(size);
        const QString path = dir.path() + QStringLiteral("/%1.json").arg(size);
        const QByteArray head = "{\"fader\":0.5,\n\"pad\":\"";
        const QByteArray tail = "\",\n\"z\":1}";
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(head + QByteArray(size - head.size() - tail.size(), 'x') + tail);
        f.close();
        UserDefaults(path).set("x", 1);
        EXPECT_LE(QFileInfo(path).size(), UserDefaults::kMaxFileBytes);
        UserDefaults next(path);
        EXPECT_FALSE(next.problem().has_value());
        EXPECT_EQ(next.number("fader"), 0.5);
        EXPECT_EQ(next.integer("x"), 1);
        EXPECT_FALSE(next.contains("pad"));
        EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("%1.json.broken-*").arg(size)}).size(),
                  size > UserDefaults::kMaxFileBytes ? 1 : 0);
    }
}

// A pipe in the file's place, there at the start or put there while running, reads as a file
// that cannot be read, and one at the name of a lock beside it is no concern: nothing waits for
// a writer. A child runs it, so that a hang ends as a failure.
TEST(UserDefaults, APipeInTheFilesPlaceIsRefusedAtOnce) {
    QTemporaryDir dir;
    const QByteArray atStart = QFile::encodeName(dir.path() + "/start.json");
    const QByteArray later = QFile::encodeName(dir.path() + "/later.json");
    ASSERT_EQ(::mkfifo(atStart.constData(), 0600), 0);
    ASSERT_EQ(::mkfifo((later + ".lock").constData(), 0600), 0);
    const auto child = test::ChildProbe::run(
        [] {},
        [&] {
            const auto refused = [](const UserDefaults& d) {
                return d.problem() && d.problem()->kind == UserDefaults::Problem::Kind::unreadable;
            };
            QByteArray seen =
                refused(UserDefaults(QFile::decodeName(atStart))) ? "refused " : "read ";
            UserDefaults running(QFile::decodeName(later));
            running.set("k", 1);
            seen += UserDefaults(QFile::decodeName(later)).integer("k") == 1 ? "written " : "lost ";
            if (::unlink(later.constData()) != 0 || ::mkfifo(later.constData(), 0600) != 0)
                return QByteArray("setup");
            running.set("k", 2);
            return seen + (refused(running) && running.integer("k") == 2 ? "refused" : "read");
        });
    ASSERT_TRUE(child.exited) << "hung on the pipe";
    EXPECT_EQ(child.output, "refused written refused");
}

// The tests run as root, who may read any file: the child runs as nobody. A settings file it
// cannot read, from the start or made so right after a write, is left exactly as it is; the
// values live in memory for the run.
TEST(UserDefaults, ARegularFileThatCannotBeReadIsNeverWrittenOver) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
    constexpr uid_t nobody = 65534;
    QTemporaryDir dir;
    const QString folder = dir.path() + "/nobody";
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0711), 0);
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), nobody, nobody), 0);
    const QString start = folder + "/start.json";
    const QString later = folder + "/later.json";
    {
        QFile f(start);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(R"({"k": 1})");
    }
    ASSERT_EQ(::chown(QFile::encodeName(start).constData(), nobody, nobody), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(start).constData(), 0200), 0);

    const auto child = test::ChildProbe::run(
        [] {},
        [&] {
            if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) return QByteArray("not nobody");
            QByteArray seen;
            const auto check = [&](UserDefaults& d) {
                d.set("k", 2);
                const bool unreadable =
                    d.problem() && d.problem()->kind == UserDefaults::Problem::Kind::unreadable;
                seen += unreadable && d.integer("k") == 2 ? "kept " : "lost ";
            };
            UserDefaults fromStart(start);
            check(fromStart);
            UserDefaults fromLater(later);
            fromLater.set("k", 1);
            if (::chmod(QFile::encodeName(later).constData(), 0200) != 0)
                return QByteArray("chmod");
            check(fromLater);
            return seen;
        });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.output, "kept kept ");
    for (const QString& file : {start, later}) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(QJsonDocument::fromJson(f.readAll()).object().value("k"), 1)
            << file.toStdString();
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0200u) << file.toStdString();
    }
}

TEST(UserDefaults, RemoveForgetsTheKey) {
    QTemporaryDir dir;
    UserDefaults d(dir.path() + "/d.json");
    d.set("k", QStringLiteral("v"));
    d.remove("k");
    EXPECT_FALSE(d.contains("k"));
    EXPECT_FALSE(UserDefaults(dir.path() + "/d.json").contains("k"));
}

}  // namespace
}  // namespace velmar
