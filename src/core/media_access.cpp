#include "core/media_access.h"

#include "models/localized.h"
#include "models/system_error_text.h"
#include "platform/base/app_paths.h"
#include "platform/base/main_thread.h"
#include "platform/base/private_directory.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

namespace velmar {

namespace {

// Without a sandbox a bookmark is just the path it was made from, and access needs no start.
class LocalBookmarkService final : public MediaAccess::BookmarkService {
  public:
    std::optional<QByteArray> makeBookmark(const QString& path) override { return path.toUtf8(); }
    std::optional<Resolved> resolve(const QByteArray& bookmark) override {
        return Resolved{QString::fromUtf8(bookmark), false};
    }
    bool startAccess(const QString&) override { return true; }
    bool isReadable(const QString& path) override { return QFileInfo(path).isReadable(); }
};

// Far more than any number of bookmarks a user hands over; a larger file is not ours.
constexpr qint64 kMaxStoreBytes = 16 * 1024 * 1024;

// The store's bytes: a regular file, not a link, at most the bound. Opened without waiting, so a
// pipe planted at the name cannot stall the caller.
std::optional<QByteArray> readStore(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<QByteArray> data;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxStoreBytes) {
        QByteArray bytes(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n =
                ::read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += n;
        }
        if (got == bytes.size()) data = std::move(bytes);
    }
    ::close(fd);
    return data;
}

// The bookmarks of the store's text: a JSON object of Base64 strings, or nothing at all.
std::optional<QHash<QString, QByteArray>> parseStore(const QByteArray& data) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    QHash<QString, QByteArray> read;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString()) return std::nullopt;
        auto decoded = QByteArray::fromBase64Encoding(it.value().toString().toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) return std::nullopt;
        read.insert(it.key(), *decoded);
    }
    return read;
}

QString parentPath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash <= 0) return slash == 0 ? QStringLiteral("/") : QString();
    return path.left(slash);
}

}  // namespace

MediaAccess& MediaAccess::shared() {
    static MediaAccess* instance =
        new MediaAccess(AppPaths::supportDirectory() + QStringLiteral("/MediaAccess.plist"),
                        std::make_shared<LocalBookmarkService>(), isSandboxed());
    return *instance;
}

bool MediaAccess::isSandboxed() {
    static const bool value = std::getenv("APP_SANDBOX_CONTAINER_ID") != nullptr;
    return value;
}

MediaAccess::MediaAccess(QString storePath, std::shared_ptr<BookmarkService> service,
                         bool sandboxed)
    : storePath_(std::move(storePath)), service_(std::move(service)), sandboxed_(sandboxed) {}

void MediaAccess::setFolderPanel(std::shared_ptr<FolderPanel> panel) {
    panel_ = std::move(panel);
}

void MediaAccess::setFilePanelOpenHandler(std::function<void(bool)> handler) {
    filePanelOpen_ = std::move(handler);
}

QString MediaAccess::standardized(const QString& path) {
    if (path.isEmpty()) return path;
    return QDir::cleanPath(QDir(QStringLiteral("/")).absoluteFilePath(path));
}

// A store that is there but cannot be read as ours (not a regular file, a link, too large, not
// our format) keeps nothing of it, and is noted so that it is moved aside before anything is
// written in its place.
void MediaAccess::loadOnce() {
    if (loaded_) return;
    loaded_ = true;
    if (storePath_.isEmpty()) return;
    const QByteArray native = QFile::encodeName(storePath_);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 && errno == ENOENT) return;
    const std::optional<QByteArray> data = readStore(native);
    if (data && data->isEmpty()) return;  // an empty file holds nothing to keep
    auto read = data ? parseStore(*data) : std::nullopt;
    if (!read) {
        unreadable_ = true;
        qWarning("DOVRINE: %s cannot be read; it is moved aside before the list is saved again",
                 native.constData());
        return;
    }
    bookmarks_ = std::move(*read);
}

std::optional<QString> MediaAccess::coveringKey(const QString& path) const {
    if (bookmarks_.contains(path)) return path;
    for (QString p = parentPath(path); p.size() >= 2; p = parentPath(p)) {
        if (bookmarks_.contains(p)) return p;
    }
    return std::nullopt;
}

void MediaAccess::remember(const QStringList& paths) {
    if (!sandboxed_) return;
    bool stored = false;
    {
        std::lock_guard guard(lock_);
        loadOnce();
        for (const QString& given : paths) {
            if (!given.startsWith(u'/')) continue;  // only file-system paths
            const QString p = standardized(given);
            if (coveringKey(p)) continue;
            const auto bookmark = service_->makeBookmark(p);
            if (!bookmark) continue;
            bookmarks_.insert(p, *bookmark);
            const QString inside = p == QStringLiteral("/") ? p : p + u'/';
            for (auto it = bookmarks_.begin(); it != bookmarks_.end();) {
                if (it.key() != p && it.key().startsWith(inside)) {
                    it = bookmarks_.erase(it);
                } else {
                    ++it;
                }
            }
            stored = true;
        }
    }
    if (stored) save();
}

// Moves the unreadable store to a name of its own next to it ("MediaAccess-unreadable-" and the
// local time); the link itself when it is one. False when it could not be moved.
bool MediaAccess::setAsideUnreadableStore() {
    const QFileInfo info(storePath_);
    const QString stem = info.absolutePath() + QStringLiteral("/MediaAccess-unreadable-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = stem + QStringLiteral(".plist");
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = stem + u'-' + QString::number(n) + QStringLiteral(".plist");
    if (::rename(QFile::encodeName(storePath_).constData(), QFile::encodeName(aside).constData()) ==
        0)
        return true;
    return errno == ENOENT;  // gone meanwhile: nothing left to keep
}

void MediaAccess::save() {
    // One save at a time: the store is moved aside, if need be, before any write.
    std::lock_guard saving(saveLock_);
    QHash<QString, QByteArray> copy;
    bool setAside = false;
    {
        std::lock_guard guard(lock_);
        copy = bookmarks_;
        setAside = unreadable_;
    }
    if (storePath_.isEmpty()) return;
    const QByteArray native = QFile::encodeName(storePath_);
    if (setAside) {
        if (!setAsideUnreadableStore()) {
            qWarning(
                "DOVRINE: %s cannot be read nor moved aside; the media access list is not "
                "saved",
                native.constData());
            return;
        }
        std::lock_guard guard(lock_);
        unreadable_ = false;
    }
    PrivateDirectory::makePath(QFileInfo(storePath_).absolutePath());
    QJsonObject object;
    for (auto it = copy.begin(); it != copy.end(); ++it) {
        object.insert(it.key(), QString::fromLatin1(it.value().toBase64()));
    }
    // The program's own file: replaced even when its write permission was taken away.
    QString error;
    if (!writeFileWhole(storePath_, QJsonDocument(object).toJson(QJsonDocument::Compact), &error,
                        AtomicFile::ReadOnlyTarget::replace)) {
        qWarning("DOVRINE: cannot save %s: %s", native.constData(), qUtf8Printable(error));
    }
}

QStringList MediaAccess::restoreAccess(const QStringList& paths) {
    if (!sandboxed_) return {};
    {
        std::lock_guard guard(lock_);
        loadOnce();
    }
    QStringList missing;
    QSet<QString> seen;
    for (const QString& given : paths) {
        if (seen.contains(given)) continue;
        seen.insert(given);
        const QString p = standardized(given);
        std::optional<QString> key;
        bool isActive = false;
        QByteArray bookmark;
        {
            std::lock_guard guard(lock_);
            key = coveringKey(p);
            if (key) {
                isActive = active_.contains(*key);
                bookmark = bookmarks_.value(*key);
            }
        }
        if (!key || bookmark.isEmpty()) {
            if (!service_->isReadable(p)) missing << given;
            continue;
        }
        if (isActive) continue;
        const auto resolved = service_->resolve(bookmark);
        if (!resolved || !service_->startAccess(resolved->path)) {
            missing << given;
            continue;
        }
        {
            std::lock_guard guard(lock_);
            active_.insert(*key, resolved->path);
        }
        if (resolved->isStale) remember({resolved->path});
    }
    // Access opened later in the loop for a folder may cover a path noted earlier.
    QStringList still;
    for (const QString& path : missing) {
        if (!service_->isReadable(standardized(path))) still << path;
    }
    return still;
}

void MediaAccess::requestAccessIfNeeded(const QStringList& paths,
                                        std::function<QString(qsizetype)> messageForCount,
                                        std::function<void(QStringList)> completion) {
    if (!sandboxed_) {
        completion({});
        return;
    }
    const QStringList missing = restoreAccess(paths);
    if (missing.isEmpty()) {
        completion({});
        return;
    }
    if (!panel_) {  // nobody can be asked: the paths stay unreadable
        completion(missing);
        return;
    }
    if (filePanelOpen_) filePanelOpen_(true);
    panel_->chooseFolder(
        localized("アクセスを許可"), messageForCount(missing.size()),
        mostCommonFolder(missing).value_or(QString()),
        [this, paths, missing, messageForCount, completion](std::optional<QString> chosen) {
            if (filePanelOpen_) filePanelOpen_(false);
            if (!chosen || chosen->isEmpty()) {
                completion(missing);
                return;
            }
            remember({*chosen});
            const QStringList still = restoreAccess(paths);
            if (still.isEmpty() || still.size() >= missing.size()) {
                completion(still);
                return;
            }
            postToMain([this, paths, messageForCount, completion] {
                requestAccessIfNeeded(paths, messageForCount, completion);
            });
        });
}

std::optional<QString> MediaAccess::mostCommonFolder(const QStringList& paths) {
    QHash<QString, int> counts;
    std::optional<QString> best;
    int bestCount = 0;
    for (const QString& path : paths) {
        const QString folder = standardized(parentPath(standardized(path)));
        const int count = ++counts[folder];
        if (count > bestCount) {
            bestCount = count;
            best = folder;
        }
    }
    return best;
}

QStringList MediaAccess::storedKeys() {
    std::lock_guard guard(lock_);
    loadOnce();
    QStringList keys = bookmarks_.keys();
    keys.sort();
    return keys;
}

}  // namespace velmar
