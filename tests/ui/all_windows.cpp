#include "ui/all_windows.h"

#include "app/menu_bar_builder.h"
#include "app/preflight_runner.h"
#include "models/localized.h"
#include "ui/controls/titled_window.h"
#include "ui/panels/motion_profile_panel.h"
#include "ui/tools/manual_window_controller.h"
#include "ui/tools/preflight_window_controller.h"
#include "ui/tools/signal_monitor_context.h"
#include "ui/tools/signal_monitor_view.h"
#include "ui/window/pane_caption.h"
#include "ui/window/status_bar.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

namespace velmar::test {

AllWindows::AllWindows() {
    control.window.resize(1920, 1080);
    menuBar = new QMenuBar(&control.window);
    menus = std::make_unique<MenuBarBuilder>(*menuBar, [](const MenuDescription::Item&) {});
    for (QMenu* menu : AppViews::makeMenus(control.app, menuBar)) menuBar->addMenu(menu);
    control.window.show();

    settings = std::make_unique<TitledWindow>(L10N_KEY("設定"), Qt::Window);
    auto* layout = new QVBoxLayout(settings.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(AppViews::makeSettings(control.app, control.document, settings.get()));
    settings->show();

    signalMonitor =
        std::make_unique<SignalMonitorView>(probe, SignalMonitorContext::of(control.app));
    signalMonitor->setWindowFlag(Qt::Window);
    signalMonitor->resize(1180, 860);
    signalMonitor->show();

    preflight = std::make_unique<PreflightWindowController>(
        [this] { return std::make_unique<PreflightRunner>(control.app.engine(), preflightHost); },
        [] {});
    preflight->show();

    manual = std::make_unique<ManualWindowController>();
    manual->show();
}

AllWindows::~AllWindows() {
    // Windows that read the application state go before it.
    manual.reset();
    preflight.reset();
    signalMonitor.reset();
    settings.reset();
    menus.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void AllWindows::openOnDemand() {
    if (auto* motion = control.view->findChild<MotionProfilePanel*>()) motion->editDuration();
    control.app.openDurationEditor(AppState::DurationEditor::cursor);
    QCoreApplication::processEvents();
}

QList<QWidget*> AllWindows::windows() const {
    QList<QWidget*> out;
    out << const_cast<QWidget*>(&control.window) << settings.get() << signalMonitor.get();
    if (preflight->window()) out << preflight->window();
    if (manual->window()) out << manual->window();
    return out;
}

namespace {

QString describe(const QObject* object) {
    QStringList chain;
    for (const QObject* o = object; o; o = o->parent()) {
        const QString name = o->objectName();
        chain.prepend(QString::fromLatin1(o->metaObject()->className()) +
                      (name.isEmpty() ? QString() : u'#' + name));
    }
    return chain.join(u'/');
}

void addWidget(const QWidget* w, QList<ShownText>& out) {
    const QString where = describe(w);
    const auto add = [&](const char* what, const QString& text) {
        if (!text.trimmed().isEmpty()) out.append({where + u' ' + QLatin1String(what), text});
    };
    add("windowTitle", w->windowTitle());
    add("toolTip", w->toolTip());
    add("accessibleName", w->accessibleName());
    add("statusTip", w->statusTip());
    if (const auto* label = qobject_cast<const QLabel*>(w)) add("text", label->text());
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) add("text", button->text());
    if (const auto* line = qobject_cast<const QLineEdit*>(w))
        add("placeholderText", line->placeholderText());
    if (const auto* box = qobject_cast<const QGroupBox*>(w)) add("title", box->title());
    if (const auto* menu = qobject_cast<const QMenu*>(w)) add("title", menu->title());
    if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
        for (int i = 0; i < combo->count(); ++i) add("item", combo->itemText(i));
    }
    if (const auto* caption = qobject_cast<const PaneCaption*>(w)) add("caption", caption->text());
    if (const auto* status = qobject_cast<const StatusBar*>(w)) {
        add("canvasFigure", status->canvasFigure());
        add("positionFigure", status->positionFigure());
    }
}

}  // namespace

QList<ShownText> shownTexts(const QList<QWidget*>& windows) {
    QList<ShownText> out;
    for (const QWidget* window : windows) {
        addWidget(window, out);
        for (const QWidget* w : window->findChildren<QWidget*>()) addWidget(w, out);
        for (const QAction* action : window->findChildren<QAction*>()) {
            const QString where = describe(action);
            if (!action->text().isEmpty())
                out.append({where + QStringLiteral(" text"), action->text()});
            if (!action->toolTip().isEmpty())
                out.append({where + QStringLiteral(" toolTip"), action->toolTip()});
        }
    }
    return out;
}

}  // namespace velmar::test
