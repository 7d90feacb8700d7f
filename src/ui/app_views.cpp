#include "ui/app_views.h"

#include "app/app_state.h"
#include "app/document_workflow.h"
#include "app/system_monitor.h"
#include "core/media_access.h"
#include "core/reference_tone.h"
#include "ui/controls/palette.h"
#include "ui/panels/dsk_control_bar.h"
#include "ui/panels/dsk_panel.h"
#include "ui/panels/duration_editor_sheet.h"
#include "ui/panels/motion_profile_panel.h"
#include "ui/panels/reference_tone_menu.h"
#include "ui/panels/test_pattern_menu.h"
#include "ui/panels/timecode_panel.h"
#include "ui/panels/transform_panel.h"
#include "ui/panels/transport_bar.h"
#include "ui/rundown/clip_strip.h"
#include "ui/rundown/sequence_bar.h"
#include "ui/rundown/tab_bar.h"
#include "ui/tools/manual_window_controller.h"
#include "ui/tools/preflight_window_controller.h"
#include "ui/tools/settings_view.h"
#include "ui/tools/signal_monitor_view.h"
#include "ui/tools/signal_monitor_window_controller.h"
#include "ui/tools/title_editor_window_controller.h"
#include "ui/window/app_state_window_model.h"
#include "ui/window/content_view.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include <functional>

namespace velmar {

namespace {

// The content view places the widgets of its slots by geometry only; each of them takes the
// layout's design scale whenever it is resized or shown.
class ScaleFollower : public QObject {
  public:
    ScaleFollower(QWidget& widget, std::function<void(double)> setScale)
        : QObject(&widget), widget_(widget), setScale_(std::move(setScale)) {
        widget.installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Resize && event->type() != QEvent::Show) return false;
        ContentView* view = nullptr;
        for (QWidget* w = widget_.parentWidget(); w && !view; w = w->parentWidget())
            view = qobject_cast<ContentView*>(w);
        if (!view) return false;
        const double s = view->layout().s;
        if (s > 0 && s != scale_) {
            scale_ = s;
            setScale_(s);
            // Heights the view takes from size hints change with the scale: lay out again.
            QCoreApplication::postEvent(view, new QResizeEvent(view->size(), view->size()));
        }
        return false;
    }

  private:
    QWidget& widget_;
    std::function<void(double)> setScale_;
    double scale_ = 0;
};

template <typename View>
View* scaled(View* view) {
    new ScaleFollower(*view, [view](double s) { view->setScale(s); });
    return view;
}

QStringList localPaths(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) paths.append(url.toLocalFile());
    }
    return paths;
}

ContentView::Slots slotsFor(AppState& app, DocumentWorkflow& document) {
    PlayoutEngine& engine = app.engine();
    Rundown& rundown = engine.rundown();
    ContentView::Slots views;

    views.timecodePanel = [&app](QWidget* parent) {
        return scaled(
            new TimecodePanel(app, ReferenceTone::shared(), Palette::systemRed(), parent));
    };
    views.transportBar = [&engine](QWidget* parent) {
        return scaled(new TransportBar(engine, Palette::systemRed(), parent));
    };
    views.transformPanel = [&app](QWidget* parent) {
        return scaled(new TransformPanel(app, parent));
    };
    views.keyerBar = [&engine](QWidget* parent) {
        return scaled(new DSKControlBar(engine.dsk(), engine, parent));
    };
    views.keyerPanel = [&app, &engine](QWidget* parent) {
        return scaled(new DSKPanel(engine.dsk(), engine, app, parent));
    };
    views.sequenceBar = [&app, &engine, &rundown](QWidget* parent) {
        auto* bar = scaled(new SequenceBar(rundown, parent));
        bar->followEngine(engine);
        bar->followAppState(app);
        return bar;
    };
    views.tabBar = [&app, &rundown](QWidget* parent) {
        auto* bar = scaled(new TabBar(
            rundown, [&app](QObject* owner, bool open) { app.setNumberEntryOpen(owner, open); },
            parent));
        bar->followAppState(app);
        return bar;
    };
    views.clipStrip = [&app, &engine, &rundown, &document](QWidget* parent) {
        ClipStrip::Services services;
        services.importURLs = [&document](const QList<QUrl>& urls, std::optional<int> at) {
            MediaAccess::shared().remember(localPaths(urls));
            document.importURLs(urls, at);
        };
        services.menu.presentReplace = [&document](int index) { document.presentReplace(index); };
        services.menu.openInPhotoshop = [&document](const QUrl& url) {
            document.openInPhotoshop(url);
        };
        auto* strip = scaled(new ClipStrip(rundown, services, parent));
        strip->followEngine(engine);
        strip->followAppState(app);
        return strip;
    };
    views.motionPanel = [&app, &engine](QWidget* parent) {
        auto* panel = scaled(new MotionProfilePanel(engine, app.centerColumnWidth(), app, parent));
        QObject::connect(&app, &AppState::centerColumnWidthChanged, panel,
                         &MotionProfilePanel::setPanelWidth);
        return panel;
    };
    views.durationSheet = [&app, &engine](int editor, QWidget* parent) -> QDialog* {
        const auto target =
            editor == 0 ? AppState::DurationEditor::cursor : AppState::DurationEditor::bulk;
        return new DurationEditorSheet(app, engine, target, parent);
    };
    return views;
}

}  // namespace

ContentView* AppViews::makeContent(AppState& app, DocumentWorkflow& document, QWidget* parent) {
    AppStateWindowModel::Hooks hooks;
    hooks.projectDisplayName = [&document] { return document.projectDisplayName(); };
    hooks.remember = [](const QList<QUrl>& urls) {
        MediaAccess::shared().remember(localPaths(urls));
    };
    hooks.importURLs = [&document](const QList<QUrl>& urls) { document.importURLs(urls); };
    hooks.presentAddClips = [&document](MainWindowModel::AddPanel panel) {
        document.presentAddClips(panel == MainWindowModel::AddPanel::folder
                                     ? DocumentWorkflow::AddPanelKind::folder
                                     : DocumentWorkflow::AddPanelKind::files);
    };
    auto* model = new AppStateWindowModel(app, hooks);
    model->watch(SystemMonitor::shared());
    auto* view = new ContentView(*model, app.engine(), slotsFor(app, document), {}, parent);
    // The model goes with the view, after the view's own widgets that read it.
    model->setParent(view);
    return view;
}

QWidget* AppViews::makeSettings(AppState& app, DocumentWorkflow& document, QWidget* parent) {
    SettingsView::Services services = SettingsView::Services::standard();
    services.currentProject = [&document] { return document.currentProject(); };
    auto* form = new SettingsView(app, services);
    // The form keeps its width; a screen too low for it scrolls.
    auto* scroll = new QScrollArea(parent);
    scroll->setObjectName(QStringLiteral("settingsScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(form);
    scroll->setWidgetResizable(true);
    scroll->setFixedWidth(SettingsView::kWidth + scroll->verticalScrollBar()->sizeHint().width());
    // The window takes the form's height, up to the height of the screen it opens on.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().height() - 40 : 1000;
    scroll->resize(scroll->width(), std::min(form->heightForWidth(SettingsView::kWidth), room));
    return scroll;
}

QList<QMenu*> AppViews::makeMenus(AppState& app, QWidget* parent) {
    return {new ReferenceToneMenu(ReferenceTone::shared(), app, parent),
            new TestPatternMenu(app, parent)};
}

DovrineApp::Views AppViews::standard() {
    DovrineApp::Views views;
    views.mainContent = [](DocumentWorkflow& document, QWidget* parent) -> QWidget* {
        return makeContent(AppState::shared(), document, parent);
    };
    views.commandMenus = [](QWidget* parent) { return makeMenus(AppState::shared(), parent); };
    views.settingsContent = [](DocumentWorkflow& document, QWidget* parent) {
        return makeSettings(AppState::shared(), document, parent);
    };
    views.showManual = [] {
        static ManualWindowController* manual = new ManualWindowController;
        manual->show();
    };
    views.showPreflight = [] { PreflightWindowController::shared().show(); };
    views.toggleSignalMonitor = [] { SignalMonitorWindowController::shared().toggle(); };
    views.titleEditorHandleKey = [](QKeyEvent* event) {
        return TitleEditorWindowController::shared().handleKeyEvent(*event);
    };
    views.titleEditorTakesKey = [](QKeyEvent* event) {
        return TitleEditorWindowController::shared().takesKeyEvent(*event);
    };
    return views;
}

}  // namespace velmar
