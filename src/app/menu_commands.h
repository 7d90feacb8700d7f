#pragma once

#include "app/menu_description.h"

#include <functional>

namespace velmar {

class AppState;
class DocumentWorkflow;

// Runs the menu bar's commands on the application state, its engine, the document workflow and
// the tool windows. Main thread.
class MenuCommands {
  public:
    // The windows and services outside the application state; an empty entry does nothing
    // (a tool window that does not exist yet).
    struct Windows {
        std::function<void()> showSettings;
        std::function<void()> quit;
        std::function<void()> showManual;
        std::function<void()> showPreflight;
        std::function<void()> toggleSignalMonitor;
        std::function<void()> revealLog;
    };

    MenuCommands(AppState& app, DocumentWorkflow& document, Windows windows);

    void run(const MenuDescription::Item& item);

  private:
    AppState& app_;
    DocumentWorkflow& document_;
    Windows windows_;
};

}  // namespace velmar
