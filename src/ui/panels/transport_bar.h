#pragma once

#include "models/playout_media.h"
#include "ui/panels/transport_bar_presenter.h"

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QTimer>
#include <QWidget>

#include <array>
#include <optional>

namespace velmar {

class PlayoutEngine;

// The one-line movie transport under PROGRAM, painted in design units: cue, frame back,
// play/pause, frame forward, the rate chips, the scrub track and the position. The rules live
// in TransportBarPresenter. Without a movie it is dimmed and lets the mouse through; with one it
// repaints every 0.2 s.
class TransportBar : public QWidget {
    Q_OBJECT
  public:
    static constexpr double kHeight = 32;  // design units

    // Hit rectangles in design units for a bar of the given width.
    struct Layout {
        std::array<QRectF, 4> buttons;  // cue, back, play/pause, forward
        double dividerX = 0;
        std::array<QRectF, 3> chips;
        QRectF track;
        QRectF position;
    };
    static Layout layout(double width);

    explicit TransportBar(QColor accent, QWidget* parent = nullptr);
    // For PROGRAM: follows the engine's program medium and its on-air state.
    TransportBar(PlayoutEngine& engine, QColor accent, QWidget* parent = nullptr);

    // The PROGRAM medium; a new movie replaces the presenter's (a still or none clears it).
    void setMedia(const std::optional<PlayoutMedia>& media);
    // The engine's state is not off: the border turns red.
    void setOnAir(bool onAir);
    void setScale(double s);

    TransportBarPresenter& presenter() { return presenter_; }
    bool isTicking() const { return timer_.isActive(); }
    bool isOnAir() const { return onAir_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    double secondsAt(double x) const;
    // The icon of a button at the present scale, made on first use.
    const QPixmap& symbol(int button, bool running) const;

    TransportBarPresenter presenter_;
    const MoviePlayback* playback_ = nullptr;
    QColor accent_;
    bool onAir_ = false;
    double scale_ = 1;
    QTimer timer_;
    mutable std::array<QPixmap, 5> symbols_;  // cue, back, pause, play, forward
};

}  // namespace velmar
