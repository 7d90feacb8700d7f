#include "platform/base/regular_file.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <utility>

namespace velmar {

RegularFile::~RegularFile() {
    close();
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        error_ = other.error_;
    }
    return *this;
}

RegularFile RegularFile::open(const QString& path, int flags, Links links, mode_t mode) {
    return open(QFile::encodeName(path), flags, links, mode);
}

RegularFile RegularFile::open(const QByteArray& nativePath, int flags, Links links, mode_t mode) {
    RegularFile file;
    const bool truncate = (flags & O_TRUNC) != 0;
    flags = (flags & ~O_TRUNC) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (links == Links::refuse) flags |= O_NOFOLLOW;
    int fd;
    do {
        fd = ::open(nativePath.constData(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // A pipe opened for writing with no reader, or a device without its driver, answers
        // ENXIO at once: neither is a file of ours.
        file.error_ = errno == ENXIO ? kNotRegular : errno;
        return file;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        file.error_ = S_ISDIR(st.st_mode) ? EISDIR : kNotRegular;
        ::close(fd);
        return file;
    }
    // A regular file never waits; reads and writes are made ordinary again all the same.
    const int status = ::fcntl(fd, F_GETFL);
    if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0 ||
        (truncate && ::ftruncate(fd, 0) != 0)) {
        file.error_ = errno;
        ::close(fd);
        return file;
    }
    file.fd_ = fd;
    return file;
}

QString RegularFile::errorString() const {
    if (error_ == kNotRegular)
        return QStringLiteral("not a regular file (a pipe, device or socket is in its place)");
    return QString::fromLocal8Bit(std::strerror(error_));
}

std::optional<QByteArray> RegularFile::read(qint64 limit, bool* whole) {
    QByteArray bytes;
    const qint64 most = limit + 1;
    char chunk[65536];
    while (bytes.size() < most) {
        const auto want = static_cast<size_t>(std::min<qint64>(sizeof chunk, most - bytes.size()));
        const ssize_t n = ::read(fd_, chunk, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = errno;
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.append(chunk, n);
    }
    if (whole) *whole = bytes.size() <= limit;
    return bytes;
}

bool RegularFile::writeAll(const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = errno;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

int RegularFile::release() {
    return std::exchange(fd_, -1);
}

void RegularFile::close() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

}  // namespace velmar
