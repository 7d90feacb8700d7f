#pragma once

#include "ui/tools/signal_monitor_context.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace velmar {

class SignalProbe;
class SignalMonitorView;

// Opens and closes the signal monitor window, and runs the probe exactly while it is open.
// show() brings an open window to the front; otherwise it starts the probe, then builds a new
// window ("dovrine.signal-monitor", content 1180 x 860, at least 1080 x 700, centred). Closing
// the window stops the probe (which clears its snapshot) and drops the window, so the next
// show() builds the window and its view state anew. Main thread.
class SignalMonitorWindowController : public QObject {
    Q_OBJECT
  public:
    static constexpr int kWidth = 1180;
    static constexpr int kHeight = 860;
    static constexpr int kMinimumWidth = 1080;
    static constexpr int kMinimumHeight = 700;

    SignalMonitorWindowController(SignalProbe& probe, SignalMonitorContext context,
                                  QObject* parent = nullptr);
    ~SignalMonitorWindowController() override;

    // The process-wide controller over SignalProbe::shared() and AppState::shared(), built on
    // first use (main thread).
    static SignalMonitorWindowController& shared();

    void show();
    // Closes the open window, else shows one (the menu command and its key).
    void toggle();
    bool isOpen() const { return window_ != nullptr; }
    QWidget* window() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void windowWillClose();

    SignalProbe& probe_;
    SignalMonitorContext context_;
    QPointer<SignalMonitorView> window_;
};

}  // namespace velmar
