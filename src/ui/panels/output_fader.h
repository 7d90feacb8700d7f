#pragma once

#include <QWidget>

#include <functional>

namespace velmar {

// The PROGRAM output fader: "F", the track with its marks and knob, and the dB readout, in
// design units. It reads and writes the position through the two functions its owner binds
// (AppState::faderPosition in the main window). Bypassed (a reference tone plays) it is drawn
// at 0.4 and still writes.
class OutputFader : public QWidget {
    Q_OBJECT
  public:
    static constexpr double kHeight = 18;  // design units
    static constexpr double kLabelWidth = 12;
    static constexpr double kReadoutWidth = 36;
    static constexpr double kSpacing = 4;

    OutputFader(std::function<double()> position, std::function<void(double)> setPosition,
                QWidget* parent = nullptr);

    void setBypassed(bool bypassed);
    bool isBypassed() const { return isBypassed_; }
    void setScale(double s);
    // The track's rectangle in widget pixels.
    QRectF trackRect() const;

    QSize sizeHint() const override;
    // The help text at a point in widget pixels: the label's own over "F", else the fader's.
    QString toolTipAt(QPointF pos) const;

  protected:
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void setFromPointer(double x);
    void updateHelp();

    std::function<double()> position_;
    std::function<void(double)> setPosition_;
    bool isBypassed_ = false;
    bool dragging_ = false;
    bool resetOnRelease_ = false;
    QString labelHelp_;
    double scale_ = 1;
};

}  // namespace velmar
