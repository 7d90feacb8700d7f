#include "core/playout_log.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "support/fake_clock.h"
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
#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace velmar {
namespace {

// 2026-03-14 12:34:56.789 UTC (tests run with TZ=UTC).
constexpr double kNoon = 1773491696.789;

struct LogFixture : ::testing::Test {
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    QTemporaryDir dir;
    QString logs = dir.path() + "/DOVRINE/Logs";
    test::FakeClock clock{kNoon};
    QStringList opened;
    PlayoutLog log{logs, clock, clock, [this](const QString& p) { opened << p; }};

    QString read(const QString& day = "2026-03-14", bool wait = true) {
        if (wait) flushed();
        QFile f(logs + "/velmar-" + day + ".log");
        if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
        return QString::fromUtf8(f.readAll());
    }
    void flushed() { log.waitForPendingWrites(); }
    void flushNow(const char* line) {
        log.write(line);
        log.flush();
        flushed();
    }
};

TEST_F(LogFixture, StampsOfTimesBeforeTheEpochRoundDown) {
    const auto before = std::chrono::system_clock::time_point(std::chrono::milliseconds(-1));
    EXPECT_EQ(PlayoutLog::timeStamp(before), "23:59:59.999");
    EXPECT_EQ(PlayoutLog::dayStamp(before), "1969-12-31");
}

TEST_F(LogFixture, FlushTimerAppendsEveryFiveSecondsAndEmptyFlushMakesNoFile) {
    log.flush();
    EXPECT_EQ(read(), "<missing>");
    log.start();
    log.start();  // a second start neither writes a banner nor adds a timer
    EXPECT_EQ(clock.activeTimerCount(), 1);
    clock.advance(4.9);
    EXPECT_EQ(read(), "<missing>") << "nothing reaches the file before the first tick";
    clock.advance(0.1);
    EXPECT_EQ(read(), QStringLiteral("12:34:56.789  ---- DOVRINE 起動 ----\n"));
    log.write("A");
    clock.advance(5.0);
    EXPECT_EQ(read(), QStringLiteral("12:34:56.789  ---- DOVRINE 起動 ----\n12:35:01.789  A\n"));
}

TEST_F(LogFixture, StopWritesItsBannerToDiskBeforeReturning) {
    log.start();
    log.write("X");
    log.stop();  // no wait: the lines must already be in the file
    EXPECT_EQ(read("2026-03-14", false), QStringLiteral("12:34:56.789  ---- DOVRINE 起動 ----\n"
                                                        "12:34:56.789  X\n"
                                                        "12:34:56.789  ---- DOVRINE 終了 ----\n"));
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

// A clip's name with a line feed or other control characters cannot end its line early and
// forge the lines after it.
TEST_F(LogFixture, ControlCharactersInATextStayOnItsLine) {
    flushNow("TAKE  a\n12:00:00.000  PANIC\r\x7f\tb");
    EXPECT_EQ(read(),
              QStringLiteral("12:34:56.789  TAKE  a\\x0a12:00:00.000  PANIC\\x0d\\x7f\tb\n"));
}

// Next line and the line and paragraph separators end a line in some viewers; the bidirectional
// embeddings, overrides, isolates and marks show the rest of it reversed; the C1 controls drive a
// terminal (CSI, OSC). Their neighbours stay as they are, and a backslash is doubled so that no
// text passes for an escape.
TEST_F(LogFixture, LineBreakingAndDirectionCharactersAreEscapedTheirNeighboursAreNot) {
    flushNow(
        "a~\u0080\u0085\u009b\u009d\u009f\u00a0 \u2027\u2028\u2029\u202a\u202e\u202f "
        "\u2065\u2066\u2069\u206a \u200d\u200e\u200f\u2010 \u061b\u061c\u061d \\x41\\z");
    EXPECT_EQ(read(),
              QStringLiteral("12:34:56.789  a~\\x80\\x85\\x9b\\x9d\\x9f\u00a0 \u2027\\u2028"
                             "\\u2029\\u202a\\u202e\u202f \u2065\\u2066\\u2069\u206a "
                             "\u200d\\u200e\\u200f\u2010 \u061b\\u061c\u061d \\\\x41\\\\z\n"));
}

TEST_F(LogFixture, OnlyTheNewest4000LinesSurviveBetweenFlushes) {
    for (int i = 0; i < 4001; ++i) log.write(QString::number(i));
    log.flush();
    const QStringList lines = read().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4000);
    EXPECT_TRUE(lines.first().endsWith("  1"));
    EXPECT_TRUE(lines.last().endsWith("  4000"));
}

TEST_F(LogFixture, LinesWrittenBeforeMidnightAndFlushedAfterGoToTheNextDay) {
    clock.setWallTime(1773532798.0);  // 2026-03-14 23:59:58
    log.start();
    log.write("late");
    clock.advance(5.0);  // first tick at 00:00:03 on the 15th
    EXPECT_EQ(read("2026-03-14"), "<missing>");
    EXPECT_EQ(read("2026-03-15"), QStringLiteral("23:59:58.000  ---- DOVRINE 起動 ----\n"
                                                 "23:59:58.000  late\n"));
}

TEST_F(LogFixture, ADayFileThatCannotBeOpenedIsNeverReplacedAndItsLinesAreRetried) {
    // A folder in the file's place cannot be opened for appending.
    const QString day = logs + "/velmar-2026-03-14.log";
    ASSERT_TRUE(QDir().mkpath(day));
    ASSERT_TRUE(QFile(day + "/keep").open(QIODevice::WriteOnly));
    flushNow("first");
    EXPECT_TRUE(QFileInfo::exists(day + "/keep"));
    ASSERT_TRUE(QDir(day).removeRecursively());
    flushNow("second");
    EXPECT_EQ(read(), QStringLiteral("12:34:56.789  first\n12:34:56.789  second\n"));
}

// A full disk (a file-size limit) cuts a flush short: the file goes back to whole lines and the
// lines come again with the next flush. A line a crash left cut is ended first.
TEST_F(LogFixture, AFullDiskLeavesWholeLinesAndTheLinesAreRetried) {
    const QString path = logs + "/velmar-2026-03-14.log";
    ASSERT_TRUE(QDir().mkpath(logs));
    {
        QFile cut(path);
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly) && cut.write("12:00:00.000  cu") == 16);
    }
    {
        const test::FileSizeLimit full(40);
        ASSERT_TRUE(full.ok());
        for (const char* text : {"one", "two"}) log.write(text);
        flushNow("three");
    }
    EXPECT_EQ(read(), QStringLiteral("12:00:00.000  cu"));
    flushNow("four");
    EXPECT_EQ(read(), QStringLiteral("12:00:00.000  cu\n12:34:56.789  one\n12:34:56.789  two\n"
                                     "12:34:56.789  three\n12:34:56.789  four\n"));
}

// Another process plants a link to a file of its choice, then a pipe, at the day's name: nothing
// is written through the link or lost in the pipe, each failure is told once, in the status line
// and on standard error, saying what is in the file's place, and the lines come with the first
// flush that finds a file again.
TEST_F(LogFixture, ALinkOrPipeAtTheDayFileIsNotWrittenAndWhatIsThereIsTold) {
    static std::mutex warningsMutex;
    static QStringList warnings;
    warnings.clear();  // a run repeated in one process starts afresh
    const QtMessageHandler before =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            std::lock_guard lock(warningsMutex);
            warnings << text;
        });
    LanguageSettings& language = LanguageSettings::shared();
    const AppLanguage interfaceBefore = language.language();
    language.setLanguage(AppLanguage::en);
    QStringList told;
    log.setFailureHandler([&told](const QString& text) { told << text; });
    const QString day = logs + "/velmar-2026-03-14.log";
    const QString outside = dir.path() + "/outside.txt";
    ASSERT_TRUE(QDir().mkpath(logs));
    QFile out(outside);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write("mine\n") == 5);
    out.close();
    ASSERT_TRUE(QFile::link(outside, day));
    flushNow("first");
    flushNow("second");
    ASSERT_TRUE(QFile::remove(day));
    flushNow("third");
    ASSERT_TRUE(QFile::rename(day, day + ".kept"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(day).constData(), 0600), 0);
    flushNow("fourth");
    ASSERT_TRUE(QFile::remove(day));
    ASSERT_TRUE(QFile::rename(day + ".kept", day));
    flushNow("fifth");
    // Another user's file, in a folder others can write (made so only where chown works).
    ASSERT_TRUE(QFile::rename(day, day + ".kept"));
    QFile theirs(day);
    ASSERT_TRUE(theirs.open(QIODevice::WriteOnly) && theirs.write("theirs\n") == 7);
    theirs.close();
    const bool othersFile = ::chown(QFile::encodeName(day).constData(), 65534, 65534) == 0;
    const auto putBack = [&] {
        ASSERT_TRUE(QFile::remove(day));
        ASSERT_TRUE(QFile::rename(day + ".kept", day));
    };
    if (!othersFile) putBack();
    flushNow("sixth");
    if (othersFile) {
        QFile check(day);
        ASSERT_TRUE(check.open(QIODevice::ReadOnly));
        EXPECT_EQ(check.readAll(), "theirs\n");
        putBack();
    }
    flushNow("seventh");
    qInstallMessageHandler(before);
    language.setLanguage(interfaceBefore);

    const QString link = "a symbolic link is in its place (not followed)";
    const QString pipe = "not a regular file (a pipe, device or socket is in its place)";
    const QString warned = "DOVRINE: cannot append to the operation log " + day + ": ";
    QStringList expectTold{"Cannot write the operation log: " + link,
                           "Cannot write the operation log: " + pipe};
    QStringList expectWarned{warned + link, warned + pipe};
    if (othersFile) {
        expectTold << "Cannot write the operation log: Another user's file is in its place";
        expectWarned << warned + "another user's file is in its place";
    }
    EXPECT_EQ(told, expectTold);
    std::lock_guard lock(warningsMutex);
    EXPECT_EQ(warnings, expectWarned);
    QFile check(outside);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), "mine\n");
    EXPECT_EQ(read(),
              QStringLiteral("12:34:56.789  first\n12:34:56.789  second\n"
                             "12:34:56.789  third\n12:34:56.789  fourth\n"
                             "12:34:56.789  fifth\n12:34:56.789  sixth\n12:34:56.789  seventh\n"));
}

// Pruning deletes only this log's own old day files: not other ".log" files, not a link (nor
// what it leads to), not a file of another user, not a folder.
TEST_F(LogFixture, PruningDeletesOnlyOurOwnOldDayFiles) {
    ASSERT_TRUE(QDir().mkpath(logs + "/velmar-2025-01-05.log"));
    const QString outside = dir.path() + "/velmar-2025-01-03.log";
    const std::tuple<QString, double, bool> cases[] = {{"velmar-2025-09-13.log", 182, false},
                                                       {"velmar-2025-01-01.log", 400, false},
                                                       {"velmar-2025-09-16.log", 179, true},
                                                       {"velmar-2025-01-02.log.1", 400, true},
                                                       {"velmar-2025-1-02.log", 400, true},
                                                       {"velmar-2025-01-04.log", 400, true},
                                                       {"old.log", 181, true},
                                                       {".hidden.log", 400, true},
                                                       {"notes.txt", 400, true},
                                                       {outside, 400, true}};
    const auto at = [&](const QString& name) {
        return name.startsWith('/') ? name : logs + "/" + name;
    };
    for (const auto& [name, ageDays, kept] : cases) {
        ASSERT_TRUE(QFile(at(name)).open(QIODevice::WriteOnly));
        const auto when = static_cast<time_t>(kNoon - ageDays * 86400.0);
        const utimbuf times{when, when};
        ASSERT_EQ(utime(QFile::encodeName(at(name)).constData(), &times), 0);
    }
    // Another user's file of our name.
    ASSERT_EQ(::chown(QFile::encodeName(at("velmar-2025-01-04.log")).constData(), 4242, 4242), 0);
    ASSERT_TRUE(QFile::link(outside, logs + "/velmar-2025-01-03.log"));
    log.start();
    flushed();
    for (const auto& [name, ageDays, kept] : cases)
        EXPECT_EQ(QFileInfo::exists(at(name)), kept) << name.toStdString();
    EXPECT_TRUE(QFileInfo(logs + "/velmar-2025-01-03.log").isSymLink());
    EXPECT_TRUE(QFileInfo(logs + "/velmar-2025-01-05.log").isDir());
}

TEST_F(LogFixture, RevealFlushesAndOpensTheFolder) {
    log.write("x");
    log.revealInFileManager();
    EXPECT_NE(read(), "<missing>");
    EXPECT_EQ(opened, QStringList{logs});
}

TEST(PlayoutLogWithoutFolder, DropsLinesQuietly) {
    test::FakeClock clock;
    PlayoutLog log(QString(), clock, clock, [](const QString&) { FAIL() << "nothing to open"; });
    log.start();
    log.write("x");
    log.stop();
    log.revealInFileManager();
    EXPECT_TRUE(log.fileName().isEmpty());
}

}  // namespace
}  // namespace velmar
