#include "platform/base/private_directory.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace velmar {

PrivateDirectory::Result PrivateDirectory::ensure(const QString& path, uid_t owner,
                                                  QString* error) {
    const QByteArray name = QFile::encodeName(path);
    const auto fail = [error](int code) {
        if (error) *error = QString::fromLocal8Bit(std::strerror(code));
        return Result::unusable;
    };
    if (name.isEmpty()) return fail(ENOENT);
    // mkdir never follows a link at the path; lstat then sees what is really there.
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) return fail(errno);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) return fail(errno);
    if (!S_ISDIR(st.st_mode)) return Result::notDirectory;
    if (st.st_uid != owner) return Result::notOwned;
    if ((st.st_mode & 0077) != 0) return Result::openToOthers;
    return Result::ready;
}

PrivateDirectory::Result PrivateDirectory::ensure(const QString& path, QString* error) {
    return ensure(path, ::getuid(), error);
}

bool PrivateDirectory::makePath(const QString& path) {
    const QByteArray name = QFile::encodeName(QDir::cleanPath(QDir().absoluteFilePath(path)));
    struct stat st {};
    if (::stat(name.constData(), &st) == 0) return S_ISDIR(st.st_mode);
    // From the top down; mkdir's mode is masked by the umask, which may only take bits away.
    for (qsizetype slash = name.indexOf('/', 1);; slash = name.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? name : name.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) return false;
        if (slash < 0) break;
    }
    return ::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace velmar
