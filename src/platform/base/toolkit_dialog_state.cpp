#include "platform/base/toolkit_dialog_state.h"

#include "platform/base/private_directory.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

namespace velmar {
namespace {

// True when what is at the state file's `path` could hold Qt: a link counts as what it leads to
// (nothing, when it leads nowhere).
bool unusableStateAt(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode)) return ::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode);
    return !S_ISREG(st.st_mode);
}

// The settings folder, made 0700 when missing. Whoever owns it could rename the dialogs' folder
// in it away and put another in its place, so it is used only when it is this user's (a link of
// this user's to a folder of this user's included).
bool ownFolder(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || st.st_uid != ::getuid()) return false;
    return ::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

void pointUserScopeAt(const QString& folder) {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
}

// Why the dialogs' own folder cannot hold their state now, or empty when it can. The lock there
// is removed first: it can only be left over (see protect()).
QString whyNotUsable(const QString& settings, const QString& folder) {
    if (!ownFolder(settings))
        return QDir::toNativeSeparators(settings) + QStringLiteral(" is not this user's folder");
    QString error;
    if (PrivateDirectory::ensure(folder, &error) != PrivateDirectory::Result::ready) {
        return QDir::toNativeSeparators(folder) +
               QStringLiteral(" is not a folder of this user's alone") +
               (error.isEmpty() ? QString() : QStringLiteral(": ") + error);
    }
    // remove() takes a file or link (never what it leads to) or an empty folder.
    std::remove(QFile::encodeName(QDir(folder).filePath(QStringLiteral("QtProject.conf.lock"))));
    const QString unusable = ToolkitDialogState::unusableFile(folder);
    if (!unusable.isEmpty())
        return QDir::toNativeSeparators(unusable) + QStringLiteral(" is not a usable file");
    return {};
}

}  // namespace

QString ToolkitDialogState::unusableFile(const QString& folder) {
    const QDir dir(folder);
    const QString state = dir.filePath(QStringLiteral("QtProject.conf"));
    if (unusableStateAt(state)) return state;
    const QString lock = dir.filePath(QStringLiteral("QtProject.conf.lock"));
    struct stat st {};
    if (::lstat(QFile::encodeName(lock).constData(), &st) == 0) return lock;
    return {};
}

void ToolkitDialogState::protect() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString settings = config + QStringLiteral("/DOVRINE");
    const QString folder = settings + QStringLiteral("/dialogs");
    QDir().mkpath(config);
    const QString reason = whyNotUsable(settings, folder);
    if (reason.isEmpty()) {
        pointUserScopeAt(folder);
        return;
    }
    // Made 0700 under the temporary folder when first needed, and removed when the program ends.
    // Only this run uses it, so no lock is ever left there.
    static QTemporaryDir temporary(QDir::tempPath() + QStringLiteral("/velmar-dialogs-XXXXXX"));
    static bool told = false;
    if (temporary.isValid()) pointUserScopeAt(temporary.path());
    if (told) return;
    told = true;
    if (temporary.isValid()) {
        qWarning("DOVRINE: the dialogs' saved state is kept for this run only, because %s",
                 qUtf8Printable(reason));
    } else {
        qWarning(
            "DOVRINE: %s, and no private folder could be made for the dialogs' saved state: %s",
            qUtf8Printable(reason), qUtf8Printable(temporary.errorString()));
    }
}

}  // namespace velmar
