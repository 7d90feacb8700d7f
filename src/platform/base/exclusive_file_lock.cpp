#include "platform/base/exclusive_file_lock.h"

#include "platform/base/atomic_file_core.h"
#include "platform/base/regular_file.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <thread>

namespace velmar {

namespace {

// A pipe or device at the name is told by the writer's code for it.
static_assert(RegularFile::kNotRegular == atomic_file::kNotRegular);

// The reason of a failure in English, for standard error and the log: the writer's texts, but
// for a link, which a lock never follows whoever owns it.
QString errorText(int code) {
    if (code == atomic_file::kLinkRefused)
        return QStringLiteral("a symbolic link is in its place (not followed)");
    if (code == ExclusiveFileLock::kKeepsBeingReplaced)
        return QStringLiteral("the lock file keeps being replaced");
    return QString::fromStdString(atomic_file::errorText(code));
}

// Why a lock file could not be opened, saying what is in its place when that is the reason: the
// system's "too many levels of symbolic links" or "permission denied" would not tell the
// operator that someone else put something at the name.
int openError(const QByteArray& path, const RegularFile& file) {
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) return atomic_file::kLinkRefused;
        if (st.st_uid != ::geteuid()) return atomic_file::kOtherOwner;
    }
    return file.error();
}

// A lock file is compared with what is at the path itself (a link there is not it); a folder
// with what the path leads to, as opening it followed a link too.
bool sameFile(int fd, const QByteArray& path, bool directory) {
    struct stat held {};
    struct stat atPath {};
    const int found =
        directory ? ::stat(path.constData(), &atPath) : ::lstat(path.constData(), &atPath);
    return ::fstat(fd, &held) == 0 && found == 0 && held.st_dev == atPath.st_dev &&
           held.st_ino == atPath.st_ino;
}

}  // namespace

ExclusiveFileLock::~ExclusiveFileLock() {
    release();
}

bool ExclusiveFileLock::tryLock(const QString& path) {
    release();
    outcome_ = attempt(path, false);
    return outcome_ == Outcome::locked;
}

bool ExclusiveFileLock::tryLockDirectory(const QString& path) {
    release();
    outcome_ = attempt(path, true);
    return outcome_ == Outcome::locked;
}

bool ExclusiveFileLock::lockWithin(const QString& path, int timeoutMs) {
    release();
    // flock has no timed wait: poll the non-blocking form. A lock is held for the few
    // milliseconds a start decides, so a short step keeps the wait close to the holder's release.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        outcome_ = attempt(path, false);
        if (outcome_ != Outcome::busy || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return outcome_ == Outcome::locked;
}

ExclusiveFileLock::Outcome ExclusiveFileLock::failed(int code) {
    errorCode_ = code;
    error_ = errorText(code);
    return Outcome::failed;
}

ExclusiveFileLock::Outcome ExclusiveFileLock::attempt(const QString& path, bool directory) {
    errorCode_ = 0;
    error_.clear();
    const QByteArray name = QFile::encodeName(path);
    // The file can be replaced between open and flock; a few rounds settle any such race.
    for (int round = 0; round < 8; ++round) {
        int fd;
        if (directory) {
            fd = ::open(name.constData(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
            if (fd < 0) return failed(errno);
        } else {
            // A pipe or device planted at the name is refused, never waited on, and so is a file
            // of another user's: in a folder others can write, that user could hold, keep or
            // replace it at will.
            RegularFile file =
                RegularFile::open(name, O_RDWR | O_CREAT, RegularFile::Links::refuse, 0600);
            if (!file.isOpen()) return failed(openError(name, file));
            struct stat st {};
            if (::fstat(file.fd(), &st) != 0) return failed(errno);
            if (st.st_uid != ::geteuid()) return failed(atomic_file::kOtherOwner);
            fd = file.release();
        }
        int result;
        do {
            result = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) return Outcome::busy;
            return failed(error);
        }
        if (sameFile(fd, name, directory)) {
            fd_ = fd;
            path_ = name;
            directory_ = directory;
            return Outcome::locked;
        }
        ::close(fd);  // locked a file that is no longer at the path: take the one there now
    }
    return failed(kKeepsBeingReplaced);
}

bool ExclusiveFileLock::heldAtPath() const {
    return fd_ >= 0 && sameFile(fd_, path_, directory_);
}

void ExclusiveFileLock::release() {
    if (fd_ < 0) return;
    ::close(fd_);  // closing the only descriptor drops the lock
    fd_ = -1;
}

}  // namespace velmar
