#pragma once

#include "core/autosave_store.h"
#include "models/clip.h"
#include "models/clip_group.h"
#include "models/playout_project.h"
#include "models/project_backup_naming.h"
#include "platform/base/serial_queue.h"
#include "sdi/zr_deck_link_mode.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <optional>

class QWidget;

namespace velmar {

class DocumentDialogs;
class HostClock;
class MediaAccess;
class PlayoutEngine;
class PlayoutLog;
class ThumbnailCache;

// The project as a document: the record built from the engine and the comparison form behind
// "unsaved changes", saving with backup copies, opening on a background queue, the autosave
// recovery at launch, the unreadable-clip alert, and importing and replacing media. Every result
// and refusal goes to the status line; boxes appear only before a destructive step and for the
// list of unreadable clips, always through DocumentDialogs.
//
// Main thread only, except the file work of opening ("dovrine.open") and of importing
// ("dovrine.import"), which touches no shared state and hands its result back through a queued
// call that is dropped when the workflow is gone.
class DocumentWorkflow : public QObject {
    Q_OBJECT

  public:
    // What the workflow reads and writes of the application state that owns it. The names and
    // signatures are those of the application state's own members where it has them.
    class Host {
      public:
        virtual ~Host() = default;
        virtual PlayoutEngine& engine() = 0;
        // The file last saved to or opened from; empty for a new project.
        virtual const QUrl& projectURL() const = 0;
        virtual void setProjectURL(const QUrl& url) = 0;
        virtual bool isProjectLoading() const = 0;
        virtual void setIsProjectLoading(bool loading) = 0;
        // The comparison form at the last start, save, open or restore; none: always unsaved.
        virtual const std::optional<QByteArray>& savedProjectSnapshot() const = 0;
        virtual void setSavedProjectSnapshot(std::optional<QByteArray> snapshot) = 0;
        // The status line (the engine's lastMessage).
        virtual void setStatusMessage(const QString& text) = 0;
        // The SDI output: whether it runs, its mode, and the start and stop commands.
        virtual bool isDeckLinkRunning() const = 0;
        virtual std::optional<ZRDeckLinkMode> deckLinkRunningMode() const = 0;
        virtual void stopDeckLink() = 0;
        virtual void startDeckLink() = 0;
        // The visible window titled "DOVRINE — ...", else the main window, else null.
        virtual QWidget* controlWindow() const = 0;
        // The per-owner file-panel flag and its published value.
        virtual void setFilePanelOpen(QObject* owner, bool open) = 0;
        virtual bool isFilePanelOpen() const = 0;
        // The setting "reload media when the application becomes active".
        virtual bool reloadMediaOnActivation() const = 0;
    };

    // The desktop's default application for a file type (the image editor for .psd).
    struct Desktop {
        // Whether an application is registered for the file's type; may block, and is called
        // off the main thread.
        std::function<bool(const QUrl&)> hasDefaultApplication;
        // Opens the file with it; false with a description on failure.
        std::function<bool(const QUrl&, QString* error)> openWithDefaultApplication;
        // Shows a folder in the file manager.
        std::function<void(const QUrl&)> revealFolder;
        static Desktop standard();
    };

    struct Environment {
        AutosaveStore* autosave = nullptr;
        MediaAccess* mediaAccess = nullptr;
        ThumbnailCache* thumbnails = nullptr;
        DocumentDialogs* dialogs = nullptr;
        HostClock* clock = nullptr;  // calendar time of backup and set-aside names
        QString backupsDirectory;    // empty: no backups
        bool sandboxed = false;
        Desktop desktop;
        PlayoutLog* log = nullptr;  // the operation log; none: no log lines
        // The process's services (AutosaveStore::shared(), ...); the dialogs are the caller's.
        static Environment standard(DocumentDialogs* dialogs);
    };

    // Which kind of thing the add panel picks (a Qt file dialog picks one kind at a time).
    enum class AddPanelKind { files, folder };

    static constexpr int kBackupsKept = 20;
    static inline const QString projectExtension = QStringLiteral("tavrendek");
    static inline const QString untitledFileName = QStringLiteral("Untitled.tavrendek");

    // Installs the autosave provider (the current project and the project file's path).
    DocumentWorkflow(Host& host, Environment environment, QObject* parent = nullptr);
    ~DocumentWorkflow() override;

    // ---- Record and dirty tracking (document_workflow.cpp) -------------------------------------
    PlayoutProject currentProject() const;
    // Compact JSON with sorted keys of the record without selection, pixel sizes and content
    // anchors; none when it cannot be encoded.
    std::optional<QByteArray> projectSnapshot() const;
    bool hasUnsavedProjectChanges() const;
    // The project file's name without its last extension; "Untitled" for a new project.
    QString projectDisplayName() const;

    // ---- Saving and backups (document_workflow_save.cpp) ----------------------------------------
    bool writeProject(const QUrl& url);
    bool saveProjectAs();
    // The Save command: to projectURL when set, otherwise Save As.
    bool saveProject();
    std::optional<QUrl> normalizedProjectURL(const QUrl& url);
    void backupExisting(const QUrl& url);
    // Deletes all but the `keep` newest backups of one project (by modification time, equal
    // times by file name), only regular files whose names the naming owns.
    static void pruneBackups(const QString& folder, const ProjectBackupNaming& naming, int keep);
    void revealBackups();

    // ---- Opening (document_workflow_open.cpp) ---------------------------------------------------
    void openProject();
    void openProject(const QUrl& url);
    void openProjectFromFinder(const QUrl& url);
    void markReadyForExternalOpen();
    using ApplyCompletion = std::function<void(const QList<ClipGroup>&)>;
    void applyAfterGrantingAccess(const PlayoutProject& project, const QUrl& url,
                                  std::optional<QList<ClipGroup>> preparedGroups,
                                  ApplyCompletion completion);
    void apply(const PlayoutProject& project, const QUrl& url,
               std::optional<QList<ClipGroup>> preparedGroups);
    void restartDeckLinkIfModeChanged();
    // The fade duration a stored value gives: 0.1 at or below 0.1, else at most 5, rounded
    // half away from zero to hundredths; a non-finite value keeps `current`.
    static double appliedFadeDuration(double stored, double current);

    // ---- Recovery and the unreadable-clip alert (document_workflow_recovery.cpp)
    // -----------------
    // Asks whether to restore or discard an autosave left by an earlier run, then starts the
    // autosave timer. Only the operator's Discard deletes it; a question that ends without an
    // answer (the program is ending: a termination signal, the session) leaves it for the next
    // start, and the timer is not started, so nothing of this run writes over it.
    void offerRecoveryIfNeeded();
    // Whether an autosave of an earlier run may still be waiting for the operator's answer: true
    // until offerRecoveryIfNeeded() found none, or was answered. The shutdown then neither deletes
    // nor rewrites the autosave.
    bool recoveryAwaitsAnswer() const { return recoveryAwaitsAnswer_; }
    void presentUnreadableAlert(const QList<QPair<QString, QString>>& items);

    // ---- Import and replace (document_workflow_import.cpp) --------------------------------------
    void presentAddClips(AddPanelKind kind);
    void importURLs(const QList<QUrl>& urls, std::optional<int> insertAt = std::nullopt);
    // The clips an import makes of the URLs, sorted as the file manager sorts names (any thread).
    static QList<Clip> importedClips(const QList<QUrl>& urls);
    void replaceCursorClip();
    void presentReplace(int index);
    void reloadMediaCachesAfterActivation();
    // Opens a .psd file in the desktop's application for it. The application is looked up off
    // the main thread; the open, or the message that there is none, follows on the main thread.
    void openInPhotoshop(const QUrl& url);

    // Waits until the background work queued so far (opening, importing, asking the desktop) has
    // handed its result to the main queue (for tests and the quit path).
    void waitForBackgroundWork();

  private:
    // The comparison form of a record: compact JSON, keys sorted, without the selection, pixel
    // sizes and content anchors; none when a number is not finite.
    static std::optional<QByteArray> snapshotOf(const PlayoutProject& project);
    PlayoutEngine& engine() const { return host_.engine(); }
    void status(const QString& text) { host_.setStatusMessage(text); }
    QString setAsideUnreadableAutosave();
    // The autosave store's notices, on the main thread: a warning that stays in the status line
    // and a log line for each trouble, a status and a log line when writing works again.
    void autosaveNotice(const AutosaveStore::Notice& notice);
    void finishReplace(const QUuid& clipID, const QUuid& tabID,
                       const std::optional<QList<QUrl>>& urls);

    Host& host_;
    Environment env_;
    std::optional<QUrl> pendingOpenURL_;
    QString autosaveFailureWarning_;  // the autosave warning that its resumption clears
    bool isReadyForExternalOpen_ = false;
    bool recoveryAwaitsAnswer_ = true;
    SerialQueue openQueue_{"dovrine.open"};
    SerialQueue importQueue_{"dovrine.import"};
    SerialQueue desktopQueue_{"dovrine.desktop"};
};

}  // namespace velmar
