#pragma once

#include "core/reference_tone.h"
#include "models/frame_rate.h"
#include "models/playout_media.h"

#include <QColor>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace velmar {

class AppState;
class LevelMeter;
class OutputFader;

// The dark strip under PROGRAM: "TC" and the time left of the program movie, then the level
// meter above the output fader. Its figures scale with its own width. The 0.1 s refresh runs
// only while a movie or a reference tone feeds the figures.
class TimecodePanel : public QWidget {
    Q_OBJECT
  public:
    // What the meter is fed with, as chosen from the tone, the movie and the fader.
    struct MeterInput {
        float left = 0;
        float right = 0;
        bool isIdle = true;
        std::optional<QString> toneLabel;
        bool ticks = false;  // needs the 0.1 s refresh
    };
    // The tone when one plays (its peaks, running, its label); else the movie's levels times
    // the squared clamped fader position, idle while the player stands; else idle at 0.
    static MeterInput meterInput(std::optional<ReferenceToneKind> tone,
                                 ReferenceTone::MeterState toneMeter, bool hasMovie,
                                 float movieLeft, float movieRight, float playerRate,
                                 double faderPosition);

    struct Bindings {
        std::function<double()> faderPosition;
        std::function<void(double)> setFaderPosition;
        ReferenceTone* tone = nullptr;  // may be null: no tone ever plays
    };

    TimecodePanel(Bindings bindings, QColor accent, QWidget* parent = nullptr);
    // Live PROGRAM: the engine's program medium and frame rate, the fader bound to
    // AppState::faderPosition, the tone of `tone`; follows their changes.
    TimecodePanel(AppState& app, ReferenceTone& tone, QColor accent, QWidget* parent = nullptr);

    void setMedia(std::optional<PlayoutMedia> media);
    void setFrameRate(FrameRate rate);
    void setScale(double s);
    // Reads the movie, the tone and the fader again and repaints.
    void refresh();

    bool isTicking() const { return timer_.isActive(); }
    QString currentText() const { return currentText_; }
    QString remainingText() const { return remainingText_; }
    LevelMeter* meter() const { return meter_; }
    OutputFader* fader() const { return fader_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::shared_ptr<MoviePlayback> movie() const;
    void syncTimer();
    void layoutChildren();
    double linesWidth() const;

    Bindings bindings_;
    QColor accent_;
    std::optional<PlayoutMedia> media_;
    FrameRate frameRate_;
    double scale_ = 1;
    QString currentText_;
    QString remainingText_;
    LevelMeter* meter_;
    OutputFader* fader_;
    QTimer timer_;
};

}  // namespace velmar
