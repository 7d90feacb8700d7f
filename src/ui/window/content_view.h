#pragma once

#include "models/frame_rate.h"
#include "ui/window/main_layout.h"

#include <QDialog>
#include <QPointer>
#include <QSizeF>
#include <QWidget>

#include <functional>
#include <optional>

class QMimeData;

namespace velmar {

class ControlBar;
class HostClock;
class InfoBar;
class LivePreviewPane;
class MainWindowModel;
class PaneCaption;
class PanelDivider;
class PlayoutEngine;
class PreviewPane;
class Rundown;
class StatusBar;
class TakeColumn;
class TimerFactory;

// The root view of the control window: the whole operator surface laid out on the 1920 x 1260
// design surface (MainLayout) and drawn scaled to the window. It owns what concerns the window
// as a whole: the title "DOVRINE — <project>", the background grey, the duration sheet, files
// dropped anywhere on it, disabling everything while a project loads, and keeping the system
// monitor's frame budget at one output frame.
class ContentView : public QWidget {
    Q_OBJECT
  public:
    // The views other parts of the program supply; each builds its widget for the given parent.
    // An empty entry leaves its place empty.
    struct Slots {
        using Factory = std::function<QWidget*(QWidget* parent)>;
        Factory timecodePanel, transportBar;  // program controls, under PROGRAM
        Factory transformPanel;               // under NEXT
        Factory keyerBar;                     // under the take column
        Factory sequenceBar, tabBar, clipStrip, keyerPanel;
        Factory motionPanel;  // under the take buttons
        // The duration sheet for editor 0 (cursor) or 1 (bulk).
        std::function<QDialog*(int editor, QWidget* parent)> durationSheet;
    };
    struct Options {
        HostClock* clock = nullptr;      // the system clock by default
        TimerFactory* timers = nullptr;  // the system timers by default
    };

    ContentView(MainWindowModel& model, PlayoutEngine& engine, Slots views, Options options,
                QWidget* parent = nullptr);
    ContentView(MainWindowModel& model, PlayoutEngine& engine, QWidget* parent = nullptr);
    ~ContentView() override;

    // One output frame period: frameDuration / timeScale, or 1/60 s when the rate is not valid.
    static double frameBudget(const FrameRate& rate);
    // "DOVRINE — " and the project's name.
    static QString windowTitleFor(const QString& projectName);
    // The local files among dropped data, in order; remote URLs and text give none.
    static QList<QUrl> droppedFiles(const QMimeData& data);
    // New offsets after a drag of `translation` on a canvas shown at `canvasSize`: x + dx / w
    // and y - dy / h, each only where the targets share a value (none otherwise, or when the
    // canvas has no size).
    struct MovedOffsets {
        std::optional<double> x, y;
    };
    static MovedOffsets movedOffsets(std::optional<double> commonX, std::optional<double> commonY,
                                     QSizeF translation, QSizeF canvasSize);
    // Applies a NEXT drag to the motion targets of the rundown.
    static void applyMove(Rundown& rundown, QSizeF translation, QSizeF canvasSize);

    const MainLayout& layout() const { return layout_; }
    InfoBar* infoBar() const { return infoBar_; }
    LivePreviewPane* programPane() const { return programPane_; }
    PreviewPane* nextPane() const { return nextPane_; }
    TakeColumn* takeColumn() const { return takeColumn_; }
    ControlBar* controlBar() const { return controlBar_; }
    StatusBar* statusBar() const { return statusBar_; }
    PaneCaption* testPatternCaption() const { return testPatternCaption_; }
    PaneCaption* nextCaption() const { return nextCaption_; }
    QWidget* surface() const { return surface_; }
    QDialog* durationSheet() const { return durationSheet_; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void relayout();
    void refreshModel();
    void refreshPrograms();
    void refreshNext();
    void refreshCaptions();
    void refreshLive();
    void refreshDurationSheet();
    void placeCaptions();
    void applyTitle();

    MainWindowModel& model_;
    PlayoutEngine& engine_;
    Slots slots_;
    MainLayout layout_;
    double centralColumnHeight_ = 0;
    bool shownOnce_ = false;
    int backgroundLevel_ = -1;

    QWidget* surface_ = nullptr;
    InfoBar* infoBar_ = nullptr;
    LivePreviewPane* programPane_ = nullptr;
    PreviewPane* nextPane_ = nullptr;
    PanelDivider* leftDivider_ = nullptr;
    PanelDivider* rightDivider_ = nullptr;
    TakeColumn* takeColumn_ = nullptr;
    ControlBar* controlBar_ = nullptr;
    StatusBar* statusBar_ = nullptr;
    PaneCaption* testPatternCaption_ = nullptr;
    PaneCaption* nextCaption_ = nullptr;
    QWidget* timecodePanel_ = nullptr;
    QWidget* transportBar_ = nullptr;
    QWidget* transformPanel_ = nullptr;
    QWidget* keyerBar_ = nullptr;
    QWidget* sequenceBar_ = nullptr;
    QWidget* tabBar_ = nullptr;
    QWidget* clipStrip_ = nullptr;
    QWidget* keyerPanel_ = nullptr;
    QPointer<QDialog> durationSheet_;
};

}  // namespace velmar
