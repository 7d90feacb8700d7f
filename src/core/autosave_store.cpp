#include "core/autosave_store.h"

#include "core/media_access.h"
#include "models/localized.h"
#include "models/project_crypto.h"
#include "models/system_error_text.h"
#include "platform/base/app_paths.h"
#include "platform/base/atomic_file.h"
#include "platform/base/exclusive_file_lock.h"
#include "platform/base/private_directory.h"
#include "platform/base/regular_file.h"
#include "platform/base/timer.h"
#include "platform/base/user_defaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <exception>
#include <utility>

namespace velmar {

namespace {

QString standardized(const QString& path) {
    return QDir::cleanPath(QDir(QStringLiteral("/")).absoluteFilePath(path));
}

// The store's own files are always replaced, also when something took their write permission:
// an autosave that can no longer be written or read would end crash recovery for good. A link at
// the name is refused, the operator's own too: the readers never follow one, so a write through
// it would be an autosave no start offers.
bool writeOwnFile(const QString& path, const QByteArray& data, QString* error = nullptr) {
    AtomicFile::Options options;
    options.readOnly = AtomicFile::ReadOnlyTarget::replace;
    options.links = AtomicFile::Links::refuse;
    // The operator's work, in a folder that may be shared: for the operator alone to read.
    options.newFileMode = 0600;
    return writeFileWhole(path, data, error, options);
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

// What is at the path itself (a link not followed); none when nothing is there.
std::optional<struct stat> entryAt(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return st;
}

QString linkInPlace() {
    return systemErrorText(AtomicFile::kLinkRefused);
}

QString othersFileInPlace() {
    return systemErrorText(AtomicFile::kOtherOwner);
}

// Why an entry at one of the store's names is not this user's file, as the operator reads it;
// empty when it is (whatever its type: a folder or pipe of one's own is only unreadable).
QString foreignReason(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) return linkInPlace();
    if (st.st_uid != ::geteuid()) return othersFileInPlace();
    return {};
}

// Opens one of the store's files for reading: only a regular file this user owns, judged on the
// opened descriptor, so nothing can be swapped in between. A link at the name is not followed,
// and a pipe or device there is never waited on. When the open fails for something that is not
// this user's, `foreign` says what it is.
RegularFile openOwnFile(const QString& path, QString* foreign) {
    RegularFile file = RegularFile::open(path, O_RDONLY, RegularFile::Links::refuse);
    if (file.isOpen()) {
        struct stat st {};
        if (::fstat(file.fd(), &st) == 0 && st.st_uid == ::geteuid()) return file;
        *foreign = othersFileInPlace();
        return {};
    }
    if (file.error() != ENOENT) {
        if (const auto entry = entryAt(path)) *foreign = foreignReason(*entry);
    }
    return {};
}

// One of the store's files whole, at most `limit` bytes, when it is a regular file of this
// user's (see openOwnFile); none when it is missing, larger or unreadable.
std::optional<QByteArray> readOwnWhole(const QString& path, qint64 limit, QString* foreign) {
    RegularFile file = openOwnFile(path, foreign);
    if (!file.isOpen()) return std::nullopt;
    bool whole = false;
    std::optional<QByteArray> bytes = file.read(limit, &whole);
    if (!bytes || !whole) return std::nullopt;
    return bytes;
}

// Removes what is at the path when it is this user's and no link. A link (the operator's, put
// there on purpose) or another user's entry stays, and `foreign` says what it is. False when
// something is left there.
bool removeIfOwn(const QString& path, QString* foreign) {
    const auto entry = entryAt(path);
    if (!entry) return true;
    if (const QString why = foreignReason(*entry); !why.isEmpty()) {
        *foreign = why;
        return false;
    }
    return ::unlink(QFile::encodeName(path).constData()) == 0;
}

// Why a folder chosen for the autosave cannot be used at the start; empty when it can.
QString unusableReason(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return systemErrorText(ENOENT);
    if (!info.isDir()) return systemErrorText(ENOTDIR);
    if (!info.isWritable()) return systemErrorText(EACCES);
    if (!AtomicFile::guardedFolder(path))
        return localized("他のユーザーがファイルの名前を変えたり削除したりできるフォルダです");
    return {};
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
    // cannot have the folder never holds its lock file, not even for a moment. On failure
    // `error` gets the reason in the interface language and `where` the path that failed.
    ExclusiveFileLock::Outcome take(const QString& path, QString* error, QString* where = nullptr) {
        for (ExclusiveFileLock* lock : {&folder, &file}) {
            if (lock->heldAtPath()) continue;
            const QString at = lock == &folder ? path : path + u'/' + lockFileName;
            const bool locked = lock == &folder ? lock->tryLockDirectory(at) : lock->tryLock(at);
            if (!locked) {
                *error = systemErrorText(lock->errorCode());
                if (where) *where = at;
                return lock->outcome();
            }
        }
        return ExclusiveFileLock::Outcome::locked;
    }
};

AutosaveLocationError::AutosaveLocationError(Kind kind)
    : kind_(kind), message_(errorDescription().toStdString()) {}

QString AutosaveLocationError::errorDescription() const {
    switch (kind_) {
        case Kind::containsAutosave:
            return localized(
                "選んだフォルダには別の自動保存ファイルがあります。別のフォルダを選んでください。");
        case Kind::foreignEntry:
            // clang-format off
            return localized("選んだフォルダには自動保存ファイルの名前でシンボリックリンクか他のユーザーのファイルが置かれています。別のフォルダを選んでください。");
            // clang-format on
        case Kind::othersCanChange:
            // clang-format off
            return localized("選んだフォルダでは他のユーザーがファイルの名前を変えたり削除したりできます。自分だけが変更できるフォルダか、スティッキービットの付いたフォルダ（/tmp など）を選んでください。");
            // clang-format on
        case Kind::unavailable:
            break;
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

void AutosaveStore::notify(Notice::Kind kind, const QString& folder, const QString& error,
                           const QString& path) {
    std::lock_guard guard(noticeLock_);
    if (noticeHandler_) noticeHandler_(Notice{kind, folder, error, path});
}

void AutosaveStore::tellForeign(const QString& folder, const QString& path, const QString& what) {
    if (what.isEmpty()) return;
    {
        const std::lock_guard guard(foreignLock_);
        const QString told = path + u'\n' + what;
        if (toldForeign_.contains(told)) return;
        toldForeign_ << told;
    }
    notify(Notice::Kind::foreignFile, folder, what, path);
}

std::optional<QByteArray> AutosaveStore::readOwnFile(const QString& folder, const QString& path,
                                                     qint64 limit) {
    QString foreign;
    auto bytes = readOwnWhole(path, limit, &foreign);
    tellForeign(folder, path, foreign);
    return bytes;
}

void AutosaveStore::removeOwnFile(const QString& folder, const QString& path) {
    QString foreign;
    removeIfOwn(path, &foreign);
    tellForeign(folder, path, foreign);
}

void AutosaveStore::writeFailed(const QString& folder, const QString& path, const QString& error) {
    if (writeFailing_) return;
    writeFailing_ = true;
    notify(Notice::Kind::writeFailed, folder, error, path);
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
    QString where;
    bool retaken = false;
    if (!confirmOwnership(*folder, &error, &where, &retaken)) {
        if (!error.isEmpty()) writeFailed(*folder, where, error);
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
        const QString path = *folder + u'/' + autosaveFileName;
        const bool written = writeOwnFile(path, sealed, &error);
        noteOwnFiles(*folder);
        if (!written) {
            writeFailed(*folder, path, error);
            return;
        }
        lastWritten_ = *json;
    }
    // A failed origin file is written again at the next tick: a stale one would name another
    // project's file as the place to save the restored work.
    const QString originPath = *folder + u'/' + originFileName;
    const bool originWritten = writeOwnFile(originPath, originText.toUtf8(), &error);
    noteOwnFiles(*folder);
    if (!originWritten) {
        writeFailed(*folder, originPath, error);
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
            removeOwnFile(*folder, *folder + u'/' + autosaveFileName);
            removeOwnFile(*folder, *folder + u'/' + originFileName);
            noteOwnFiles(*folder);
        }
    });
}

// MARK: Recovery

// Anything of this user's at the name is pending, also what cannot be read (it is then set
// aside); a link or another user's file there is no work of this user's.
bool AutosaveStore::hasPendingRecovery() {
    const auto folder = ownedDirectory();
    if (!folder) return false;
    const QString path = *folder + u'/' + autosaveFileName;
    const auto entry = entryAt(path);
    if (!entry) return false;
    const QString foreign = foreignReason(*entry);
    tellForeign(*folder, path, foreign);
    return foreign.isEmpty();
}

std::optional<QDateTime> AutosaveStore::recoveryDate() {
    const auto folder = ownedDirectory();
    if (!folder) return std::nullopt;
    const QString path = *folder + u'/' + autosaveFileName;
    QString foreign;
    const RegularFile autosave = openOwnFile(path, &foreign);
    tellForeign(*folder, path, foreign);
    struct stat st {};
    if (!autosave.isOpen() || ::fstat(autosave.fd(), &st) != 0) return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(st.st_mtim.tv_sec) * 1000 +
                                          st.st_mtim.tv_nsec / 1'000'000);
}

std::optional<AutosaveStore::Recovery> AutosaveStore::loadRecovery() {
    const auto folder = ownedDirectory();
    if (!folder) return std::nullopt;
    Recovery recovery;
    // Loaded through the descriptor opened here, so the loader reads exactly the regular file of
    // this user's that was checked, and nothing at the name can make the start wait.
    const QString path = *folder + u'/' + autosaveFileName;
    QString foreign;
    const RegularFile autosave = openOwnFile(path, &foreign);
    tellForeign(*folder, path, foreign);
    if (!autosave.isOpen()) return std::nullopt;
    try {
        recovery.project =
            PlayoutProject::load(QStringLiteral("/proc/self/fd/%1").arg(autosave.fd()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    // Another user's origin would name the file a restored project is saved over: it is none.
    if (const auto origin =
            readOwnFile(*folder, *folder + u'/' + originFileName, kMaxOriginBytes)) {
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
    std::unique_lock guard(directoryLock_);
    if (didResolveDirectory_) return resolvedDirectory_;
    didResolveDirectory_ = true;
    if (env_.applicationSupport.isEmpty()) return std::nullopt;

    if (const auto chosen = env_.defaults->string(directoryKey); chosen && !chosen->isEmpty()) {
        const QString path = standardized(*chosen);
        QString why;
        if (env_.sandboxed && env_.mediaAccess &&
            !env_.mediaAccess->restoreAccess({path}).isEmpty())
            why = systemErrorText(EACCES);
        if (why.isEmpty()) why = unusableReason(path);
        if (why.isEmpty()) {
            resolvedDirectory_ = path;
            return resolvedDirectory_;
        }
        unusedChoice_ = {path, why};
    }
    const QString folder = defaultDirectory();
    PrivateDirectory::makePath(folder);
    const auto left = migrateLegacyIfNeeded(env_.applicationSupport, folder);
    resolvedDirectory_ = folder;
    if (!left.isEmpty()) {
        // Told without the lock, so a handler may ask for the folder.
        guard.unlock();
        for (const auto& [from, path, why] : left) tellForeign(from, path, why);
    }
    return folder;
}

std::optional<QString> AutosaveStore::ownedDirectory() {
    const auto folder = directory();
    if (!folder) return std::nullopt;
    auto outcome = ExclusiveFileLock::Outcome::failed;
    QString error;
    QString where;
    std::optional<std::array<QString, 2>> unused;
    {
        std::lock_guard guard(directoryLock_);
        if (lockedDirectory_ == folder) return folder;
        // Decided once per folder: a process that found the folder taken never takes it over
        // later, since it has not offered the owner's work for recovery.
        if (triedDirectory_ == folder) return std::nullopt;
        triedDirectory_ = folder;
        // Told at the first use, once the application listens, before what follows of it.
        unused = std::exchange(unusedChoice_, std::nullopt);
        auto lock = std::make_unique<FolderLock>();
        outcome = lock->take(*folder, &error, &where);
        if (outcome == ExclusiveFileLock::Outcome::locked) {
            folderLock_ = std::move(lock);
            lockedDirectory_ = folder;
            folderLost_ = false;
            // What is there now is this copy's to offer for recovery, or to replace.
            noteOwnFiles(*folder);
        }
    }
    if (unused) notify(Notice::Kind::chosenFolderUnusable, *folder, (*unused)[1], (*unused)[0]);
    switch (outcome) {
        case ExclusiveFileLock::Outcome::locked:
            return folder;
        case ExclusiveFileLock::Outcome::busy:
            notify(Notice::Kind::folderInUse, *folder);
            break;
        case ExclusiveFileLock::Outcome::failed:
            notify(Notice::Kind::folderLockFailed, *folder, error, where);
            break;
    }
    return std::nullopt;
}

void AutosaveStore::noteOwnFiles(const QString& folder) {
    const std::lock_guard guard(ownFilesLock_);
    ownFiles_ = {stampOf(folder + u'/' + autosaveFileName),
                 stampOf(folder + u'/' + originFileName)};
}

bool AutosaveStore::holdsOnlyOwnFiles(const QString& folder,
                                      QList<std::array<QString, 2>>* foreign) {
    const std::lock_guard guard(ownFilesLock_);
    const std::array<QString, 2> paths{folder + u'/' + autosaveFileName,
                                       folder + u'/' + originFileName};
    bool own = true;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        // A file gone is no one's work; a link or another user's file is no copy's work (no copy
        // writes through a link or into another user's file), left as it is and told; a file
        // of this user's is this copy's only as it left it.
        const auto entry = entryAt(paths[i]);
        if (!entry) continue;
        if (const QString why = foreignReason(*entry); !why.isEmpty()) {
            foreign->append({paths[i], why});
            continue;
        }
        if (stampOf(paths[i]) != ownFiles_[i]) own = false;
    }
    return own;
}

bool AutosaveStore::confirmOwnership(const QString& folder, QString* error, QString* where,
                                     bool* retaken) {
    std::optional<Notice::Kind> change;
    bool owned = false;
    QList<std::array<QString, 2>> foreign;
    {
        std::lock_guard guard(directoryLock_);
        if (lockedDirectory_ != folder || !folderLock_) return false;
        if (folderLock_->held()) return true;
        // A lock file or the folder was deleted or replaced, or another copy had them: take what
        // is at the paths now.
        QString reason;
        QString at;
        switch (folderLock_->take(folder, &reason, &at)) {
            case ExclusiveFileLock::Outcome::locked:
                if (retaken) *retaken = true;
                if (!holdsOnlyOwnFiles(folder, &foreign)) {
                    // Another copy had the folder meanwhile and ended without clearing its
                    // work: that work waits for its own next start, which offers it. This copy
                    // lets the folder go for the rest of the run and touches nothing there.
                    folderLock_.reset();
                    lockedDirectory_.reset();
                    if (!std::exchange(folderLost_, false)) change = Notice::Kind::folderTakenOver;
                    break;
                }
                owned = true;
                if (std::exchange(folderLost_, false)) {
                    // The warning of failing writes was cleared with the regain: a write that
                    // still fails is told again.
                    writeFailing_ = false;
                    change = Notice::Kind::folderRegained;
                }
                break;
            case ExclusiveFileLock::Outcome::failed:
                // Whether another copy holds it cannot be told: nothing is written or removed,
                // and the next write tries again.
                if (error) *error = reason;
                if (where) *where = at;
                return false;
            case ExclusiveFileLock::Outcome::busy:
                // Another copy holds it now: nothing is written or removed until it lets go,
                // tried again at every write.
                if (!std::exchange(folderLost_, true)) change = Notice::Kind::folderTakenOver;
                break;
        }
    }
    // Told without the lock, so a handler may ask for the folder.
    for (const auto& [path, why] : foreign) tellForeign(folder, path, why);
    if (change) notify(*change, folder);
    return owned;
}

QList<std::array<QString, 3>> AutosaveStore::migrateLegacyIfNeeded(const QString& base,
                                                                   const QString& target) {
    std::lock_guard guard(legacyLock_);
    QList<std::array<QString, 3>> left;
    if (didCheckLegacy_) return left;
    didCheckLegacy_ = true;
    // Anything at a name (a link too) counts as there: nothing is written through it.
    if (entryAt(target + u'/' + legacyMarkerName)) return left;
    const QString legacy = standardized(base + QStringLiteral("/VELMAR"));
    for (const QString& name : {autosaveFileName, originFileName}) {
        const QString from = legacy + u'/' + name;
        const QString to = target + u'/' + name;
        if (!entryAt(from) || entryAt(to)) continue;
        // Through the atomic writer, so a copy cut short never looks like an autosave.
        QString foreign;
        if (const auto data = readOwnWhole(from, PlayoutProject::kMaxFileSize, &foreign))
            writeOwnFile(to, *data);
        if (!foreign.isEmpty()) left.append({legacy, from, foreign});
    }
    RegularFile::open(target + u'/' + legacyMarkerName, O_WRONLY | O_CREAT,
                      RegularFile::Links::refuse, 0644);
    return left;
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
    // Where another user can rename or remove the operator's files, the origin file could be set
    // aside and put back after a later crash, naming another project as the one to save over.
    if (folder && !AtomicFile::guardedFolder(target))
        throw AutosaveLocationError(Kind::othersCanChange);
    const QString probe = target + QStringLiteral("/.dovrine-write-test-") +
                          QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    QString foreign;
    if (!AtomicFile::write(probe, QByteArray()) || !removeIfOwn(probe, &foreign)) {
        removeIfOwn(probe, &foreign);
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
            // Anything at the names counts, also a link that leads nowhere; a link or another
            // user's file there, the lock file's name included, is refused as such.
            bool holdsAutosave = false;
            for (const QString& name : {autosaveFileName, originFileName, lockFileName}) {
                const auto entry = entryAt(target + u'/' + name);
                if (entry && !foreignReason(*entry).isEmpty())
                    throw AutosaveLocationError(Kind::foreignEntry);
                if (entry && name != lockFileName) holdsAutosave = true;
            }
            if (holdsAutosave) throw AutosaveLocationError(Kind::containsAutosave);
            // A folder another process autosaves into is taken even while it holds no file.
            targetLock = std::make_unique<FolderLock>();
            QString error;
            if (targetLock->take(target, &error) != ExclusiveFileLock::Outcome::locked)
                throw AutosaveLocationError(Kind::containsAutosave);
            if (owned) {
                QStringList copied;
                for (const QString& name : {autosaveFileName, originFileName}) {
                    const QString from = *current + u'/' + name;
                    const auto entry = entryAt(from);
                    if (!entry) continue;
                    // A link or another user's file is not this copy's work: not carried.
                    if (const QString why = foreignReason(*entry); !why.isEmpty()) {
                        tellForeign(*current, from, why);
                        continue;
                    }
                    // Through the atomic writer, so a copy cut short never looks like an
                    // autosave.
                    const auto data = readOwnFile(*current, from, PlayoutProject::kMaxFileSize);
                    if (!data || !writeOwnFile(target + u'/' + name, *data)) {
                        QString left;
                        for (const QString& done : copied) removeIfOwn(done, &left);
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
            unusedChoice_.reset();  // a choice made now replaces the one not used
            if (targetLock) {
                folderLock_ = std::move(targetLock);
                lockedDirectory_ = target;
                triedDirectory_ = target;
                folderLost_ = false;
            }
        }
        if (switching && lockedDirectory_ == target) noteOwnFiles(target);  // the copies made
        if (owned && switching) {
            removeOwnFile(*current, *current + u'/' + autosaveFileName);
            removeOwnFile(*current, *current + u'/' + originFileName);
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
