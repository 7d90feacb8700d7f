#pragma once

#include "ui/rundown/sequence_bar_geometry.h"

#include <QUuid>
#include <QWidget>

#include <optional>

namespace velmar {

class AppState;
class PlayoutEngine;
class Rundown;

// A thin bar showing the current tab as coloured sections between markers, the program clip as
// a red column with a tick, and the NEXT position as a playhead. A press or drag moves the
// playhead live; the release selects the clip under the pointer (the END position past the
// last clip). Mirrored when the strip runs right to left. Drawn in design units, scaled by s.
class SequenceBar : public QWidget {
    Q_OBJECT
  public:
    explicit SequenceBar(Rundown& rundown, QWidget* parent = nullptr);

    // Follows the engine's program clip.
    void followEngine(const PlayoutEngine& engine);
    // Follows the application's strip direction.
    void followAppState(const AppState& app);
    void setProgramClipID(std::optional<QUuid> id);
    void setRightToLeft(bool rightToLeft);
    void setScale(double s);

    // The geometry at the present width, clip count and direction.
    SequenceBarGeometry geometry() const;
    std::optional<int> scrubIndex() const { return scrubIndex_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    std::optional<int> programIndex() const;

    Rundown& rundown_;
    std::optional<QUuid> programClipID_;
    bool rightToLeft_ = true;
    double scale_ = 1;
    std::optional<int> scrubIndex_;
};

}  // namespace velmar
