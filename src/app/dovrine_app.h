#pragma once

#include "app/app_delegate.h"
#include "app/document_dialogs_qt.h"

#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class QKeyEvent;
class QMainWindow;
class QMenu;
class QWidget;

namespace velmar {

class AppState;
class DocumentWorkflow;
class DovrineAppDocumentHost;
class KeyMonitor;
class MenuBarBuilder;
class MenuCommands;
enum class AppLanguage;

// The application object: the main window (object name "main", titled "DOVRINE — " and the
// project's name, 1920 by 1080 at first, with the menu bar) and the settings window, both
// following the chosen interface language; the document workflow on the shared application
// state; and the delegate that runs launch, quit and shutdown. One per process, on the main
// thread, made after the QApplication.
class DovrineApp : public QObject {
    Q_OBJECT
  public:
    // The views the application shows, supplied by the layer above it. An empty entry leaves
    // that part out (an empty main window, a command that does nothing).
    struct Views {
        // The main window's content, built once for the main window.
        std::function<QWidget*(DocumentWorkflow& document, QWidget* parent)> mainContent;
        // Command menus placed before the help menu, in order.
        std::function<QList<QMenu*>(QWidget* parent)> commandMenus;
        // The settings window's content, built once. It marks the settings open and scans the
        // devices and screens itself when shown; without it the window does so.
        std::function<QWidget*(DocumentWorkflow& document, QWidget* parent)> settingsContent;
        std::function<void()> showManual;
        std::function<void()> showPreflight;
        std::function<void()> toggleSignalMonitor;
        // The title editor's own key handling; true when it took the press.
        std::function<bool(QKeyEvent*)> titleEditorHandleKey;
        // Whether the title editor would take the press, without running it.
        std::function<bool(QKeyEvent*)> titleEditorTakesKey;
    };

    // What the application runs on; an empty entry takes the process's own: AppState::shared(),
    // Qt's boxes and panels, and QCoreApplication::exit(0) to end the event loop.
    struct Services {
        AppState* app = nullptr;
        DocumentDialogs* dialogs = nullptr;
        std::function<void()> exitEventLoop;
    };

    explicit DovrineApp(Views views = {});
    DovrineApp(Views views, Services services);
    ~DovrineApp() override;

    // Shows the main window and, once the event loop runs, hands `files` (the command line's
    // file arguments, as the file system's bytes) to the delegate and runs the launch sequence.
    void launch(const QList<QByteArray>& files);
    // Ends the application without the unsaved-changes question (a termination signal or the
    // session ending); the shutdown then keeps unsaved work in the autosave.
    void terminateWithoutAsking();
    // The Quit command: ends the application when the quit decision allows it, closing every
    // window with it. Closing the main window asks the same; closing the settings window only
    // closes it.
    void requestQuit();

    // The locale the windows take for a language choice; `system` follows the user's locale.
    static QLocale localeFor(AppLanguage language);

    QMainWindow* mainWindow() const;
    QWidget* settingsWindow() const;
    AppDelegate& delegate() { return *delegate_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    AppDelegate::Steps steps();
    // The windows' locale follows the choice; their texts follow the language-change event.
    void applyLanguage();
    void retranslate();
    void updateTitle();
    void showSettings();
    // Quitting is decided: the windows close and the event loop ends.
    void quit();

    AppState& app_;
    DocumentDialogsQt qtDialogs_;
    DocumentDialogs& dialogs_;
    std::function<void()> exitEventLoop_;
    std::unique_ptr<QMainWindow> main_;
    std::unique_ptr<QWidget> settings_;
    std::unique_ptr<DovrineAppDocumentHost> host_;
    std::unique_ptr<DocumentWorkflow> document_;
    std::unique_ptr<KeyMonitor> keyMonitor_;
    std::unique_ptr<MenuCommands> commands_;
    std::unique_ptr<MenuBarBuilder> menus_;
    std::unique_ptr<AppDelegate> delegate_;
    bool quitting_ = false;
    bool settingsHasContent_ = false;
};

}  // namespace velmar
