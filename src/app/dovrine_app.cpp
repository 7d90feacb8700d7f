#include "app/dovrine_app.h"

#include "app/app_state.h"
#include "app/document_workflow.h"
#include "app/dovrine_app_document_host.h"
#include "app/key_monitor.h"
#include "app/menu_bar_builder.h"
#include "app/menu_commands.h"
#include "app/system_monitor.h"
#include "core/autosave_store.h"
#include "core/playout_log.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "platform/base/main_thread.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace velmar {

DovrineApp::DovrineApp(Views views) : DovrineApp(std::move(views), Services{}) {}

DovrineApp::DovrineApp(Views views, Services services)
    : app_(services.app ? *services.app : AppState::shared()),
      dialogs_(services.dialogs ? *services.dialogs : qtDialogs_),
      exitEventLoop_(std::move(services.exitEventLoop)),
      main_(std::make_unique<QMainWindow>()),
      settings_(std::make_unique<QWidget>()) {
    main_->setObjectName(QStringLiteral("main"));
    main_->resize(1920, 1080);
    settings_->setObjectName(QStringLiteral("settings"));
    settings_->resize(640, 480);

    host_ = std::make_unique<DovrineAppDocumentHost>(app_, main_.get());
    document_ = std::make_unique<DocumentWorkflow>(
        *host_, DocumentWorkflow::Environment::standard(&dialogs_));
    // The empty project the application starts with counts as saved.
    if (!app_.savedProjectSnapshot()) app_.setSavedProjectSnapshot(document_->projectSnapshot());
    app_.onUnreadableClips = [document = document_.get()](const auto& items) {
        document->presentUnreadableAlert(items);
    };
    main_->setCentralWidget(views.mainContent ? views.mainContent(*document_, main_.get())
                                              : new QWidget);
    if (views.settingsContent) {
        settingsHasContent_ = true;
        auto* layout = new QVBoxLayout(settings_.get());
        layout->setContentsMargins(0, 0, 0, 0);
        QWidget* content = views.settingsContent(*document_, settings_.get());
        layout->addWidget(content);
        settings_->resize(content->size());
    }

    MenuCommands::Windows windows;
    windows.showSettings = [this] { showSettings(); };
    windows.quit = [this] { requestQuit(); };
    windows.showManual = views.showManual;
    windows.showPreflight = views.showPreflight;
    windows.toggleSignalMonitor = views.toggleSignalMonitor;
    windows.revealLog = [] { PlayoutLog::shared().revealInFileManager(); };
    commands_ = std::make_unique<MenuCommands>(app_, *document_, windows);
    QMenuBar& bar = *main_->menuBar();
    menus_ = std::make_unique<MenuBarBuilder>(
        bar, [this](const MenuDescription::Item& item) { commands_->run(item); });
    if (views.commandMenus) {
        // The command menus stand before the help menu, the last one.
        const QList<QAction*> existing = bar.actions();
        QAction* help = existing.isEmpty() ? nullptr : existing.last();
        for (QMenu* menu : views.commandMenus(&bar)) bar.insertMenu(help, menu);
    }
    const auto refreshMenus = [this] {
        menus_->refresh({.isNumberEntryOpen = app_.isNumberEntryOpen(),
                         .isProjectLoading = app_.isProjectLoading()});
    };
    refreshMenus();
    connect(&app_, &AppState::isNumberEntryOpenChanged, this, refreshMenus);
    connect(&app_, &AppState::isProjectLoadingChanged, this, refreshMenus);

    KeyMonitor::Hooks keys;
    keys.flags = [this] {
        return KeyMonitor::Flags{app_.isSettingsOpen(), app_.isNumberEntryOpen(),
                                 app_.isFilePanelOpen(), app_.isProjectLoading()};
    };
    keys.openDurationEditorCursor = [this] {
        app_.openDurationEditor(AppState::DurationEditor::cursor);
    };
    keys.toggleSignalMonitor = views.toggleSignalMonitor;
    keys.titleEditorHandleKey = views.titleEditorHandleKey;
    keys.titleEditorTakesKey = views.titleEditorTakesKey;
    keyMonitor_ = std::make_unique<KeyMonitor>(&app_.engine(), keys);

    delegate_ = std::make_unique<AppDelegate>(steps());

    connect(&app_, &AppState::projectURLChanged, this, &DovrineApp::updateTitle);
    connect(&LanguageSettings::shared(), &LanguageSettings::languageChanged, this,
            &DovrineApp::applyLanguage);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive) delegate_->applicationDidBecomeActive();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this,
            [this] { delegate_->applicationWillTerminate(); });
    // Closing windows is decided here, so that the last one closed asks the quit question.
    QApplication::setQuitOnLastWindowClosed(false);
    main_->installEventFilter(this);
    settings_->installEventFilter(this);
    applyLanguage();
    retranslate();
}

DovrineApp::~DovrineApp() {
    keyMonitor_->stop();
    app_.onUnreadableClips = nullptr;
    // The menus call into the commands and the document workflow: they go first.
    menus_.reset();
    main_.reset();
    settings_.reset();
}

AppDelegate::Steps DovrineApp::steps() {
    AppDelegate::Steps s;
    s.startLog = [this] {
        // A day file that cannot be written is a warning that stays in the status line until
        // acknowledged, not a message the next status replaces. Told on the log's queue: the
        // application is looked up again on the main thread.
        PlayoutLog::shared().setFailureHandler([self = QPointer(this)](const QString& text) {
            postToMain([self, text] {
                if (self) self->app_.engine().setStandingWarning(text);
            });
        });
        PlayoutLog::shared().start();
    };
    s.startKeyMonitor = [this] { keyMonitor_->start(); };
    s.refreshDeckLinkDevices = [this] { app_.refreshDeckLinkDevices(); };
    s.refreshScreens = [this] { app_.refreshScreens(); };
    s.offerRecoveryIfNeeded = [this] { document_->offerRecoveryIfNeeded(); };
    s.markReadyForExternalOpen = [this] { document_->markReadyForExternalOpen(); };
    s.bringToFront = [this] {
        main_->show();
        main_->raise();
        main_->activateWindow();
    };
    s.openProjectFromFinder = [this](const QUrl& url) { document_->openProjectFromFinder(url); };
    s.showStatus = [this](const QString& text) {
        host_->setStatusMessage(text);
        PlayoutLog::shared().write(text);
    };
    s.reloadMediaCachesAfterActivation = [this] { document_->reloadMediaCachesAfterActivation(); };
    s.hasUnsavedProjectChanges = [this] { return document_->hasUnsavedProjectChanges(); };
    s.projectURL = [this] { return app_.projectURL(); };
    s.writeProject = [this](const QUrl& url) { return document_->writeProject(url); };
    s.saveProjectAs = [this] { return document_->saveProjectAs(); };
    s.askToSave = [this] {
        using Role = DocumentDialogs::ButtonRole;
        const DocumentDialogs::Alert alert{
            localized("変更を保存しますか？"),
            localized("プロジェクトに保存されていない変更があります。"),
            {{localized("保存"), Role::accept},
             {localized("保存しない"), Role::destructive},
             {localized("キャンセル"), Role::reject}}};
        switch (dialogs_.runAlert(alert, main_.get())) {
            case 0:
                return AppDelegate::SaveAnswer::save;
            case 1:
                return AppDelegate::SaveAnswer::dontSave;
            default:
                return AppDelegate::SaveAnswer::cancel;
        }
    };
    s.stopKeyMonitor = [this] { keyMonitor_->stop(); };
    s.stopDeckLink = [this] { app_.stopDeckLink(); };
    s.stopOBSOutput = [this] { app_.stopOBSOutput(); };
    s.closeOutputWindow = [this] {
        if (OutputWindowController* output = app_.output()) output->close();
    };
    s.stopAutosave = [] { AutosaveStore::shared().stop(); };
    // An earlier run's autosave that the operator has not answered for (the program ends before
    // or during the recovery question) is neither deleted nor written over: only the answer
    // may do that, so it is offered again at the next start.
    s.clearAutosave = [this] {
        if (document_->recoveryAwaitsAnswer()) return;
        AutosaveStore::shared().clear();
        AutosaveStore::shared().waitUntilIdle();
    };
    s.keepAutosave = [this] {
        if (document_->recoveryAwaitsAnswer()) return;
        const QUrl url = app_.projectURL();
        AutosaveStore::shared().write(
            document_->currentProject(),
            url.isEmpty() ? std::nullopt : std::optional(url.toLocalFile()));
        AutosaveStore::shared().waitUntilIdle();
    };
    s.stopLog = [] { PlayoutLog::shared().stop(); };
    return s;
}

void DovrineApp::launch(const QList<QByteArray>& files) {
    updateTitle();
    main_->show();
    // The main window, once shown, keeps the load figures going against one output frame.
    SystemMonitor& monitor = SystemMonitor::shared();
    const auto budget = [this, &monitor] {
        monitor.setFrameBudget(SystemMonitor::frameBudget(app_.engine().frameRate()));
    };
    budget();
    connect(&app_.engine(), &PlayoutEngine::frameRateChanged, this, budget);
    monitor.start();
    QTimer::singleShot(0, this, [this, files] {
        delegate_->openNativeFiles(files);
        delegate_->applicationDidFinishLaunching();
    });
}

void DovrineApp::terminateWithoutAsking() {
    quitting_ = true;
    QCoreApplication::exit(0);
}

void DovrineApp::requestQuit() {
    if (!delegate_->shouldTerminate()) return;
    quit();
}

void DovrineApp::quit() {
    quitting_ = true;
    // The main window is the application: the windows that keep it open (the settings and the
    // tool windows) close with it. The output window, which does not, is closed by the shutdown
    // after the outputs feeding it have stopped.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != main_.get() && window->isVisible() &&
            window->testAttribute(Qt::WA_QuitOnClose))
            window->close();
    }
    main_->close();
    if (exitEventLoop_) {
        exitEventLoop_();
    } else {
        QCoreApplication::exit(0);
    }
}

QLocale DovrineApp::localeFor(AppLanguage language) {
    switch (language) {
        case AppLanguage::ja:
            return QLocale(QStringLiteral("ja"));
        case AppLanguage::en:
            return QLocale(QStringLiteral("en"));
        case AppLanguage::system:
            break;
    }
    return QLocale::system();
}

QMainWindow* DovrineApp::mainWindow() const {
    return main_.get();
}
QWidget* DovrineApp::settingsWindow() const {
    return settings_.get();
}

void DovrineApp::applyLanguage() {
    const QLocale locale = localeFor(LanguageSettings::shared().language());
    for (QWidget* window : {static_cast<QWidget*>(main_.get()), settings_.get()}) {
        window->setLocale(locale);
    }
}

void DovrineApp::retranslate() {
    settings_->setWindowTitle(localized("設定"));
    updateTitle();
}

void DovrineApp::updateTitle() {
    main_->setWindowTitle(AppState::kControlWindowTitlePrefix + document_->projectDisplayName());
}

void DovrineApp::showSettings() {
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

bool DovrineApp::eventFilter(QObject* watched, QEvent* event) {
    const bool isMain = watched == main_.get();
    if (!isMain && watched != settings_.get()) return false;
    // Both window titles are this object's texts.
    if (isMain && event->type() == QEvent::LanguageChange) retranslate();
    if (!isMain && !settingsHasContent_ &&
        (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        const bool shown = event->type() == QEvent::Show;
        app_.setIsSettingsOpen(shown);
        if (shown) {
            app_.refreshDeckLinkDevices();
            app_.refreshScreens();
        }
        return false;
    }
    if (event->type() != QEvent::Close || quitting_) return false;
    // Closing the main window is a quit request, whatever else is open; the settings window
    // just closes, unless it is the only window shown.
    if (!isMain && main_->isVisible()) return false;
    if (!delegate_->shouldTerminate()) {
        event->ignore();
        return true;
    }
    quit();
    return false;
}

}  // namespace velmar
