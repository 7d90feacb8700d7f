#include "app/document_dialogs.h"
#include "app/document_workflow.h"

#include "core/autosave_store.h"
#include "core/media_access.h"
#include "core/playout_log.h"
#include "models/localized.h"
#include "models/project_backup_naming.h"
#include "models/system_error_text.h"
#include "platform/base/atomic_file.h"
#include "platform/base/host_clock.h"
#include "platform/base/private_directory.h"
#include "platform/base/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <limits>

namespace velmar {

namespace {

// The regular files of our user in the folder whose names the naming owns, newest first: by
// modification time, equal times by file name (the name carries the time to the second). A date
// that cannot be read counts as the distant past. Copies dated after `now` (made while the clock
// was set ahead) come after all the others, so they can never push out a copy dated correctly.
// Links and anything another user put here are never ours to delete.
QFileInfoList ownedBackups(const QString& folder, const ProjectBackupNaming& naming,
                           std::chrono::system_clock::time_point now) {
    QDir dir(folder);
    if (!dir.exists()) return {};
    QFileInfoList owned;
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || !entry.isFile() || entry.ownerId() != ::geteuid()) continue;
        if (naming.owns(entry.fileName())) owned << entry;
    }
    const qint64 nowMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const auto stamp = [](const QFileInfo& info) {
        const QDateTime date = info.lastModified();
        return date.isValid() ? date.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    };
    std::stable_sort(owned.begin(), owned.end(), [&](const QFileInfo& a, const QFileInfo& b) {
        const qint64 da = stamp(a);
        const qint64 db = stamp(b);
        if ((da > nowMs) != (db > nowMs)) return db > nowMs;
        if (da != db) return da > db;
        return a.fileName() > b.fileName();
    });
    return owned;
}

// Deletes all but the `keep` first owned backups in the order above. `fresh`, the name of the
// copy just made of the file about to be replaced, stays whatever its date.
void pruneOwnedBackups(const QString& folder, const ProjectBackupNaming& naming, int keep,
                       const QString& fresh, std::chrono::system_clock::time_point now) {
    QFileInfoList owned = ownedBackups(folder, naming, now);
    const auto isFresh = [&](const QFileInfo& info) {
        return !fresh.isEmpty() && info.fileName() == fresh;
    };
    std::stable_partition(owned.begin(), owned.end(), isFresh);
    for (qsizetype i = std::max(keep, 0); i < owned.size(); ++i)
        QFile::remove(owned[i].absoluteFilePath());
}

constexpr qint64 kCopyChunk = 1 << 20;

// Whether two regular files hold the same bytes. Neither is waited on: a pipe or device put at
// either name counts as different.
bool sameContents(const QString& a, const QString& b) {
    RegularFile fa = RegularFile::open(a, O_RDONLY);
    RegularFile fb = RegularFile::open(b, O_RDONLY);
    struct stat sa {};
    struct stat sb {};
    if (!fa.isOpen() || !fb.isOpen() || ::fstat(fa.fd(), &sa) != 0 || ::fstat(fb.fd(), &sb) != 0 ||
        sa.st_size != sb.st_size) {
        return false;
    }
    for (;;) {
        const auto left = fa.read(kCopyChunk - 1);
        const auto right = fb.read(kCopyChunk - 1);
        if (!left || !right || *left != *right) return false;
        if (left->isEmpty()) return true;
    }
}

// Copies the regular file at `from` to a new file `to`, which must not exist yet, with the
// source's permission bits, through the program's one writer: the copy is written and synced
// under a temporary name and put in place whole, so a copy cut short never passes for a backup.
// Nothing at either name is waited on (a pipe put at the project's name would hold the save for
// ever). The reason of a failure goes to `error`.
bool copyToNewFile(const QString& from, const QString& to, QString* error) {
    RegularFile source = RegularFile::open(from, O_RDONLY);
    struct stat st {};
    if (!source.isOpen() || ::fstat(source.fd(), &st) != 0) {
        *error = source.errorString();
        return false;
    }
    AtomicFile::Options options;
    options.existing = AtomicFile::Existing::keep;
    options.newFileMode = st.st_mode & 0777;
    int code = 0;
    if (AtomicFile::copy(source.fd(), to, &code, options)) return true;
    *error = AtomicFile::errorText(code);
    return false;
}

// How a project is written at the name the operator chose (opened, or confirmed to overwrite):
// another user's file there, as a teammate's project in a team's folder, is replaced where the
// system lets this user replace it, and keeps its permission bits. Links are followed only as
// the writer allows for any name.
AtomicFile::Options chosenFileOptions() {
    AtomicFile::Options options;
    options.owner = AtomicFile::Owner::anyone;
    return options;
}

QString describe(const std::exception& error) {
    if (const auto* save = dynamic_cast<const PlayoutProject::SaveError*>(&error))
        return save->errorDescription();
    return QString::fromUtf8(error.what());
}

// A write failure carrying the system's description.
class WriteFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace

bool DocumentWorkflow::writeProject(const QUrl& url) {
    const QString path = url.toLocalFile();
    // A copy of the file about to be replaced, made first: a save that then fails still leaves
    // the old file and its copy.
    backupExisting(url);
    const PlayoutProject project = currentProject();
    try {
        // The clip limit before encoding, the size limit after sealing.
        const QByteArray sealed = project.sealedFileData();
        QString error;
        if (!writeFileWhole(path, sealed, &error, chosenFileOptions()))
            throw WriteFailure(error.toStdString());
    } catch (const std::exception& error) {
        status(localizedFormat("保存に失敗: %@", {describe(error)}));
        return false;
    }
    host_.setProjectURL(url);
    host_.setSavedProjectSnapshot(snapshotOf(project));
    env_.autosave->write(project, path);
    status(localizedFormat("保存しました: %@", {QFileInfo(path).fileName()}));
    return true;
}

bool DocumentWorkflow::saveProject() {
    const QUrl url = host_.projectURL();
    return url.isEmpty() ? saveProjectAs() : writeProject(url);
}

bool DocumentWorkflow::saveProjectAs() {
    DocumentDialogs::SavePanel panel;
    panel.message = localized("プロジェクトを保存");
    panel.proposedName = untitledFileName;
    host_.setFilePanelOpen(this, true);
    const std::optional<QUrl> chosen = env_.dialogs->runSavePanel(panel, host_.controlWindow());
    host_.setFilePanelOpen(this, false);
    if (!chosen || !chosen->isLocalFile()) return false;
    const std::optional<QUrl> url = normalizedProjectURL(*chosen);
    if (!url) return false;
    const bool saved = writeProject(*url);
    if (saved) env_.mediaAccess->remember({url->toLocalFile()});
    return saved;
}

std::optional<QUrl> DocumentWorkflow::normalizedProjectURL(const QUrl& url) {
    const QString path = url.toLocalFile();
    // The save panel has already asked about replacing a file of the name as typed.
    if (QFileInfo(path).suffix().toLower() == projectExtension) return url;
    const QString candidate = path + u'.' + projectExtension;
    if (!QFileInfo::exists(candidate)) return QUrl::fromLocalFile(candidate);
    DocumentDialogs::Alert alert;
    alert.message = localized("同じ名前のファイルがあります");
    alert.informativeText =
        localizedFormat("%@ を上書きしますか。", {QFileInfo(candidate).fileName()});
    alert.buttons = {{localized("上書き"), DocumentDialogs::ButtonRole::destructive},
                     {localized("キャンセル"), DocumentDialogs::ButtonRole::reject}};
    if (env_.dialogs->runAlert(alert, host_.controlWindow()) != 0) return std::nullopt;
    return QUrl::fromLocalFile(candidate);
}

void DocumentWorkflow::backupExisting(const QUrl& url) {
    const QString path = url.toLocalFile();
    // Only a regular file (or a link to one) is copied: reading a pipe put at the project's name
    // would wait for a writer, and hang the save.
    if (!QFileInfo(path).isFile() || env_.backupsDirectory.isEmpty()) return;
    // What the save will not replace (another user's file this user may not write, or a link
    // not safe to follow, in a folder others can write) is not the operator's to copy into their
    // backups either; a teammate's file the save replaces is.
    if (AtomicFile::check(path, chosenFileOptions()) != 0) return;
    const QString folder = env_.backupsDirectory;
    PrivateDirectory::makePath(folder);
    const ProjectBackupNaming naming = ProjectBackupNaming::forProject(path, projectExtension);
    // Saves that fail again and again would otherwise fill the kept copies with one version and
    // push the older, distinct ones out.
    const auto now = env_.clock->wallNow();
    const QFileInfoList existing = ownedBackups(folder, naming, now);
    const bool alreadyKept =
        !existing.isEmpty() && sameContents(existing.first().absoluteFilePath(), path);
    QString fresh;
    if (!alreadyKept) {
        const QString name = naming.fileName(QDateTime::fromMSecsSinceEpoch(
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count()));
        const QString target = QDir(folder).filePath(name);
        // Fails when a copy of this second exists already; the save goes on, and the log says
        // when the copy could not be made for another reason.
        QString error;
        if (copyToNewFile(path, target, &error)) {
            fresh = name;
        } else if (env_.log && !QFileInfo::exists(target)) {
            env_.log->write(QStringLiteral("BACKUP  FAILED, ") + path + QStringLiteral(": ") +
                            error);
        }
    }
    pruneOwnedBackups(folder, naming, kBackupsKept, fresh, now);
    // Every copy has a name of its own, so what a killed copy left is found only here.
    AtomicFile::removeAllLeftovers(folder);
}

void DocumentWorkflow::pruneBackups(const QString& folder, const ProjectBackupNaming& naming,
                                    int keep) {
    pruneOwnedBackups(folder, naming, keep, QString(), HostClock::system().wallNow());
}

void DocumentWorkflow::revealBackups() {
    if (env_.backupsDirectory.isEmpty()) return;
    PrivateDirectory::makePath(env_.backupsDirectory);
    if (env_.desktop.revealFolder)
        env_.desktop.revealFolder(QUrl::fromLocalFile(env_.backupsDirectory));
}

}  // namespace velmar
