#pragma once

#include "ui/tools/signal_monitor_formats.h"

#include <QWidget>

#include <memory>

namespace velmar {

struct SignalSnapshot;

// The readout block of the signal monitor: the four columns of one snapshot's figures side by
// side, in a block exactly 100 points high (plus its padding) that clips what does not fit.
class SignalMonitorReadouts : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kContentHeight = 100;
    static constexpr int kPadding = 10;

    explicit SignalMonitorReadouts(QWidget* parent = nullptr);

    void setSnapshot(std::shared_ptr<const SignalSnapshot> snapshot);
    const std::vector<SignalMonitorFormats::Column>& columns() const { return columns_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<SignalMonitorFormats::Column> columns_;
};

}  // namespace velmar
