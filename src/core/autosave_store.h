#pragma once

#include "models/playout_project.h"
#include "platform/base/serial_queue.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace velmar {

class MediaAccess;
class Timer;
class TimerFactory;
class UserDefaults;

// Why the autosave folder cannot be changed. The message is looked up when read.
class AutosaveLocationError : public std::exception {
  public:
    // foreignEntry: a symbolic link or another user's file has one of the store's names there.
    // othersCanChange: other users can rename or remove files there (AtomicFile::guardedFolder).
    enum class Kind { unavailable, containsAutosave, foreignEntry, othersCanChange };
    explicit AutosaveLocationError(Kind kind);
    Kind kind() const { return kind_; }
    QString errorDescription() const;
    const char* what() const noexcept override { return message_.c_str(); }
    bool operator==(const AutosaveLocationError& other) const { return kind_ == other.kind_; }

  private:
    Kind kind_;
    std::string message_;
};

// Keeps a sealed copy of the current project in the autosave folder so that work survives a
// crash: "autosave.tavrendek" (the sealed project JSON) and "autosave-origin.txt" (the path of
// the project file that was open, or empty). A repeating timer asks the installed provider for
// the project; a write that would change nothing is skipped, and each file is replaced
// atomically, so a crash during a write leaves the previous autosave. At launch the application
// asks for a pending recovery; on a clean quit it calls stop() and clear().
//
// The folder is "DOVRINE" in the application's data folder unless the user chose another
// ("autosaveDirectoryPath"); the interval is "autosaveIntervalSeconds" (10, 30, 60 or 300).
// A chosen folder must be one where no other user can put, move or remove a name
// (AtomicFile::guardedFolder: this user's or root's and writable by no one else but the user's
// private group, or sticky as /tmp): elsewhere another user could set the operator's origin file
// aside and put it back after a later crash, and the restored work would be saved over another
// project. Such a folder cannot be chosen, and a chosen one that has become such (or is gone, or
// cannot be written) is not used: the default folder is, and the operator is told why.
//
// One process at a time owns the folder: it holds a lock on the folder itself, which no deleted
// or replaced file can take away, and one on "autosave.lock" there, which copies that know only
// that file still see. Only the owner reports a pending recovery, writes, clears or moves the
// autosave; in any other process (a second copy of the application using the same folder) those
// do nothing, so no copy offers, deletes or overwrites another's work. Ownership is decided once
// per folder, at the first use: a copy refused then never takes the folder later. Before every
// write and before the autosave is removed the owner checks that both locks are still on what is
// at their paths: a lock file (or folder) deleted or replaced meanwhile is taken again, and the
// next write then writes both files afresh, as another copy may have removed them in between.
// While another copy holds one of them, the owner writes and removes nothing and tries again at
// each write; once it has the folder back it writes afresh.
//
// The folder may be one other users can write to (a sticky one, as /tmp). The store takes as its
// own only regular files this user owns at its names, judged on what is there itself (a link is
// never followed; a file is checked through the opened descriptor), and reads and writes by one
// rule: a symbolic link (the operator's own too) or another user's file at the autosave's,
// origin's, lock's or legacy files' name is neither offered, loaded, copied, written through nor
// removed. Writes go through AtomicFile with links refused, so no write goes where a reader
// would not look; such a write fails and is told as any failed write. What is at a name and not
// this user's file stays as it is, and the operator is told once per name.
//
// What goes wrong in the background (the folder refused or taken over, a write that fails) and
// its end (the folder had again, the first write that works after failures) is told to the
// notice handler once each.
//
// Threads: start(), stop(), setIntervalSeconds() and the timer run on the main thread. Every
// write, clear and folder switch runs on the serial queue "velmar.autosave"; clear() and
// setDirectory() wait for it. directory() may be read from any thread. Lock order:
// the directory lock before the legacy lock.
class AutosaveStore {
  public:
    struct Environment {
        QString applicationSupport;  // the folder holding "DOVRINE" and the legacy "VELMAR"
        UserDefaults* defaults = nullptr;
        TimerFactory* timers = nullptr;
        MediaAccess* mediaAccess = nullptr;
        bool sandboxed = false;
    };
    struct Recovery {
        PlayoutProject project;
        std::optional<QString> origin;  // the project file's path
    };
    // The project the timer saves and the path of its file, gathered on the main thread.
    using ProjectProvider = std::function<std::pair<PlayoutProject, std::optional<QString>>()>;
    struct Notice {
        enum class Kind {
            folderInUse,       // another copy holds the folder: no autosave here
            folderLockFailed,  // the lock at `path` (the folder or its lock file) could not be
                               // taken: no autosave here
            folderTakenOver,   // another copy took the folder while this one ran: autosave off
                               // until it lets go
            writeFailed,       // the first of a run of failed writes, of the file at `path`;
                               // retried at every tick
            writeRecovered,    // the first write that worked after failures
            folderRegained,    // the taken folder is this copy's again: autosave on, afresh
            foreignFile,       // a link or another user's file at `path`: left as it is, neither
                               // offered, loaded, copied, written through nor removed; `error`
                               // says which
            chosenFolderUnusable,  // the chosen folder at `path` is not used (`error` says why):
                                   // the autosave goes to `folder`, the default one
        };
        Kind kind;
        QString folder;
        QString error;  // the reason in the interface language, where there is one
        QString path;   // the file or folder the notice is about, where it is not `folder`
    };
    // Called on the thread that met the event (the queue, or the caller of ownsDirectory()).
    using NoticeHandler = std::function<void(const Notice&)>;

    static inline const QString autosaveFileName = QStringLiteral("autosave.tavrendek");
    static inline const QString originFileName = QStringLiteral("autosave-origin.txt");
    static inline const QString lockFileName = QStringLiteral("autosave.lock");
    static inline const QString legacyMarkerName = QStringLiteral("legacy-migrated");
    static inline const QString intervalKey = QStringLiteral("autosaveIntervalSeconds");
    static inline const QString directoryKey = QStringLiteral("autosaveDirectoryPath");

    static AutosaveStore& shared();
    explicit AutosaveStore(Environment environment);
    ~AutosaveStore();

    // Installed by the application state; without it the timer's ticks do nothing.
    void setProjectProvider(ProjectProvider provider);
    // Empty: notices are dropped. Returns after any call of the previous handler has ended.
    void setNoticeHandler(NoticeHandler handler);

    void start();
    void stop();
    bool isRunning() const;

    // Returns at once; the work runs on the queue.
    void write(PlayoutProject project, std::optional<QString> origin);

    bool hasPendingRecovery();
    std::optional<QDateTime> recoveryDate();
    std::optional<Recovery> loadRecovery();
    void clear();

    int intervalSeconds() const;
    void setIntervalSeconds(int seconds);

    std::optional<QString> directory();
    // Whether this process owns the autosave folder in use (takes it when nobody holds it).
    bool ownsDirectory() { return ownedDirectory().has_value(); }
    // Nothing = back to the default folder. Throws AutosaveLocationError.
    void setDirectory(const std::optional<QString>& folder);
    bool selectedDirectoryUnavailable();

    // Waits until the queued writes have run (for the application at quit, and tests).
    void waitUntilIdle();

  private:
    struct FolderLock;

    QString defaultDirectory() const;
    // The folder in use when this process owns it, else none.
    std::optional<QString> ownedDirectory();
    // On the queue, before the folder's files are written or removed: whether this process still
    // holds the locks on what is at the folder's paths, taking replaced ones again (`retaken` is
    // then set). False with `error` set when it cannot tell (a lock cannot be opened now), and
    // `where` the lock's path.
    bool confirmOwnership(const QString& folder, QString* error, QString* where = nullptr,
                          bool* retaken = nullptr);
    // Notes what is at the autosave's and origin's paths as this copy's own (after it wrote,
    // removed or copied them, or found them when it took the folder).
    void noteOwnFiles(const QString& folder);
    // Whether each of the two files is gone or as this copy last noted it: none is another
    // copy's. A link or another user's file at a name is no copy's work; each is added to
    // `foreign` as (path, reason), to be told once no lock is held.
    bool holdsOnlyOwnFiles(const QString& folder, QList<std::array<QString, 2>>* foreign);
    void notify(Notice::Kind kind, const QString& folder, const QString& error = {},
                const QString& path = {});
    // Tells the operator once about what is at `path` when it is not this user's (`what`: the
    // reason; empty: nothing to tell).
    void tellForeign(const QString& folder, const QString& path, const QString& what);
    // Reads one of the store's files only when it is a regular file of this user's (at most
    // `limit` bytes, whole); tells about a link or another user's file there.
    std::optional<QByteArray> readOwnFile(const QString& folder, const QString& path, qint64 limit);
    // Removes what is at the path when it is this user's and no link; tells about a link or
    // another user's entry, which stays.
    void removeOwnFile(const QString& folder, const QString& path);
    void writeFailed(const QString& folder, const QString& path, const QString& error);
    void writeWorked(const QString& folder);
    // Returns what it left for not being this user's, as (folder, path, reason), told by the
    // caller once the folder's lock is released.
    QList<std::array<QString, 3>> migrateLegacyIfNeeded(const QString& base, const QString& target);
    void performWrite(const PlayoutProject& project, const std::optional<QString>& origin);
    void runOnQueue(const std::function<void()>& work);

    const Environment env_;
    ProjectProvider provider_;
    std::mutex noticeLock_;
    NoticeHandler noticeHandler_;
    std::unique_ptr<Timer> timer_;
    SerialQueue queue_{"velmar.autosave"};

    std::mutex directoryLock_;
    std::optional<QString> resolvedDirectory_;
    bool didResolveDirectory_ = false;
    // The chosen folder not used at the start and why, told at the first use of the folder.
    std::optional<std::array<QString, 2>> unusedChoice_;
    // The folder this process owns with its locks, and the last folder it tried to take.
    // `folderLost_`: another copy holds one of the locks now; they are tried again at each write.
    std::unique_ptr<FolderLock> folderLock_;
    std::optional<QString> lockedDirectory_;
    std::optional<QString> triedDirectory_;
    bool folderLost_ = false;
    // The identity and last change of the autosave and origin files as this copy last left
    // them (none: absent). A folder taken back that holds others is another copy's work.
    using OwnFiles = std::array<std::optional<std::array<long long, 5>>, 2>;
    std::mutex ownFilesLock_;
    OwnFiles ownFiles_;

    // Touched only on the queue.
    std::optional<QByteArray> lastWritten_;
    std::optional<QString> lastOrigin_;
    bool acceptsWrites_ = true;
    bool writeFailing_ = false;

    // The names already told about as not this user's, with the reason.
    std::mutex foreignLock_;
    QStringList toldForeign_;

    std::mutex legacyLock_;
    bool didCheckLegacy_ = false;
};

}  // namespace velmar
