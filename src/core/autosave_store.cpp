#include "core/autosave_store.h"

#include "core/media_access.h"
#include "models/localized.h"
#include "models/project_crypto.h"
#include "models/system_error_text.h"
#include "platform/base/app_paths.h"
#include "platform/base/atomic_file.h"
#include "platform/base/exclusive_file_lock.h"
#include "platform/base/regular_file.h"
#include "platform/base/timer.h"
#include "platform/base/user_defaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <fcntl.h>
#include <sys/stat.h>

#include <exception>
#include <utility>

namespace velmar {

namespace {

QString standardized(const QString& path) {
    return QDir::cleanPath(QDir(QStringLiteral("/")).absoluteFilePath(path));
}

// The store's own files are always replaced, also when something took their write permission:
// an autosave that can no longer be written or read would end crash recovery for good.
bool writeOwnFile(const QString& path, const QByteArray& data, QString* error = nullptr) {
    return writeFileWhole(path, data, error, AtomicFile::ReadOnlyTarget::replace);
}

// The identity and last change of what is at the path (a link not followed); none when nothing
// is there. Every write replaces the file, so a file another copy wrote never has the stamp of
// one this copy wrote.
std::optional<std::array<long long, 5>> stampOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return std::array<long long, 5>{
        static_cast<long long>(st.st_dev), static_cast<long long>(st.st_ino),
        static_cast<long long>(st.st_size), static_cast<long long>(st.st_mtim.tv_sec),
        static_cast<long long>(st.st_mtim.tv_nsec)};
}

// The most an origin file holds: a path, far shorter than this.
constexpr qint64 kMaxOriginBytes = 64 * 1024;

// One of the store's files whole, at most `limit` bytes; none when it is missing, larger,
// unreadable, or not a regular file: a pipe or device put at the name is never waited on.
std::optional<QByteArray> readOwnFile(const QString& path, qint64 limit) {
    RegularFile file = RegularFile::open(path, O_RDONLY);
    if (!file.isOpen()) return std::nullopt;
    bool whole = false;
    std::optional<QByteArray> bytes = file.read(limit, &whole);
    if (!bytes || !whole) return std::nullopt;
    return bytes;
}

// Copies a file through the atomic writer, so a copy cut short never looks like an autosave.
bool copyFile(const QString& from, const QString& to) {
    const auto data = readOwnFile(from, PlayoutProject::kMaxFileSize);
    return data && writeOwnFile(to, *data);
}

}  // namespace

// What makes a process the owner of a folder: a lock on the folder itself, which no deleted or
// replaced file can take away, and a lock on "autosave.lock" in it, which copies that know only
// that file still see.
struct AutosaveStore::FolderLock {
    ExclusiveFileLock folder;
    ExclusiveFileLock file;

    bool held() const { return folder.heldAtPath() && file.heldAtPath(); }

    // Takes what is not held on what is at the paths now: the folder first, so a copy that
    // cannot have the folder never holds its lock file, not even for a moment.
    ExclusiveFileLock::Outcome take(const QString& path, QString* error) {
        for (ExclusiveFileLock* lock : {&folder, &file}) {
            if (lock->heldAtPath()) continue;
            const bool locked = lock == &folder ? lock->tryLockDirectory(path)
                                                : lock->tryLock(path + u'/' + lockFileName);
            if (!locked) {
                *error = lock->error();
                return lock->outcome();
            }
        }
        return ExclusiveFileLock::Outcome::locked;
    }
};

AutosaveLocationError::AutosaveLocationError(Kind kind)
    : kind_(kind), message_(errorDescription().toStdString()) {}

QString AutosaveLocationError::errorDescription() const {
    if (kind_ == Kind::containsAutosave) {
        return localized(
            "選んだフォルダには別の自動保存ファイルがあります。別のフォルダを選んでください。");
    }
    return localized("保存先フォルダに書き込めません。別のフォルダを選んでください。");
}

AutosaveStore& AutosaveStore::shared() {
    static AutosaveStore* store = new AutosaveStore(Environment{
        QFileInfo(AppPaths::supportDirectory()).absolutePath(), &UserDefaults::standard(),
        &TimerFactory::system(), &MediaAccess::shared(), MediaAccess::isSandboxed()});
    return *store;
}

AutosaveStore::AutosaveStore(Environment environment) : env_(std::move(environment)) {}

AutosaveStore::~AutosaveStore() {
    timer_.reset();
    queue_.waitUntilIdle();
}

void AutosaveStore::setProjectProvider(ProjectProvider provider) {
    provider_ = std::move(provider);
}

void AutosaveStore::setNoticeHandler(NoticeHandler handler) {
    std::lock_guard guard(noticeLock_);
    noticeHandler_ = std::move(handler);
}

void AutosaveStore::notify(Notice::Kind kind, const QString& folder, const QString& error) {
    std::lock_guard guard(noticeLock_);
    if (noticeHandler_) noticeHandler_(Notice{kind, folder, error});
}

void AutosaveStore::writeFailed(const QString& folder, const QString& error) {
    if (writeFailing_) return;
    writeFailing_ = true;
    notify(Notice::Kind::writeFailed, folder, error);
}

void AutosaveStore::writeWorked(const QString& folder) {
    if (!writeFailing_) return;
    writeFailing_ = false;
    notify(Notice::Kind::writeRecovered, folder);
}

void AutosaveStore::runOnQueue(const std::function<void()>& work) {
    std::exception_ptr failure;
    queue_.sync([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (failure) std::rethrow_exception(failure);
}

void AutosaveStore::waitUntilIdle() {
    queue_.waitUntilIdle();
}

// MARK: Timer

void AutosaveStore::start() {
    queue_.async([this] { acceptsWrites_ = true; });
    if (timer_) return;
    timer_ = env_.timers->makeTimer([this] {
        if (!provider_) return;
        auto [project, origin] = provider_();
        write(std::move(project), std::move(origin));
    });
    timer_->start(static_cast<double>(intervalSeconds()), true);
}

void AutosaveStore::stop() {
    if (timer_) timer_->stop();
    timer_.reset();
}

bool AutosaveStore::isRunning() const {
    return timer_ != nullptr;
}

int AutosaveStore::intervalSeconds() const {
    const auto stored = env_.defaults->integer(intervalKey);
    if (stored && (*stored == 10 || *stored == 60 || *stored == 300))
        return static_cast<int>(*stored);
    return 30;
}

void AutosaveStore::setIntervalSeconds(int seconds) {
    if (seconds != 10 && seconds != 30 && seconds != 60 && seconds != 300) return;
    env_.defaults->set(intervalKey, seconds);
    if (timer_) {
        stop();
        start();
    }
}

// MARK: Writing

void AutosaveStore::write(PlayoutProject project, std::optional<QString> origin) {
    queue_.async([this, project = std::move(project), origin = std::move(origin)] {
        performWrite(project, origin);
    });
}

void AutosaveStore::performWrite(const PlayoutProject& project,
                                 const std::optional<QString>& origin) {
    if (!acceptsWrites_) return;
    const auto folder = ownedDirectory();
    if (!folder) return;
    // Checked at every tick, also when nothing changed, so a deleted lock file is taken again
    // soon, and a folder another copy held is taken back as soon as it is free.
    QString error;
    bool retaken = false;
    if (!confirmOwnership(*folder, &error, &retaken)) {
        if (!error.isEmpty()) writeFailed(*folder, error);
        return;
    }
    if (retaken) {
        // Another copy may have had the folder meanwhile and removed or replaced the files.
        lastWritten_.reset();
        lastOrigin_.reset();
    }
    const auto json = project.encoded(PlayoutProject::Encoding::pretty);
    if (!json) return;
    const QString originText = origin.value_or(QString());
    if (lastWritten_ == *json && lastOrigin_ == originText) {
        writeWorked(*folder);
        return;
    }

    if (lastWritten_ != *json) {
        // A project the loader would refuse must not replace an autosave that can be restored.
        if (project.clipCount() > PlayoutProject::kMaxClipCount) return;
        QByteArray sealed;
        try {
            sealed = ProjectCrypto::seal(*json);
        } catch (const std::exception&) {
            return;
        }
        if (sealed.size() > PlayoutProject::kMaxFileSize) return;
        const bool written = writeOwnFile(*folder + u'/' + autosaveFileName, sealed, &error);
        noteOwnFiles(*folder);
        if (!written) {
            writeFailed(*folder, error);
            return;
        }
        lastWritten_ = *json;
    }
    // A failed origin file is written again at the next tick: a stale one would name another
    // project's file as the place to save the restored work.
    const bool originWritten =
        writeOwnFile(*folder + u'/' + originFileName, originText.toUtf8(), &error);
    noteOwnFiles(*folder);
    if (!originWritten) {
        writeFailed(*folder, error);
        return;
    }
    lastOrigin_ = originText;
    writeWorked(*folder);
}

void AutosaveStore::clear() {
    runOnQueue([this] {
        acceptsWrites_ = false;
        lastWritten_.reset();
        lastOrigin_.reset();
        // Only while the lock is still ours: another copy that took the folder keeps its work.
        if (const auto folder = ownedDirectory(); folder && confirmOwnership(*folder, nullptr)) {
            QFile::remove(*folder + u'/' + autosaveFileName);
            QFile::remove(*folder + u'/' + originFileName);
            noteOwnFiles(*folder);
        }
    });
}

// MARK: Recovery

bool AutosaveStore::hasPendingRecovery() {
    const auto folder = ownedDirectory();
    return folder && QFileInfo::exists(*folder + u'/' + autosaveFileName);
}

std::optional<QDateTime> AutosaveStore::recoveryDate() {
    const auto folder = ownedDirectory();
    if (!folder) return std::nullopt;
    const QFileInfo info(*folder + u'/' + autosaveFileName);
    if (!info.exists()) return std::nullopt;
    return info.lastModified();
}

std::optional<AutosaveStore::Recovery> AutosaveStore::loadRecovery() {
    const auto folder = ownedDirectory();
    if (!folder) return std::nullopt;
    Recovery recovery;
    // Loaded through the descriptor opened here, so the loader reads exactly the regular file
    // that was checked, and nothing at the name can make the start wait.
    const RegularFile autosave = RegularFile::open(*folder + u'/' + autosaveFileName, O_RDONLY);
    if (!autosave.isOpen()) return std::nullopt;
    try {
        recovery.project =
            PlayoutProject::load(QStringLiteral("/proc/self/fd/%1").arg(autosave.fd()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (const auto origin = readOwnFile(*folder + u'/' + originFileName, kMaxOriginBytes)) {
        const QString text = QString::fromUtf8(*origin);
        if (!text.isEmpty()) recovery.origin = text;
    }
    return recovery;
}

// MARK: Folder

QString AutosaveStore::defaultDirectory() const {
    return standardized(env_.applicationSupport + QStringLiteral("/DOVRINE"));
}

std::optional<QString> AutosaveStore::directory() {
    std::lock_guard guard(directoryLock_);
    if (didResolveDirectory_) return resolvedDirectory_;
    didResolveDirectory_ = true;
    if (env_.applicationSupport.isEmpty()) return std::nullopt;

    if (const auto chosen = env_.defaults->string(directoryKey); chosen && !chosen->isEmpty()) {
        const QString path = standardized(*chosen);
        bool usable = true;
        if (env_.sandboxed && env_.mediaAccess)
            usable = env_.mediaAccess->restoreAccess({path}).isEmpty();
        const QFileInfo info(path);
        if (usable && info.exists() && info.isDir() && info.isWritable()) {
            resolvedDirectory_ = path;
            return resolvedDirectory_;
        }
    }
    const QString folder = defaultDirectory();
    QDir().mkpath(folder);
    migrateLegacyIfNeeded(env_.applicationSupport, folder);
    resolvedDirectory_ = folder;
    return resolvedDirectory_;
}

std::optional<QString> AutosaveStore::ownedDirectory() {
    const auto folder = directory();
    if (!folder) return std::nullopt;
    auto outcome = ExclusiveFileLock::Outcome::failed;
    QString error;
    {
        std::lock_guard guard(directoryLock_);
        if (lockedDirectory_ == folder) return folder;
        // Decided once per folder: a process that found the folder taken never takes it over
        // later, since it has not offered the owner's work for recovery.
        if (triedDirectory_ == folder) return std::nullopt;
        triedDirectory_ = folder;
        auto lock = std::make_unique<FolderLock>();
        outcome = lock->take(*folder, &error);
        if (outcome == ExclusiveFileLock::Outcome::locked) {
            folderLock_ = std::move(lock);
            lockedDirectory_ = folder;
            folderLost_ = false;
            // What is there now is this copy's to offer for recovery, or to replace.
            noteOwnFiles(*folder);
            return folder;
        }
    }
    if (outcome == ExclusiveFileLock::Outcome::busy) {
        notify(Notice::Kind::folderInUse, *folder);
    } else {
        notify(Notice::Kind::folderLockFailed, *folder, error);
    }
    return std::nullopt;
}

void AutosaveStore::noteOwnFiles(const QString& folder) {
    const std::lock_guard guard(ownFilesLock_);
    ownFiles_ = {stampOf(folder + u'/' + autosaveFileName),
                 stampOf(folder + u'/' + originFileName)};
}

bool AutosaveStore::holdsOnlyOwnFiles(const QString& folder) {
    const std::lock_guard guard(ownFilesLock_);
    const OwnFiles now{stampOf(folder + u'/' + autosaveFileName),
                       stampOf(folder + u'/' + originFileName)};
    // A file gone is no one's work; one there is this copy's only as it left it.
    for (std::size_t i = 0; i < now.size(); ++i)
        if (now[i] && now[i] != ownFiles_[i]) return false;
    return true;
}

bool AutosaveStore::confirmOwnership(const QString& folder, QString* error, bool* retaken) {
    auto change = Notice::Kind::folderTakenOver;
    {
        std::lock_guard guard(directoryLock_);
        if (lockedDirectory_ != folder || !folderLock_) return false;
        if (folderLock_->held()) return true;
        // A lock file or the folder was deleted or replaced, or another copy had them: take what
        // is at the paths now.
        QString reason;
        switch (folderLock_->take(folder, &reason)) {
            case ExclusiveFileLock::Outcome::locked:
                if (retaken) *retaken = true;
                if (!holdsOnlyOwnFiles(folder)) {
                    // Another copy had the folder meanwhile and ended without clearing its
                    // work: that work waits for its own next start, which offers it. This copy
                    // lets the folder go for the rest of the run and touches nothing there.
                    folderLock_.reset();
                    lockedDirectory_.reset();
                    if (std::exchange(folderLost_, false)) return false;  // told already
                    change = Notice::Kind::folderTakenOver;
                    break;
                }
                if (!std::exchange(folderLost_, false)) return true;
                // The warning of failing writes was cleared with the regain: a write that still
                // fails is told again.
                writeFailing_ = false;
                change = Notice::Kind::folderRegained;
                break;
            case ExclusiveFileLock::Outcome::failed:
                // Whether another copy holds it cannot be told: nothing is written or removed,
                // and the next write tries again.
                if (error) *error = reason;
                return false;
            case ExclusiveFileLock::Outcome::busy:
                // Another copy holds it now: nothing is written or removed until it lets go,
                // tried again at every write.
                if (std::exchange(folderLost_, true)) return false;
                change = Notice::Kind::folderTakenOver;
                break;
        }
    }
    notify(change, folder);
    return change == Notice::Kind::folderRegained;
}

void AutosaveStore::migrateLegacyIfNeeded(const QString& base, const QString& target) {
    std::lock_guard guard(legacyLock_);
    if (didCheckLegacy_) return;
    didCheckLegacy_ = true;
    if (QFileInfo::exists(target + u'/' + legacyMarkerName)) return;
    const QString legacy = standardized(base + QStringLiteral("/VELMAR"));
    for (const QString& name : {autosaveFileName, originFileName}) {
        const QString from = legacy + u'/' + name;
        const QString to = target + u'/' + name;
        if (QFileInfo::exists(from) && !QFileInfo::exists(to)) copyFile(from, to);
    }
    RegularFile::open(target + u'/' + legacyMarkerName, O_WRONLY | O_CREAT,
                      RegularFile::Links::follow, 0644);
}

void AutosaveStore::setDirectory(const std::optional<QString>& folder) {
    using Kind = AutosaveLocationError::Kind;
    if (env_.applicationSupport.isEmpty()) throw AutosaveLocationError(Kind::unavailable);
    if (folder && !folder->startsWith(u'/')) throw AutosaveLocationError(Kind::unavailable);
    const QString target = folder ? standardized(*folder) : defaultDirectory();

    if (folder && env_.sandboxed && env_.mediaAccess) {
        env_.mediaAccess->remember({target});
        if (!env_.mediaAccess->restoreAccess({target}).isEmpty())
            throw AutosaveLocationError(Kind::unavailable);
    }
    if (!QDir().mkpath(target) || !QFileInfo(target).isDir())
        throw AutosaveLocationError(Kind::unavailable);
    const QString probe = target + QStringLiteral("/.dovrine-write-test-") +
                          QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    if (!AtomicFile::write(probe, QByteArray()) || !QFile::remove(probe)) {
        QFile::remove(probe);
        throw AutosaveLocationError(Kind::unavailable);
    }

    runOnQueue([&] {
        const auto current = directory();
        // Another process's autosave in the current folder is neither moved nor removed.
        const bool owned =
            current && ownedDirectory() == current && confirmOwnership(*current, nullptr);
        const bool switching = !current || *current != target;
        std::unique_ptr<FolderLock> targetLock;
        if (switching) {
            if (QFileInfo::exists(target + u'/' + autosaveFileName) ||
                QFileInfo::exists(target + u'/' + originFileName)) {
                throw AutosaveLocationError(Kind::containsAutosave);
            }
            // A folder another process autosaves into is taken even while it holds no file.
            targetLock = std::make_unique<FolderLock>();
            QString error;
            if (targetLock->take(target, &error) != ExclusiveFileLock::Outcome::locked)
                throw AutosaveLocationError(Kind::containsAutosave);
            if (owned) {
                QStringList copied;
                for (const QString& name : {autosaveFileName, originFileName}) {
                    const QString from = *current + u'/' + name;
                    if (!QFileInfo::exists(from)) continue;
                    if (!copyFile(from, target + u'/' + name)) {
                        for (const QString& done : copied) QFile::remove(done);
                        throw AutosaveLocationError(Kind::unavailable);
                    }
                    copied << target + u'/' + name;
                }
            }
        }
        if (folder) {
            env_.defaults->set(directoryKey, target);
        } else {
            env_.defaults->remove(directoryKey);
        }
        {
            std::lock_guard guard(directoryLock_);
            resolvedDirectory_ = target;
            didResolveDirectory_ = true;
            if (targetLock) {
                folderLock_ = std::move(targetLock);
                lockedDirectory_ = target;
                triedDirectory_ = target;
                folderLost_ = false;
            }
        }
        if (switching && lockedDirectory_ == target) noteOwnFiles(target);  // the copies made
        if (owned && switching) {
            QFile::remove(*current + u'/' + autosaveFileName);
            QFile::remove(*current + u'/' + originFileName);
        }
        lastWritten_.reset();
        lastOrigin_.reset();
    });
}

bool AutosaveStore::selectedDirectoryUnavailable() {
    const auto stored = env_.defaults->string(directoryKey);  // a non-string reads as absent
    if (!stored) return false;
    const auto folder = directory();
    return !folder || *folder != *stored;
}

}  // namespace velmar
