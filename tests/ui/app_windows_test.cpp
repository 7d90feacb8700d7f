// The application with all its windows: the main window and its menu bar, the settings window
// and the real tool windows (signal monitor, pre-show check, manual, a title editor), over an
// application state of its own. Menu shortcuts are pressed in windows other than the main one
// and their effect is read from the application state; closing windows is checked against the
// quit question.
#include "app/app_state.h"
#include "app/document_dialogs.h"
#include "app/document_workflow.h"
#include "app/dovrine_app.h"
#include "app/menu_description.h"
#include "app/preflight_app_host.h"
#include "app/preflight_runner.h"
#include "canvas/signal_probe.h"
#include "core/playout_engine.h"
#include "core/rundown.h"
#include "core/title_editor_model.h"
#include "models/language_settings.h"
#include "platform/base/user_defaults.h"
#include "support/fake_clock.h"
#include "ui/app_views.h"
#include "ui/tools/manual_window_controller.h"
#include "ui/tools/preflight_window_controller.h"
#include "ui/tools/signal_monitor_context.h"
#include "ui/tools/signal_monitor_view.h"
#include "ui/tools/signal_monitor_window_controller.h"
#include "ui/tools/title_editor_window_controller.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <deque>

namespace velmar {
namespace {

// Answers the boxes from a script and records every box and panel asked for.
struct ScriptedDialogs final : DocumentDialogs {
    QStringList asked;        // alert messages and panel messages, in order
    std::deque<int> answers;  // alert answers; closed (-1) once none is left
    QList<OpenPanel> panels;

    int runAlert(const Alert& alert, QWidget*) override {
        asked << alert.message;
        if (answers.empty()) return -1;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void showWindowModal(const Alert& alert, QWidget*) override { asked << alert.message; }
    std::optional<QUrl> runSavePanel(const SavePanel& panel, QWidget*) override {
        asked << panel.message;
        return std::nullopt;
    }
    std::optional<QList<QUrl>> runOpenPanel(const OpenPanel& panel, QWidget*) override {
        asked << panel.message;
        panels << panel;
        return std::nullopt;
    }
    void beginOpenPanel(const OpenPanel& panel, QWidget*, OpenCompletion done) override {
        asked << panel.message;
        panels << panel;
        done(std::nullopt);
    }
};

struct AppWindows : ::testing::Test {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("defaults.json")};
    test::FakeClock clock;
    AppState app{environment()};
    ScriptedDialogs dialogs;
    SignalProbe probe{clock, clock};
    SignalMonitorWindowController signalMonitor{probe, SignalMonitorContext::of(app)};
    PreflightAppHost preflightHost{app};
    PreflightWindowController preflight{
        [this] { return std::make_unique<PreflightRunner>(app.engine(), preflightHost); }};
    ManualWindowController manual;
    TitleEditorWindowController titles;
    int exits = 0;
    std::unique_ptr<DovrineApp> dovrine;
    QMainWindow* main = nullptr;

    AppState::Environment environment() {
        AppState::Environment e;
        e.defaults = &defaults;
        e.noCanvas = true;
        e.useSdiCard = true;  // and no card: SDI cannot start
        e.installScreenObservers = false;
        e.isSandboxed = [] { return false; };
        return e;
    }

    AppLanguage language = LanguageSettings::shared().language();

    void SetUp() override {
        LanguageSettings::shared().setLanguage(AppLanguage::ja);  // the texts below are its keys
        // The rundown the application starts with, saved as far as it knows.
        Rundown& r = rundown();
        if (r.groups().isEmpty()) r.addGroup("Group 1");
        QList<Clip> clips;
        for (const char* name : {"A", "B", "C"}) {
            Clip clip;
            clip.url = QUrl::fromLocalFile(dir.filePath(QString(name) + ".png"));
            clip.displayName = name;
            clip.isMissing = true;
            clips << clip;
        }
        r.addClips(clips);
        r.setSelectedIndex(0);

        DovrineApp::Views views;
        views.commandMenus = [this](QWidget* parent) { return AppViews::makeMenus(app, parent); };
        views.settingsContent = [this](DocumentWorkflow& document, QWidget* parent) {
            return AppViews::makeSettings(app, document, parent);
        };
        views.showManual = [this] { manual.show(); };
        views.showPreflight = [this] { preflight.show(); };
        views.toggleSignalMonitor = [this] { signalMonitor.toggle(); };
        views.titleEditorHandleKey = [this](QKeyEvent* e) { return titles.handleKeyEvent(*e); };
        views.titleEditorTakesKey = [this](QKeyEvent* e) { return titles.takesKeyEvent(*e); };
        dovrine = std::make_unique<DovrineApp>(
            views, DovrineApp::Services{&app, &dialogs, [this] { ++exits; }});
        main = dovrine->mainWindow();
        main->resize(900, 600);
        main->show();
        activate(main);
        dovrine->delegate().applicationDidFinishLaunching();
    }
    void TearDown() override {
        for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
        dovrine.reset();
        LanguageSettings::shared().setLanguage(language);
    }

    Rundown& rundown() { return app.engine().rundown(); }
    QStringList names() {
        QStringList out;
        const std::optional<ClipGroup> group = rundown().currentGroup();
        for (const Clip& clip : group->clips) out << clip.displayName;
        return out;
    }
    static void activate(QWidget* window) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window)) << window->objectName().toStdString();
    }
    // The key pressed with `window` in front, at its focused widget.
    static void press(QWidget* window, QKeyCombination key) {
        activate(window);
        QWidget* target = window->focusWidget() ? window->focusWidget() : window;
        QTest::keyClick(target, key.key(), key.keyboardModifiers());
    }
    QAction* menuItem(const QString& text) {
        for (QAction* action : main->menuBar()->findChildren<QAction*>())
            if (action->text() == text) return action;
        return nullptr;
    }
};

constexpr auto kCtrl = Qt::ControlModifier;
constexpr auto kCtrlShift = Qt::ControlModifier | Qt::ShiftModifier;

// Each window of the program reaches the menu bar: the tool windows open one another by their
// shortcuts, and the engine hears the emergency stop from the settings.
TEST_F(AppWindows, EveryWindowReachesTheMenuCommands) {
    press(main, kCtrl | Qt::Key_F12);
    ASSERT_TRUE(signalMonitor.isOpen());
    QWidget* monitor = signalMonitor.window();
    press(monitor, kCtrlShift | Qt::Key_K);
    ASSERT_NE(preflight.window(), nullptr);
    press(preflight.window(), kCtrl | Qt::Key_Question);
    ASSERT_NE(manual.window(), nullptr);
    press(manual.window(), kCtrl | Qt::Key_Comma);
    QWidget* settings = dovrine->settingsWindow();
    ASSERT_TRUE(settings->isVisible());
    press(settings, kCtrl | Qt::Key_Period);
    EXPECT_EQ(app.engine().lastMessage(), "緊急停止しました");
    // Ctrl+F12 toggles once from any window, the key monitor's toggle and not the menu's too.
    press(monitor, kCtrl | Qt::Key_F12);
    EXPECT_FALSE(signalMonitor.isOpen());

    // Every shortcut of the menu bar and the command menus is application-wide.
    for (QAction* action : main->menuBar()->findChildren<QAction*>()) {
        if (action->shortcut().isEmpty()) continue;
        EXPECT_EQ(action->shortcutContext(), Qt::ApplicationShortcut)
            << action->text().toStdString();
    }
}

// The digit keys reach the engine's rundown: 9 chooses the ninth tab, 1 the first.
TEST_F(AppWindows, DigitKeysChooseTheTabOfTheirNumber) {
    for (int n = rundown().groups().size() + 1; n <= 10; ++n)
        rundown().addGroup(MenuDescription::newTabName(n - 1));
    press(main, QKeyCombination(Qt::Key_9));
    EXPECT_EQ(rundown().currentGroupIndex(), 8);
    press(main, QKeyCombination(Qt::Key_1));
    EXPECT_EQ(rundown().currentGroupIndex(), 0);
}

// The rundown commands, pressed in the signal monitor window, act as from the main window, with
// the same enabled rules.
TEST_F(AppWindows, RundownCommandsFromAToolWindow) {
    signalMonitor.show();
    QWidget* monitor = signalMonitor.window();

    press(monitor, kCtrl | Qt::Key_A);
    EXPECT_EQ(rundown().reorderSelection().size(), 3);
    press(monitor, kCtrlShift | Qt::Key_A);
    EXPECT_TRUE(rundown().reorderSelection().isEmpty());
    EXPECT_FALSE(rundown().selectionAnchor().has_value());

    app.setStripRightToLeft(false);
    rundown().setSelectedIndex(0);
    press(monitor, kCtrl | Qt::AltModifier | Qt::Key_Right);  // A, the selected clip, moves right
    EXPECT_EQ(names(), (QStringList{"B", "A", "C"}));
    rundown().setSelectedIndex(1);
    app.setStripRightToLeft(true);  // on a strip drawn right to left, right is back
    press(monitor, kCtrl | Qt::AltModifier | Qt::Key_Right);
    EXPECT_EQ(names(), (QStringList{"A", "B", "C"}));

    const QUuid a = rundown().currentGroup()->clips[0].id;
    rundown().setSelectedIndex(0);
    press(monitor, kCtrl | Qt::Key_5);
    EXPECT_EQ(rundown().currentGroup()->clips[0].motion, MotionKind::fade);
    press(monitor, kCtrl | Qt::Key_Minus);
    EXPECT_EQ(rundown().currentGroup()->clips[0].motion, std::nullopt);

    const int token = app.filterRequestToken();
    press(monitor, kCtrl | Qt::Key_F);
    EXPECT_EQ(app.filterRequestToken(), token + 1);

    press(monitor, kCtrl | Qt::Key_T);
    ASSERT_EQ(rundown().groups().size(), 2);
    EXPECT_EQ(rundown().groups()[1].name, "Group 2");
    EXPECT_EQ(rundown().currentGroupIndex(), 1);
    press(monitor, kCtrl | Qt::Key_BracketLeft);
    EXPECT_EQ(rundown().currentGroupIndex(), 0);
    press(monitor, kCtrl | Qt::Key_BracketRight);
    EXPECT_EQ(rundown().currentGroupIndex(), 1);
    press(monitor, kCtrl | Qt::Key_D);  // the new tab is empty: no editor
    EXPECT_EQ(app.durationEditor(), std::nullopt);
    press(monitor, kCtrl | Qt::Key_BracketLeft);

    // The bulk duration editor holds the number entry: Ctrl+A waits for it.
    press(monitor, kCtrl | Qt::Key_D);
    EXPECT_EQ(app.durationEditor(), AppState::DurationEditor::bulk);
    press(monitor, kCtrl | Qt::Key_A);
    EXPECT_TRUE(rundown().reorderSelection().isEmpty());
    app.setDurationEditor(std::nullopt);
    menuItem("デュレーションを入力…（カーソル / Tab）")->trigger();
    EXPECT_EQ(app.durationEditor(), AppState::DurationEditor::cursor);
    app.setDurationEditor(std::nullopt);

    press(monitor, kCtrl | Qt::Key_Backspace);  // the selected clip, A
    EXPECT_EQ(names(), (QStringList{"B", "C"}));
    EXPECT_FALSE(rundown().locate(a).has_value());

    // The output switches answer from here too: without a card SDI does not start, and it
    // says so in the status line.
    app.engine().setLastMessage(QString());
    press(monitor, kCtrlShift | Qt::Key_D);
    EXPECT_FALSE(app.isDeckLinkRunning());
    EXPECT_FALSE(app.engine().lastMessage().isEmpty());
    app.engine().setLastMessage(QString());
    press(monitor, kCtrlShift | Qt::Key_M);  // no canvas here: the sub-monitor cannot open
    EXPECT_FALSE(app.isOutputOpen());
    EXPECT_FALSE(app.engine().lastMessage().isEmpty());
}

// The document commands ask their panels from a tool window; the import offers stills and
// movies with their extensions, or a folder.
TEST_F(AppWindows, DocumentCommandsFromAToolWindow) {
    manual.show();
    QWidget* window = manual.window();
    press(window, kCtrl | Qt::Key_O);
    press(window, kCtrl | Qt::Key_S);  // never saved: Save asks where
    press(window, kCtrlShift | Qt::Key_S);
    press(window, kCtrl | Qt::Key_I);
    menuItem("フォルダ…")->trigger();
    press(window, kCtrl | Qt::Key_R);
    QCoreApplication::processEvents();  // the replace panel is begun on the next turn
    EXPECT_EQ(dialogs.asked,
              (QStringList{"プロジェクトを開く", "プロジェクトを保存", "プロジェクトを保存",
                           "送出する素材を選択（静止画・動画、フォルダ選択も可）",
                           "送出する素材を選択（静止画・動画、フォルダ選択も可）",
                           "差し替える素材を選択"}));
    ASSERT_EQ(dialogs.panels.size(), 4);
    const auto& files = dialogs.panels[1];
    EXPECT_TRUE(files.choosesFiles && !files.choosesDirectories && files.allowsMultiple);
    EXPECT_TRUE(files.allowedExtensions.isEmpty());  // any file: the import sorts them out
    const auto& folder = dialogs.panels[2];
    EXPECT_TRUE(folder.choosesDirectories && !folder.choosesFiles);

    // The import entries sit together under the import title.
    QAction* stills = menuItem("静止画・動画…");
    ASSERT_NE(stills, nullptr);
    EXPECT_EQ(stills->shortcut(), QKeySequence(kCtrl | Qt::Key_I));
    const auto* submenu = qobject_cast<QMenu*>(stills->parent());
    ASSERT_NE(submenu, nullptr);
    EXPECT_EQ(submenu->title(), "素材をインポート…");
    EXPECT_TRUE(submenu->actions().contains(menuItem("フォルダ…")));

    // Ctrl+Q asks the same quit question from here; with no changes it quits at once.
    press(window, kCtrl | Qt::Key_Q);
    EXPECT_EQ(exits, 1);
}

// What a window keeps for itself: a text field its editing keys, the settings window Escape
// (no emergency stop while settings are open), a title editor the command keys it takes.
TEST_F(AppWindows, WindowsKeepTheirOwnKeys) {
    auto* field = new QLineEdit;
    QWidget* settings = dovrine->settingsWindow();
    settings->layout()->addWidget(field);
    press(main, kCtrl | Qt::Key_Comma);
    ASSERT_TRUE(app.isSettingsOpen());
    field->setText("hello world");
    field->setFocus();
    press(settings, kCtrl | Qt::Key_A);
    EXPECT_EQ(field->selectedText(), "hello world");
    field->end(false);
    press(settings, kCtrl | Qt::Key_Backspace);
    EXPECT_EQ(field->text(), "hello ");
    EXPECT_TRUE(rundown().reorderSelection().isEmpty());
    EXPECT_EQ(names(), (QStringList{"A", "B", "C"}));

    app.engine().setLastMessage(QString());
    press(settings, QKeyCombination(Qt::Key_Escape));
    press(main, QKeyCombination(Qt::Key_Escape));
    EXPECT_EQ(app.engine().lastMessage(), "");
    settings->close();
    ASSERT_FALSE(app.isSettingsOpen());

    QWidget editor;
    TitleDocument document;
    titles.registerWindow(&editor, std::make_unique<TitleEditorModel>(document, clock));
    QStringList posted;
    QObject::connect(&titles, &TitleEditorWindowController::commandPosted,
                     [&posted](TitleEditorModel*, const QVariantMap& info) {
                         posted << info.value("command").toString();
                     });
    editor.show();
    press(&editor, kCtrl | Qt::Key_S);  // the editor's save, not the project's
    press(&editor, kCtrl | Qt::Key_T);  // swallowed by the editor
    EXPECT_EQ(posted, QStringList{"s"});
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_EQ(rundown().groups().size(), 1);
    press(&editor, kCtrl | Qt::Key_Q);  // not taken by the editor: the menu's
    EXPECT_EQ(exits, 1);
}

// The main window is the application: closing it asks the quit question whatever else is open,
// a cancel keeps every window, and quitting closes them all with it.
TEST_F(AppWindows, ClosingTheMainWindowQuitsWithEveryWindowOrNothingCloses) {
    signalMonitor.show();
    preflight.show();
    manual.show();
    dovrine->settingsWindow()->show();
    const QList<QPointer<QWidget>> tools{signalMonitor.window(), preflight.window(),
                                         manual.window(), dovrine->settingsWindow()};
    const auto shown = [](const QPointer<QWidget>& window) {
        return window && window->isVisible();
    };
    rundown().removeClip(2);  // an unsaved change
    const QString question = "変更を保存しますか？";

    dialogs.answers = {2};  // キャンセル
    main->close();
    EXPECT_EQ(dialogs.asked, QStringList{question});
    EXPECT_TRUE(main->isVisible());
    for (const auto& tool : tools) EXPECT_TRUE(shown(tool)) << tool->objectName().toStdString();
    EXPECT_EQ(exits, 0);

    // Closing the settings window closes only it, without a question.
    dovrine->settingsWindow()->close();
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(dialogs.asked.size(), 1);
    dovrine->settingsWindow()->show();

    dialogs.answers = {1};  // 保存しない
    main->close();
    EXPECT_EQ(dialogs.asked, (QStringList{question, question}));
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(main->isVisible());
    for (const auto& tool : tools) EXPECT_FALSE(shown(tool));
    EXPECT_FALSE(signalMonitor.isOpen());
}

// With only the settings window beside it and nothing unsaved, closing the main window quits at
// once instead of leaving the settings alone without menus.
TEST_F(AppWindows, ClosingTheMainWindowBesideTheSettingsQuits) {
    dovrine->settingsWindow()->show();
    main->close();
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(main->isVisible());
    EXPECT_FALSE(dovrine->settingsWindow()->isVisible());
}

// A language switch redoes the window titles: the settings title comes in the new language, the
// main title stays the untranslated prefix and project name by which the control window is known.
TEST_F(AppWindows, WindowTitlesFollowALanguageSwitch) {
    app.setProjectURL(QUrl::fromLocalFile(dir.filePath("Show.tavrendek")));
    EXPECT_EQ(main->windowTitle(), QString::fromUtf8("DOVRINE — Show"));
    EXPECT_EQ(dovrine->settingsWindow()->windowTitle(), QString::fromUtf8("設定"));
    LanguageSettings::shared().setLanguage(AppLanguage::en);
    EXPECT_EQ(dovrine->settingsWindow()->windowTitle(), QStringLiteral("Settings"));
    EXPECT_EQ(main->windowTitle(), QString::fromUtf8("DOVRINE — Show"));
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    EXPECT_EQ(dovrine->settingsWindow()->windowTitle(), QString::fromUtf8("設定"));
    EXPECT_EQ(main->windowTitle(), QString::fromUtf8("DOVRINE — Show"));
}

}  // namespace
}  // namespace velmar
