#include "models/atomic_file.h"

#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar {

namespace {

bool fail(QString* error, const char* step, int code) {
    if (error) *error = QString::fromUtf8(step) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code));
    return false;
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

bool AtomicFile::write(const QString& path, const QByteArray& data, QString* error) {
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray temp = QFile::encodeName(
        folder + QStringLiteral("/.") + info.fileName() + QStringLiteral(".tmp-") +
        QUuid::createUuid().toString(QUuid::WithoutBraces));

    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) return fail(error, "target is a folder", EISDIR);
        mode = existing.st_mode & 07777;
    }

    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return fail(error, "create temporary file", errno);
    // open() applies the umask; an existing target's mode is kept exactly.
    if (existing.st_mode != 0) ::fchmod(fd, mode);

    auto abandon = [&](const char* step) {
        const int code = errno;
        ::close(fd);
        ::unlink(temp.constData());
        return fail(error, step, code);
    };
    if (!writeAll(fd, data.constData(), data.size())) return abandon("write");
    if (::fsync(fd) != 0) return abandon("sync");
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return fail(error, "close", code);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        return fail(error, "rename", code);
    }
    // Make the rename itself durable; a failure here no longer endangers either version.
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace velmar
