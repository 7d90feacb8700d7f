#pragma once

#include "app/app_state.h"
#include "app/document_dialogs_qt.h"
#include "app/document_workflow.h"
#include "app/dovrine_app_document_host.h"
#include "core/autosave_store.h"
#include "platform/base/user_defaults.h"
#include "support/fake_clock.h"
#include "ui/app_views.h"
#include "ui/window/content_view.h"

#include <QTemporaryDir>
#include <QWidget>

namespace velmar::test {

// The control window as the application assembles it, over an application state of its own
// (private settings file, virtual SDI card, no screen observers) and a document workflow whose
// autosave runs on a fake clock.
struct ControlWindowHarness {
    struct Options {
        bool noCanvas = false;
        int backgroundLevel = -1;  // written to the settings before the state reads them
    };

    explicit ControlWindowHarness(Options options)
        : defaults(dir.filePath("defaults.json")),
          app(environment(options)),
          host(app, &window),
          autosave({dir.filePath("support"), &defaults, &clock, nullptr, false}),
          document(host, {.autosave = &autosave, .dialogs = &dialogs, .clock = &clock}),
          view(AppViews::makeContent(app, document, &window)) {}

    QTemporaryDir dir;
    UserDefaults defaults;
    FakeClock clock;
    AppState app;
    QWidget window;
    DovrineAppDocumentHost host;
    AutosaveStore autosave;
    DocumentDialogsQt dialogs;
    DocumentWorkflow document;
    ContentView* view;

  private:
    AppState::Environment environment(const Options& options) {
        if (options.backgroundLevel >= 0) defaults.set("backgroundLevel", options.backgroundLevel);
        AppState::Environment e;
        e.defaults = &defaults;
        e.noCanvas = options.noCanvas;
        e.useSdiCard = true;
        e.installScreenObservers = false;
        e.isSandboxed = [] { return false; };
        return e;
    }
};

}  // namespace velmar::test
