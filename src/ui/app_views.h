#pragma once

#include "app/dovrine_app.h"

#include <QList>
#include <QMenu>
#include <QWidget>

namespace velmar {

class AppState;
class AppStateWindowModel;
class ContentView;
class DocumentWorkflow;
class MainWindowModel;

// The application's views over the shared application state: the control window's content
// with the rundown views and operator panels in their places, the "オーディオ" and
// "テストパターン" menus, and the tool windows (manual, pre-show check, signal monitor, title
// editor keys). main() hands standard() to DovrineApp.
class AppViews {
  public:
    static DovrineApp::Views standard();

    // The control window's content for `app`: the main window model over it (with `document`
    // for the project's name and imports) and the content view with every slot filled.
    static ContentView* makeContent(AppState& app, DocumentWorkflow& document,
                                    QWidget* parent = nullptr);
    // The settings window's content: the settings form over `app`, scrolling when the screen
    // is lower than the form (`document` gives the project a new autosave folder receives).
    static QWidget* makeSettings(AppState& app, DocumentWorkflow& document,
                                 QWidget* parent = nullptr);
    // The command menus in menu-bar order, titled in the current language.
    static QList<QMenu*> makeMenus(AppState& app, QWidget* parent);
};

}  // namespace velmar
