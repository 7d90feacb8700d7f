#pragma once

#include "ui/tools/signal_monitor_context.h"
#include "ui/tools/signal_monitor_status.h"

#include <QWidget>

#include <vector>

class QCheckBox;
class QLabel;

namespace velmar {

class SignalMonitorPane;
class SignalMonitorReadouts;
class SignalProbe;

// The signal monitor's content: a status bar (source, format, key convention, keyer, dropped
// frames while SDI runs, the violations checkbox and the sample line), then either the FILL and
// KEY pictures, the four scopes and the readouts of the probe's latest snapshot, or a
// placeholder until one arrives. Everything shown is read again from the snapshot and the
// context whenever either changes.
class SignalMonitorView : public QWidget {
    Q_OBJECT
  public:
    SignalMonitorView(SignalProbe& probe, SignalMonitorContext context, QWidget* parent = nullptr);

    // Whether the FILL picture shows the violations overlay (true for each new view).
    bool highlightViolations() const;
    // The status bar's inputs as they stand.
    SignalMonitorStatus::Inputs statusInputs() const;

  public slots:
    void refresh();

  protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void retranslate();
    struct StatusItem {
        QWidget* box = nullptr;
        QLabel* label = nullptr;
        QLabel* value = nullptr;
    };

    void refreshPictures();

    SignalProbe& probe_;
    SignalMonitorContext context_;
    std::vector<StatusItem> statusItems_;
    QCheckBox* highlight_ = nullptr;
    QLabel* sampleLine_ = nullptr;
    QLabel* placeholder_ = nullptr;
    QWidget* content_ = nullptr;
    SignalMonitorPane* fill_ = nullptr;
    SignalMonitorPane* key_ = nullptr;
    SignalMonitorPane* lumaWaveform_ = nullptr;
    SignalMonitorPane* keyWaveform_ = nullptr;
    SignalMonitorPane* parade_ = nullptr;
    SignalMonitorPane* vectorscope_ = nullptr;
    SignalMonitorReadouts* readouts_ = nullptr;
};

}  // namespace velmar
