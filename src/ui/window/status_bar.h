#pragma once

#include "models/canvas_format.h"
#include "models/clip_group.h"
#include "models/frame_rate.h"

#include <QWidget>

#include <optional>

namespace velmar {

class PlayoutEngine;

// Row 6 of the main window: the reminder of the single-key controls at the left; at the right
// the engine's last status message in orange (only when there is one, on one line), the canvas
// size with the frame rate and the position in the current tab, or "END". A standing warning of
// the engine takes the reminder's place, in red, until a click on the bar acknowledges it.
class StatusBar : public QWidget {
    Q_OBJECT
  public:
    explicit StatusBar(PlayoutEngine& engine, QWidget* parent = nullptr);

    // The key of the reminder text.
    static const char* keyReminderKey();
    // "1920×1080  59.94 p".
    static QString canvasText(const CanvasFormat& canvas, const FrameRate& rate);
    // "END" at the end, else "position / count" with the position clamped into the tab.
    static QString positionText(bool isAtEnd, const std::optional<ClipGroup>& group);

    void refresh();
    void setScale(double s);

    const QString& message() const { return message_; }
    const QString& warning() const { return warning_; }
    const QString& canvasFigure() const { return canvas_; }
    const QString& positionFigure() const { return position_; }

  protected:
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    PlayoutEngine& engine_;
    QString message_;
    QString warning_;
    QString canvas_;
    QString position_;
    double scale_ = 1;
};

}  // namespace velmar
