#pragma once

#include "app/preflight_app_host.h"
#include "canvas/signal_probe.h"
#include "support/fake_clock.h"
#include "ui/control_window_harness.h"

#include <QList>
#include <QString>

#include <memory>

class QMenuBar;

namespace velmar {

class ManualWindowController;
class MenuBarBuilder;
class PreflightWindowController;
class SignalMonitorView;

namespace test {

// Every window of the program at once, as the application builds them, over one application
// state of its own: the control window with all its panels and the menu bar with every menu,
// the settings window, the signal monitor, the pre-show check and the manual. All are shown;
// openOnDemand() adds the popovers and sheets that exist only while they are open.
struct AllWindows {
    AllWindows();
    ~AllWindows();

    // Opens the motion panel's duration popover and the duration sheet of the cursor.
    void openOnDemand();
    // The top-level windows built, main window first.
    QList<QWidget*> windows() const;

    ControlWindowHarness control{{.noCanvas = true}};
    QMenuBar* menuBar = nullptr;
    std::unique_ptr<MenuBarBuilder> menus;
    std::unique_ptr<QWidget> settings;
    FakeClock probeClock;
    SignalProbe probe{probeClock, probeClock};
    std::unique_ptr<SignalMonitorView> signalMonitor;
    PreflightAppHost preflightHost{control.app};
    std::unique_ptr<PreflightWindowController> preflight;
    std::unique_ptr<ManualWindowController> manual;
};

// One text a window shows: where it is and what it says.
struct ShownText {
    QString where;
    QString text;
};

// Every text the windows and their children show: window titles, texts, titles, tooltips,
// placeholders, accessible names, combo-box items, menu titles and every action's text and
// tooltip, plus the painted captions and figures that the views keep (pane captions, status
// figures). Hidden widgets count: a popover not open now still shows its texts when it opens.
QList<ShownText> shownTexts(const QList<QWidget*>& windows);

}  // namespace test
}  // namespace velmar
