#include "platform/base/exclusive_file_lock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>

namespace velmar {

ExclusiveFileLock::~ExclusiveFileLock() {
    release();
}

bool ExclusiveFileLock::tryLock(const QString& path) {
    return acquire(path, false);
}

bool ExclusiveFileLock::lock(const QString& path) {
    return acquire(path, true);
}

bool ExclusiveFileLock::acquire(const QString& path, bool wait) {
    release();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    int result;
    do {
        result = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void ExclusiveFileLock::release() {
    if (fd_ < 0) return;
    ::close(fd_);  // closing the only descriptor drops the lock
    fd_ = -1;
}

}  // namespace velmar
