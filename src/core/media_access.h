#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace velmar {

// Remembers the media files and folders the user handed over as bookmarks, restores access to
// them when a project or the autosave folder is opened again, and asks the user for the folder
// that holds most of what is still out of reach. Outside a sandbox (always so on this platform)
// every operation returns at once as if everything were readable; the table logic runs behind
// the BookmarkService and FolderPanel interfaces so that it can be exercised with fakes.
//
// Threads: remember() and restoreAccess() may be called from any thread (one lock guards the
// tables; it is never held while the store is written, a bookmark is resolved or access
// started). requestAccessIfNeeded() and the panel run on the main thread.
class MediaAccess {
  public:
    // The platform's bookmark facility.
    class BookmarkService {
      public:
        struct Resolved {
            QString path;
            bool isStale = false;
        };
        virtual ~BookmarkService() = default;
        virtual std::optional<QByteArray> makeBookmark(const QString& path) = 0;
        virtual std::optional<Resolved> resolve(const QByteArray& bookmark) = 0;
        virtual bool startAccess(const QString& path) = 0;
        virtual bool isReadable(const QString& path) = 0;
    };

    // An open panel that lets the user choose one folder. `done` gets the chosen folder's path,
    // or nothing when the user cancelled.
    class FolderPanel {
      public:
        virtual ~FolderPanel() = default;
        virtual void chooseFolder(const QString& prompt, const QString& message,
                                  const QString& startFolder,
                                  std::function<void(std::optional<QString>)> done) = 0;
    };

    // The process's instance: store file MediaAccess.plist in the support folder, sandboxed when
    // the environment has APP_SANDBOX_CONTAINER_ID.
    static MediaAccess& shared();
    static bool isSandboxed();

    MediaAccess(QString storePath, std::shared_ptr<BookmarkService> service, bool sandboxed);

    // Installed by the application: the panel, and the flag it raises while a panel is open.
    void setFolderPanel(std::shared_ptr<FolderPanel> panel);
    void setFilePanelOpenHandler(std::function<void(bool)> handler);

    // Stores bookmarks for the paths that no stored bookmark covers yet.
    void remember(const QStringList& paths);
    // Starts access for the stored bookmarks that cover the paths; returns the paths (as given)
    // that still cannot be read.
    QStringList restoreAccess(const QStringList& paths);
    // Restores what it can, then asks for a folder as long as that helps; `completion` gets the
    // paths that stay unreadable (empty when all are readable).
    void requestAccessIfNeeded(const QStringList& paths,
                               std::function<QString(qsizetype)> messageForCount,
                               std::function<void(QStringList)> completion);

    // The folder holding the most of the paths; nothing for an empty list.
    static std::optional<QString> mostCommonFolder(const QStringList& paths);
    // A path with "." and ".." removed, links not resolved.
    static QString standardized(const QString& path);

    // For tests and diagnostics: the stored keys.
    QStringList storedKeys();

  private:
    void loadOnce();                                                // lock held
    std::optional<QString> coveringKey(const QString& path) const;  // lock held
    void save();
    bool setAsideUnreadableStore();

    const QString storePath_;
    const std::shared_ptr<BookmarkService> service_;
    const bool sandboxed_;
    std::shared_ptr<FolderPanel> panel_;
    std::function<void(bool)> filePanelOpen_;

    std::mutex lock_;
    QHash<QString, QByteArray> bookmarks_;
    QHash<QString, QString> active_;
    bool loaded_ = false;
    bool unreadable_ = false;  // the store is there but was not read: never written over
    std::mutex saveLock_;
};

}  // namespace velmar
