#pragma once

#include <QPalette>

class QApplication;

namespace velmar {

// The look and the input rules every window shares, set once where the application starts:
// the dark palette (primary text white on dark greys, so that no label falls back to dark
// platform text on the black panels) and the wheel guard.
class AppAppearance {
  public:
    // The dark appearance: window and base greys, primary text white 0.96, disabled text white
    // 0.45, the accent blue for selections.
    static QPalette darkPalette();
    // Sets the style (Fusion, with a menu bar that shows when it holds the keyboard), the palette
    // and installs the one WheelGuard of the program on `app`. Call before the first window is
    // built.
    static void install(QApplication& app);
};

}  // namespace velmar
