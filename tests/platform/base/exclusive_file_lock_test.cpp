#include "platform/base/exclusive_file_lock.h"

#include "platform/base/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
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

// A lock file deleted or replaced under its holder: the holder sees it no longer guards the
// path, and a new lock takes the file that is there now, never the orphaned one.
TEST(ExclusiveFileLock, AReplacedLockFileIsSeenByItsHolder) {
    QTemporaryDir dir;
    const QString path = dir.filePath("held.lock");
    ExclusiveFileLock first;
    ASSERT_TRUE(first.tryLock(path));
    EXPECT_TRUE(first.heldAtPath());
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_FALSE(first.heldAtPath());
    ExclusiveFileLock second;
    EXPECT_TRUE(second.tryLock(path));
    EXPECT_TRUE(second.heldAtPath());
    EXPECT_FALSE(first.tryLock(path));
    EXPECT_EQ(first.outcome(), ExclusiveFileLock::Outcome::busy);
}

// A folder locked itself: deleting the lock file in it lets another take that file but not the
// folder. A folder replaced at its path is seen by its holder, as a replaced lock file is; a
// folder reached through a symbolic link is the folder itself.
TEST(ExclusiveFileLock, AFolderLockOutlivesTheLockFileInIt) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("autosave");
    const QString file = folder + "/held.lock";
    ASSERT_TRUE(QDir().mkpath(folder));
    ExclusiveFileLock ownerFolder, ownerFile, otherFolder, otherFile;
    ASSERT_TRUE(ownerFolder.tryLockDirectory(folder));
    ASSERT_TRUE(ownerFile.tryLock(file));
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_TRUE(ownerFolder.heldAtPath());
    EXPECT_TRUE(otherFile.tryLock(file));  // the file alone guards nothing
    EXPECT_FALSE(otherFolder.tryLockDirectory(folder));
    EXPECT_EQ(otherFolder.outcome(), ExclusiveFileLock::Outcome::busy);
    ASSERT_TRUE(QFile::link(folder, dir.filePath("link")));
    EXPECT_FALSE(otherFolder.tryLockDirectory(dir.filePath("link")));
    EXPECT_EQ(otherFolder.outcome(), ExclusiveFileLock::Outcome::busy);
    EXPECT_FALSE(otherFolder.tryLockDirectory(file));
    EXPECT_EQ(otherFolder.outcome(), ExclusiveFileLock::Outcome::failed);

    ASSERT_TRUE(QDir(dir.path()).rename("autosave", "moved"));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_FALSE(ownerFolder.heldAtPath());
    EXPECT_TRUE(otherFolder.tryLockDirectory(dir.filePath("link")));
    EXPECT_TRUE(otherFolder.heldAtPath());
    EXPECT_FALSE(ownerFolder.tryLockDirectory(folder));
    EXPECT_TRUE(ownerFolder.tryLockDirectory(dir.filePath("moved")));
}

// A failure carries its reason as a code, for the operator's text in the interface language:
// what is in the lock file's place, or the system's error number.
TEST(ExclusiveFileLock, AFailureCarriesWhatIsInThePlaceAsACode) {
    QTemporaryDir dir;
    ExclusiveFileLock lock;
    const auto codeAt = [&](const QString& name) {
        EXPECT_FALSE(lock.tryLock(dir.filePath(name)));
        EXPECT_EQ(lock.outcome(), ExclusiveFileLock::Outcome::failed);
        return lock.errorCode();
    };
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.lock"));
    EXPECT_EQ(codeAt("folder.lock"), EISDIR);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.lock")).constData(), 0600), 0);
    EXPECT_EQ(codeAt("pipe.lock"), AtomicFile::kNotRegular);
    ASSERT_TRUE(QFile::link(dir.filePath("own.lock"), dir.filePath("link.lock")));
    EXPECT_EQ(codeAt("link.lock"), AtomicFile::kLinkRefused);
    QFile theirs(dir.filePath("theirs.lock"));
    ASSERT_TRUE(theirs.open(QIODevice::WriteOnly));
    theirs.close();
    if (::chown(QFile::encodeName(theirs.fileName()).constData(), 65534, 65534) == 0) {
        EXPECT_EQ(codeAt("theirs.lock"), AtomicFile::kOtherOwner);
        EXPECT_EQ(lock.error().toStdString(), "another user's file is in its place");
    }
    EXPECT_TRUE(lock.tryLock(dir.filePath("own.lock")));
    EXPECT_EQ(lock.errorCode(), 0);
}

// Busy and failed are told apart, a wait is bounded, and no started program inherits a lock.
TEST(ExclusiveFileLock, BusyFailedAndTheBoundedWait) {
    QTemporaryDir dir;
    const QString path = dir.filePath("held.lock");
    ExclusiveFileLock held, other, heldFolder;
    ASSERT_TRUE(held.tryLock(path));
    ASSERT_TRUE(QDir(dir.path()).mkdir("held-folder"));
    ASSERT_TRUE(heldFolder.tryLockDirectory(dir.filePath("held-folder")));
    EXPECT_FALSE(other.lockWithin(path, 30));
    EXPECT_EQ(other.outcome(), ExclusiveFileLock::Outcome::busy);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.lock"));
    EXPECT_FALSE(other.tryLock(dir.filePath("folder.lock")));
    EXPECT_EQ(other.outcome(), ExclusiveFileLock::Outcome::failed);
    EXPECT_FALSE(other.error().isEmpty());
    // A pipe at the lock's name is no lock file: refused, not held nor waited on.
    const QString pipe = dir.filePath("pipe.lock");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(other.tryLock(pipe));
    EXPECT_EQ(other.outcome(), ExclusiveFileLock::Outcome::failed);
    // Nor a link at it, told as such rather than as a loop of links.
    ASSERT_TRUE(QFile::link(path, dir.filePath("link.lock")));
    EXPECT_FALSE(other.tryLock(dir.filePath("link.lock")));
    EXPECT_EQ(other.error().toStdString(), "a symbolic link is in its place (not followed)");

    // A started program lists the descriptors it inherited: none may be the lock file.
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        ::execl("/bin/sh", "sh", "-c", "ls -l /proc/self/fd/", static_cast<char*>(nullptr));
        ::_exit(3);
    }
    ::close(out[1]);
    QByteArray listing;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) listing.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(listing.contains("/proc/"));  // the listing ran
    EXPECT_FALSE(listing.contains("held.lock")) << listing.constData();
    EXPECT_FALSE(listing.contains("held-folder")) << listing.constData();
    held.release();
    EXPECT_TRUE(other.lockWithin(path, 30));
}

}  // namespace
}  // namespace velmar
