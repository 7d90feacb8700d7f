#include "models/atomic_file.h"

#include "models/localized.h"
#include "models/system_error_text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace velmar {
namespace {

using namespace Qt::Literals::StringLiterals;

using ReadOnly = AtomicFile::ReadOnlyTarget;

struct AtomicFileTest : ::testing::Test {
    QTemporaryDir dir;
    QString at(const QString& name) const { return dir.filePath(name); }
    static QByteArray readAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    static void make(const QString& path, const QByteArray& data, mode_t mode = 0644,
                     bool old = false) {
        ASSERT_TRUE(AtomicFile::write(path, data, nullptr, ReadOnly::replace));
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
        const utimbuf past{1'000'000, 1'000'000};
        ASSERT_EQ(old ? ::utime(QFile::encodeName(path).constData(), &past) : 0, 0);
    }
    static mode_t modeOf(const QString& path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 01000;
    }
    // Every entry of a folder, so that no temporary file goes unnoticed.
    QStringList entries(const QString& folder = {}) const {
        return QDir(folder.isEmpty() ? dir.path() : folder)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name);
    }
};

TEST_F(AtomicFileTest, KeepsOtherModeBitsButAlwaysLetsTheOwnerReadAndWrite) {
    const QString path = at(u"a.txt"_s);
    make(path, "first", 0640);
    ASSERT_TRUE(AtomicFile::write(path, QByteArray()));
    EXPECT_EQ(readAll(path), "");
    EXPECT_EQ(modeOf(path), 0640u);
    // An autosave someone made unreadable (000) is readable again after the next write; the
    // set-user-ID, set-group-ID and sticky bits of the old file are not handed to the new one.
    const std::pair<mode_t, mode_t> modes[] = {
        {0000, 0600}, {0044, 0644}, {0444, 0644}, {06755, 0755}, {01777, 0777}};
    for (const auto& [before, after] : modes) {
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), before), 0);
        ASSERT_TRUE(AtomicFile::write(path, "own", nullptr, ReadOnly::replace));
        EXPECT_EQ(modeOf(path), after) << std::oct << before;
    }
    EXPECT_EQ(entries(), QStringList{u"a.txt"_s});
}

// Judged from the mode bits, so the refusal holds for root too.
TEST_F(AtomicFileTest, AReadOnlyProjectIsRefusedWithThePermissionText) {
    const QString path = at(u"show.tavrendek"_s);
    make(path, "old", 0444);
    QString error;
    EXPECT_FALSE(AtomicFile::write(path, "new", &error));
    EXPECT_EQ(error, localized("アクセス権がありません"));
    EXPECT_EQ(readAll(path), "old");
    EXPECT_EQ(modeOf(path), 0444u);
}

TEST(SystemErrorText, CommonCausesAreLookedUpOthersAreTheSystemsText) {
    const std::pair<int, const char*> cases[] = {{EPERM, "アクセス権がありません"},
                                                 {ENOSPC, "ディスクの空き容量が足りません"},
                                                 {EDQUOT, "ディスクの空き容量が足りません"},
                                                 {EROFS, "読み取り専用のファイルシステムです"}};
    for (const auto& [code, key] : cases) EXPECT_EQ(systemErrorText(code), localized(key)) << code;
    EXPECT_EQ(systemErrorText(EISDIR), QString::fromLocal8Bit(std::strerror(EISDIR)));
}

TEST_F(AtomicFileTest, WritesThroughSymbolicLinksAndKeepsThem) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"real"_s));
    const QString real = at(u"real/show.tavrendek"_s);
    make(real, "old");
    // A relative link, and a link to that link.
    ASSERT_EQ(::symlink("real/show.tavrendek", QFile::encodeName(at(u"link"_s)).constData()), 0);
    ASSERT_TRUE(QFile::link(at(u"link"_s), at(u"chain"_s)));
    ASSERT_TRUE(AtomicFile::write(at(u"chain"_s), "new"));
    EXPECT_EQ(readAll(real), "new");
    EXPECT_EQ(entries(), (QStringList{u"chain"_s, u"link"_s, u"real"_s}));
    EXPECT_TRUE(QFileInfo(at(u"link"_s)).isSymLink());
    EXPECT_EQ(entries(at(u"real"_s)), QStringList{u"show.tavrendek"_s});
    // The program's own files replace a link at their name and leave its target alone.
    ASSERT_TRUE(AtomicFile::write(at(u"chain"_s), "own", nullptr, ReadOnly::replace,
                                  AtomicFile::SymbolicLink::replace));
    EXPECT_FALSE(QFileInfo(at(u"chain"_s)).isSymLink());
    EXPECT_EQ(readAll(at(u"chain"_s)), "own");
    EXPECT_EQ(readAll(real), "new");
    EXPECT_EQ(modeOf(at(u"chain"_s)) & 0600, 0600u);

    // Links that lead round in a circle are an error, not a hang.
    ASSERT_TRUE(QFile::link(at(u"loop-a"_s), at(u"loop-b"_s)));
    ASSERT_TRUE(QFile::link(at(u"loop-b"_s), at(u"loop-a"_s)));
    EXPECT_FALSE(AtomicFile::write(at(u"loop-a"_s), "x"));
}

TEST_F(AtomicFileTest, OnlyOurOwnStaleTemporariesOfTheSameTargetAreRemoved) {
    const QString uuid = u"0b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b"_s;
    const QString mine = u".show.tavrendek.tmp-"_s;
    make(at(u"notes.txt"_s), "n", 0644, true);
    make(at(mine + uuid), "killed", 0644, true);                          // removed
    make(at(mine + u"1b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b"_s), "young");  // being written
    make(at(mine + uuid.toUpper()), "x", 0644, true);
    make(at(mine + uuid + u'x'), "x", 0644, true);
    make(at(u".other.tavrendek.tmp-"_s + uuid), "x", 0644, true);
    ASSERT_TRUE(QDir(dir.path()).mkdir(mine + u"2b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b"_s));
    ASSERT_TRUE(
        QFile::link(at(u"notes.txt"_s), at(mine + u"3b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b"_s)));
    QStringList expected = entries();
    expected.removeOne(mine + uuid);
    expected << u"show.tavrendek"_s;
    expected.sort();

    ASSERT_TRUE(AtomicFile::write(at(u"show.tavrendek"_s), "saved"));
    EXPECT_EQ(entries(), expected);
    EXPECT_EQ(readAll(at(u"notes.txt"_s)), "n");
}

TEST_F(AtomicFileTest, FailedWritesLoseNothing) {
    const QString path = at(u"project.tavrendek"_s);
    make(path, "old contents");
    QString error;
    EXPECT_FALSE(AtomicFile::write(at(u"no/such/file"_s), "x", &error));
    EXPECT_EQ(error, localized("ファイルまたはフォルダが見つかりません"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"sub"_s));
    EXPECT_FALSE(AtomicFile::write(at(u"sub"_s), "x"));

    // The disk fills up in the middle of the write: a file-size limit makes write() fail after
    // 4 KiB, the way a full disk does.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = AtomicFile::write(path, QByteArray(100000, 'n'), &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, systemErrorText(EFBIG));
    EXPECT_EQ(readAll(path), "old contents");
    EXPECT_EQ(entries(), (QStringList{u"project.tavrendek"_s, u"sub"_s}));
}

}  // namespace
}  // namespace velmar
