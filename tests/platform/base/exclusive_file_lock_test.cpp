#include "platform/base/exclusive_file_lock.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace velmar {
namespace {

TEST(ExclusiveFileLock, OneHolderAtATimeAlsoWithinOneProcess) {
    QTemporaryDir dir;
    const QString path = dir.filePath("held.lock");
    ExclusiveFileLock first, second;
    ASSERT_TRUE(first.tryLock(path));
    EXPECT_FALSE(second.tryLock(path));
    EXPECT_FALSE(second.isLocked());
    first.release();
    EXPECT_TRUE(second.tryLock(path));
    EXPECT_FALSE(first.tryLock(path));
    EXPECT_FALSE(ExclusiveFileLock().tryLock(dir.filePath("missing/folder/x.lock")));
}

// A holder killed outright leaves no lock behind, though its lock file stays.
TEST(ExclusiveFileLock, AKilledHolderLeavesTheLockFree) {
    QTemporaryDir dir;
    const QString path = dir.filePath("held.lock");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(60);
        ExclusiveFileLock held;
        const char byte = held.tryLock(path) ? 1 : 0;
        [[maybe_unused]] const ssize_t n = ::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);
    ExclusiveFileLock mine;
    EXPECT_FALSE(mine.tryLock(path));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_TRUE(mine.tryLock(path));
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
}  // namespace velmar
