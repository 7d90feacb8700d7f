#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace velmar {

// The application's outer steps: the launch sequence, project files named on the command line,
// reloading media when the operator comes back to the application, the one quit decision, and
// the shutdown sequence. It owns no playout state; each step is a call into the application
// state, the document workflow or a process-wide service, given as `Steps` so that the order
// can be checked on its own. Main thread.
class AppDelegate : public QObject {
    Q_OBJECT
  public:
    // The answer to the unsaved-changes question.
    enum class SaveAnswer { save, dontSave, cancel };

    struct Steps {
        // Launch, in this order.
        std::function<void()> startLog;
        std::function<void()> startKeyMonitor;
        std::function<void()> refreshDeckLinkDevices;
        std::function<void()> refreshScreens;
        std::function<void()> offerRecoveryIfNeeded;  // also starts the autosave timer
        std::function<void()> markReadyForExternalOpen;
        // A project file handed over from outside.
        std::function<void()> bringToFront;
        std::function<void(const QUrl&)> openProjectFromFinder;
        // The status line and the operation log, told about handed-over files that are not
        // opened.
        std::function<void(const QString&)> showStatus;
        // Every activation after the first.
        std::function<void()> reloadMediaCachesAfterActivation;
        // The quit question.
        std::function<bool()> hasUnsavedProjectChanges;
        std::function<QUrl()> projectURL;
        std::function<bool(const QUrl&)> writeProject;
        std::function<bool()> saveProjectAs;
        std::function<SaveAnswer()> askToSave;
        // Shutdown, in this order.
        std::function<void()> stopKeyMonitor;
        std::function<void()> stopDeckLink;
        std::function<void()> stopOBSOutput;
        std::function<void()> closeOutputWindow;
        std::function<void()> stopAutosave;
        std::function<void()> clearAutosave;  // deletes the autosave before it returns
        std::function<void()> keepAutosave;   // writes the current project and waits for it
        std::function<void()> stopLog;
    };

    explicit AppDelegate(Steps steps, QObject* parent = nullptr);

    // The launch sequence, once the event loop runs.
    void applicationDidFinishLaunching();
    // Files handed over from outside (the command line, or a later start of the program), as the
    // file system's bytes: the first project file among them, matched by its extension in any
    // case, is opened, at once or when launching has finished; a missing one is opened too, so
    // that the open reports it. Files of other kinds (media, folders) are not imported; the status
    // line names them. A project whose name is not valid UTF-8 is opened through its bytes, and
    // the status line and the log say that saving it will ask where (the toolkit cannot name it).
    void openNativeFiles(const QList<QByteArray>& names);
    void openFiles(const QStringList& paths);
    // Shows `text` in the status line (and the operation log).
    void report(const QString& text);
    void applicationDidBecomeActive();
    bool hasActivatedOnce() const { return hasActivatedOnce_; }

    // The quit decision for the Quit command and the closing of the last window: true when the
    // application may end now.
    bool shouldTerminate();
    // The shutdown sequence. When unsaved changes remain that nobody was asked about (the
    // process is being ended by a signal or the session), the autosave is written and kept,
    // since it is then the only copy of the work; otherwise it is deleted.
    void applicationWillTerminate();

  private:
    static void call(const std::function<void()>& step) {
        if (step) step();
    }

    Steps steps_;
    bool hasActivatedOnce_ = false;
    bool quitDecided_ = false;  // shouldTerminate() let the application end
    bool terminated_ = false;
};

}  // namespace velmar
