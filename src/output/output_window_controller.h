#pragma once

#include "output/canvas_metal_view.h"
#include "output/cursor_shield_view.h"

#include <QPointer>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

class QWidget;

namespace velmar {

class CanvasEngine;
class DisplaySleepInhibitor;
class HostClock;
class ScreenProvider;
class TimerFactory;

// The sub-monitor output: a frameless black window above all others covering one screen,
// showing the canvas fitted with its proportions (the chroma-key colour behind it when that
// is on), with the pointer hidden and clicks swallowed by a CursorShieldView. While it is open
// the displays are kept awake and the output window owns the media clock (unless SDI runs).
// It never opens on the screen that shows the control window. Main thread.
class OutputWindowController {
  public:
    // The reason given for keeping the displays awake.
    static const QString kSleepInhibitReason;
    // The beginning of the control window's title.
    static const QString kControlWindowTitlePrefix;

    struct Options {
        ScreenProvider* screens = nullptr;           // ScreenProvider::system() by default
        DisplaySleepInhibitor* inhibitor = nullptr;  // DisplaySleepInhibitor::system() by default
        HostClock* clock = nullptr;                  // for the canvas view
        TimerFactory* timers = nullptr;              // for the canvas view
    };

    explicit OutputWindowController(CanvasEngine& canvas);
    OutputWindowController(CanvasEngine& canvas, Options options);
    ~OutputWindowController();
    OutputWindowController(const OutputWindowController&) = delete;
    OutputWindowController& operator=(const OutputWindowController&) = delete;

    // Opens (or moves) the window onto the screen. False, changing nothing, for a screen that
    // is not connected or that shows the control window.
    bool open(const QString& screenIdentity);
    // Safe when closed; a closed controller no longer touches the canvas (it may be gone).
    void close();

    // Stores the chroma key and shows it at once behind the picture of an open window.
    void setChromaKey(bool enabled, std::array<float, 3> rgb);
    bool chromaKeyEnabled() const { return chromaKeyEnabled_; }
    std::array<float, 3> chromaKeyColor() const { return chromaKeyColor_; }

    bool isOpen() const { return window_ != nullptr; }
    QWidget* window() const { return window_; }
    CanvasMetalView* outputView() const { return outputView_; }
    CursorShieldView* cursorShield() const { return cursorShield_; }
    const std::optional<QString>& currentScreen() const { return currentScreen_; }

  private:
    std::array<float, 3> viewBackground() const;
    void closeWindow();

    CanvasEngine& canvas_;
    ScreenProvider& screens_;
    DisplaySleepInhibitor& inhibitor_;
    HostClock* clock_;
    TimerFactory* timers_;
    QPointer<QWidget> window_;
    QPointer<CanvasMetalView> outputView_;
    QPointer<CursorShieldView> cursorShield_;
    bool chromaKeyEnabled_ = false;
    std::array<float, 3> chromaKeyColor_{0, 1, 0};
    std::optional<QString> currentScreen_;
    std::optional<uint32_t> sleepInhibition_;
};

}  // namespace velmar
