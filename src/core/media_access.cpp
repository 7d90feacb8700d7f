#include "core/media_access.h"

#include "models/atomic_file.h"
#include "models/localized.h"
#include "platform/base/app_paths.h"
#include "platform/base/main_thread.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

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

void MediaAccess::loadOnce() {
    if (loaded_) return;
    loaded_ = true;
    QFile file(storePath_);
    if (!file.open(QIODevice::ReadOnly)) return;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return;
    QHash<QString, QByteArray> read;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString()) return;  // not our store: keep nothing of it
        auto decoded = QByteArray::fromBase64Encoding(it.value().toString().toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) return;
        read.insert(it.key(), *decoded);
    }
    bookmarks_ = std::move(read);
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

void MediaAccess::save() {
    QHash<QString, QByteArray> copy;
    {
        std::lock_guard guard(lock_);
        copy = bookmarks_;
    }
    if (storePath_.isEmpty()) return;
    QDir().mkpath(QFileInfo(storePath_).absolutePath());
    QJsonObject object;
    for (auto it = copy.begin(); it != copy.end(); ++it) {
        object.insert(it.key(), QString::fromLatin1(it.value().toBase64()));
    }
    // The program's own file: replaced even when its write permission was taken away.
    AtomicFile::write(storePath_, QJsonDocument(object).toJson(QJsonDocument::Compact), nullptr,
                      AtomicFile::ReadOnlyTarget::replace);
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
