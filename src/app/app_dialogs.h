#pragma once

#include <QString>

namespace velmar {

// The modal questions the application state asks the operator. standard() shows real dialogs;
// tests answer them. Main thread.
class AppDialogs {
  public:
    // What the LED cabinet dialog shows; the two field texts are also what the operator left in
    // the fields when the dialog returns.
    struct LEDCabinetPrompt {
        QString messageText;
        QString informativeText;
        QString widthText;
        QString heightText;
    };

    virtual ~AppDialogs() = default;

    // Runs the LED cabinet dialog modally. True when the operator confirmed ("出す"), with the
    // texts of both fields written back into `prompt`; false when cancelled.
    virtual bool runLEDCabinetDialog(LEDCabinetPrompt& prompt) = 0;

    // Real modal dialogs over the application's active window.
    static AppDialogs& standard();
};

}  // namespace velmar
