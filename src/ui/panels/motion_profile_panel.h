#pragma once

#include "models/motion_kind.h"

#include <QPointer>
#include <QSet>
#include <QUuid>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

#include <QFrame>

class QComboBox;
class QLabel;
class QPushButton;

namespace velmar {

class AppState;
class DurationEntryPad;
class PlayoutEngine;

// The central panel that chooses how the next takes enter: a keypad of the nine motions laid
// out like a numeric keypad, "戻す" (back to the default motion), the motion duration of the
// motion targets with an entry popover, and the project's default motion. With no motion
// targets the keys are disabled and the duration entry sets the default duration. Targets are
// read at each action. The panel repaints on the rundown's and settings' signals only.
class MotionProfilePanel : public QWidget {
    Q_OBJECT

  public:
    struct Hooks {
        // The application state's per-owner flag "a number entry is up".
        std::function<void(QObject* owner, bool open)> setNumberEntryOpen;
    };

    // The digit shown on the key at row and column of the 3 x 3 grid, top row first ("7" at
    // 0, 0); empty outside 0...2.
    static QString keyNumber(int row, int column);
    // The motion of a place of the grid's first three rows; none for the empty place (and
    // outside the grid).
    static std::optional<MotionKind> motionAt(int row, int column);
    // Side of a key in design units: max((width - 16) / 3, 1).
    static double keySize(double width);
    // A key is lit when every target has that motion as its own.
    static bool isLit(const std::optional<std::optional<MotionKind>>& common, MotionKind motion);
    // "0.50 s"; "ばらばら" when the targets' durations differ; the default duration without
    // targets or when none has its own.
    static QString durationLabel(bool hasTargets,
                                 const std::optional<std::optional<double>>& common,
                                 double fadeDuration);

    MotionProfilePanel(PlayoutEngine& engine, double width, Hooks hooks, QWidget* parent = nullptr);
    // On the application state's number-entry flag.
    MotionProfilePanel(PlayoutEngine& engine, double width, AppState& app,
                       QWidget* parent = nullptr);
    ~MotionProfilePanel() override;

    void setPanelWidth(double width);
    void setScale(double scale);
    // The laid-out size at the current width and scale. The height is also the panel's minimum;
    // its width is what the central column gives it.
    QSize sizeHint() const override { return hint_; }

    bool isEditingDuration() const { return popover_ != nullptr; }
    // Opens the duration popover, as the duration button does.
    void editDuration();

    QPushButton* key(MotionKind motion) const;
    QPushButton* resetButton() const { return reset_; }
    QPushButton* durationButton() const { return duration_; }
    QComboBox* defaultMotionBox() const { return defaultMotion_; }
    QFrame* popover() const { return popover_; }
    DurationEntryPad* popoverPad() const { return pad_; }

  protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void retranslate();
    void refresh();
    void relayout();
    void commitDuration(std::optional<double> value);
    void setEditing(bool editing);

    PlayoutEngine& engine_;
    Hooks hooks_;
    double width_ = 0;
    double scale_ = 1.0;
    QSize hint_;
    QPushButton* reset_ = nullptr;
    std::array<QPushButton*, 9> keys_{};  // by MotionKind::Value
    std::array<QLabel*, 9> faces_{};      // the word or arrow on each key
    std::array<QLabel*, 9> numbers_{};    // the key number under it
    std::array<QLabel*, 3> blanks_{};     // the "3" place and the two clear places
    QLabel* durationCaption_ = nullptr;
    QLabel* defaultCaption_ = nullptr;
    QPushButton* duration_ = nullptr;
    QComboBox* defaultMotion_ = nullptr;
    QPointer<QFrame> popover_;
    DurationEntryPad* pad_ = nullptr;
    bool editing_ = false;
};

}  // namespace velmar
