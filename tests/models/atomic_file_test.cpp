#include "models/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Nothing but the named files may be left in the folder (no temporary files).
QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

TEST(AtomicFileTest, WritesReplacesAndKeepsMode) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.txt"));
    ASSERT_TRUE(AtomicFile::write(path, "first"));
    EXPECT_EQ(readAll(path), "first");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    ASSERT_TRUE(AtomicFile::write(path, QByteArray()));
    EXPECT_EQ(readAll(path), "");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("a.txt")});
}

TEST(AtomicFileTest, FailedWritesLoseNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("project.tavrendek"));
    ASSERT_TRUE(AtomicFile::write(path, "old contents"));
    QString error;

    // Into a missing folder, and over a folder.
    EXPECT_FALSE(AtomicFile::write(dir.filePath(QStringLiteral("no/such/file")), "x", &error));
    EXPECT_FALSE(error.isEmpty());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    EXPECT_FALSE(AtomicFile::write(dir.filePath(QStringLiteral("sub")), "x"));

    // A read-only folder (root writes anyway, so this case only means something for others).
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0500), 0);
        EXPECT_FALSE(AtomicFile::write(path, "new contents"));
        ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
        EXPECT_EQ(readAll(path), "old contents");
    }

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
    EXPECT_EQ(readAll(path), "old contents");

    QStringList expected{QStringLiteral("project.tavrendek")};
    EXPECT_EQ(entries(dir.path()), expected);
}

}  // namespace
}  // namespace velmar
