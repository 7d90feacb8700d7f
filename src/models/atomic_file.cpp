#include "models/atomic_file.h"

#include "models/system_error_text.h"

#include <QFileInfo>
#include <QUuid>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>

namespace velmar {

namespace {

constexpr int kMaxLinkHops = 40;
constexpr qsizetype kUuidLength = 36;

bool fail(QString* error, int code) {
    if (error) *error = systemErrorText(code);
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

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash > 0 ? path.left(slash) : QByteArray("/");
}

// Follows symbolic links at the last component of an absolute path, so the file they lead to
// is the one replaced. Folders on the way are left to the kernel. False (with the error in
// `code`) for a loop or an unreadable link.
bool followLinks(QByteArray& path, int& code) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        if (length < 0 || length == static_cast<ssize_t>(sizeof target)) {
            code = length < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        const QByteArray next(target, length);
        // A relative link is read from the link's own folder.
        path = next.startsWith('/') ? next : folderOf(path) + '/' + next;
    }
    code = ELOOP;
    return false;
}

// Whether an entry is named exactly like our temporaries of one target: prefix and a UUID.
bool isTemporaryOf(const char* name, const QByteArray& prefix) {
    const qsizetype length = static_cast<qsizetype>(std::strlen(name));
    if (length != prefix.size() + kUuidLength ||
        std::memcmp(name, prefix.constData(), prefix.size()) != 0) {
        return false;
    }
    for (qsizetype i = 0; i < kUuidLength; ++i) {
        const char c = name[prefix.size() + i];
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

// Removes temporaries of this target that a killed writer left behind: regular files with our
// exact name pattern that have not changed for a minute. Anything else is left alone.
void removeStaleTemporaries(const QByteArray& folder, const QByteArray& prefix) {
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryOf(entry->d_name, prefix)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || now - st.st_mtime < AtomicFile::staleTemporarySeconds) continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace

bool AtomicFile::write(const QString& path, const QByteArray& data, QString* error,
                       ReadOnlyTarget readOnly, SymbolicLink links) {
    QByteArray target = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    int code = 0;
    const bool follow = links == SymbolicLink::writeThrough;
    if (follow && !followLinks(target, code)) return fail(error, code);
    const QByteArray folder = folderOf(target);
    const QByteArray prefix = '.' + target.mid(target.lastIndexOf('/') + 1) + ".tmp-";

    struct stat existing {};
    // A link that is itself replaced lends the new file nothing: it counts as no file.
    const bool exists = (follow ? ::stat(target.constData(), &existing)
                                : ::lstat(target.constData(), &existing)) == 0 &&
                        !S_ISLNK(existing.st_mode);
    if (exists) {
        if (S_ISDIR(existing.st_mode)) return fail(error, EISDIR);
        if (!(existing.st_mode & S_IWUSR) && readOnly == ReadOnlyTarget::refuse)
            return fail(error, EACCES);
    }

    removeStaleTemporaries(folder, prefix);
    const QByteArray temp =
        folder + '/' + prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1();
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return fail(error, errno);
    // open() applies the umask; an existing target's permission bits are kept exactly, but not
    // its set-user-ID, set-group-ID or sticky bits (a file of another owner must not lend those
    // to ours). A failed chmod (a file system without modes) does not stop the write.
    struct stat created {};
    if (::fstat(fd, &created) == 0) {
        const mode_t wanted =
            ((exists ? existing.st_mode : created.st_mode) & 0777) | S_IRUSR | S_IWUSR;
        if ((created.st_mode & 07777) != wanted) ::fchmod(fd, wanted);
    }

    auto abandon = [&] {
        const int failure = errno;
        ::close(fd);
        ::unlink(temp.constData());
        return fail(error, failure);
    };
    if (!writeAll(fd, data.constData(), data.size())) return abandon();
    if (::fsync(fd) != 0) return abandon();
    if (::close(fd) != 0 || ::rename(temp.constData(), target.constData()) != 0) {
        const int failure = errno;
        ::unlink(temp.constData());
        return fail(error, failure);
    }
    // Make the rename itself durable; a failure here no longer endangers either version.
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace velmar
