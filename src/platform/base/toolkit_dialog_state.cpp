#include "platform/base/toolkit_dialog_state.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace velmar {
namespace {

// True when what is at `path` could hold Qt. A link at the state file counts as what it leads
// to (nothing, when it leads nowhere); a link at the lock, whatever it leads to, is unusable.
bool unusableAt(const QString& path, bool lock) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode))
        return lock || (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode));
    return !S_ISREG(st.st_mode);
}

}  // namespace

QString ToolkitDialogState::unusableFile(const QString& folder) {
    const QDir dir(folder);
    const QString state = dir.filePath(QStringLiteral("QtProject.conf"));
    if (unusableAt(state, false)) return state;
    const QString lock = dir.filePath(QStringLiteral("QtProject.conf.lock"));
    if (unusableAt(lock, true)) return lock;
    return {};
}

void ToolkitDialogState::protect() {
    // The program sets QSettings's paths nowhere else: unless moved here, the user scope is the
    // default one, the configuration folder.
    static bool moved = false;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString unusable = unusableFile(config);
    if (unusable.isEmpty()) {
        // Usable again: the operator's dialog history is back in use.
        if (moved) {
            QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
            moved = false;
        }
        return;
    }
    if (moved) return;
    // Made 0700 under the temporary folder when first needed, and removed when the program ends.
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/velmar-dialogs-XXXXXX"));
    if (!folder.isValid()) {
        qWarning(
            "DOVRINE: %s is not a usable file, and no private folder could be made for the "
            "dialogs' saved state: %s",
            qUtf8Printable(QDir::toNativeSeparators(unusable)),
            qUtf8Printable(folder.errorString()));
        return;
    }
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    moved = true;
    qWarning("DOVRINE: the dialogs' saved state is not used, because %s is not a usable file",
             qUtf8Printable(QDir::toNativeSeparators(unusable)));
}

}  // namespace velmar
