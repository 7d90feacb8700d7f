#include "core/playout_log.h"
#include "support/fake_clock.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <utime.h>
#include <csignal>
#include <cstdlib>

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
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 40;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    for (const char* text : {"one", "two"}) log.write(text);
    flushNow("three");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(read(), QStringLiteral("12:00:00.000  cu"));
    flushNow("four");
    EXPECT_EQ(read(), QStringLiteral("12:00:00.000  cu\n12:34:56.789  one\n12:34:56.789  two\n"
                                     "12:34:56.789  three\n12:34:56.789  four\n"));
}

TEST_F(LogFixture, PruningDeletesOnlyOldDotLogFiles) {
    ASSERT_TRUE(QDir().mkpath(logs + "/folder.log"));
    const std::tuple<const char*, double, bool> cases[] = {{"old.log", 181, false},
                                                           {".hidden.log", 400, false},
                                                           {"velmar-recent.log", 179, true},
                                                           {"notes.LOG", 400, true},
                                                           {"notes.txt", 400, true}};
    for (const auto& [name, ageDays, kept] : cases) {
        const QString path = logs + "/" + name;
        ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly));
        const auto when = static_cast<time_t>(kNoon - ageDays * 86400.0);
        const utimbuf times{when, when};
        ASSERT_EQ(utime(QFile::encodeName(path).constData(), &times), 0);
    }
    log.start();
    flushed();
    for (const auto& [name, ageDays, kept] : cases)
        EXPECT_EQ(QFileInfo::exists(logs + "/" + name), kept) << name;
    EXPECT_TRUE(QFileInfo(logs + "/folder.log").isDir());
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
