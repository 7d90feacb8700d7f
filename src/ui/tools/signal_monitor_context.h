#pragma once

#include "render/sdi_bit_depth.h"

#include <QObject>

#include <functional>

namespace velmar {

class CanvasEngine;
class DeckLinkController;
class PlayoutEngine;

// What the signal monitor reads of the application state, and how it hears of changes.
// of(app) wires it to any object with AppState's members of these names.
struct SignalMonitorContext {
    PlayoutEngine* engine = nullptr;
    std::function<bool()> isDeckLinkRunning;
    std::function<DeckLinkController*()> deckLink;
    std::function<CanvasEngine*()> canvasEngine;
    std::function<SDIBitDepth()> sdiBitDepth;
    std::function<bool()> useExternalKeyer;
    // Calls onChange (in the receiver's context) whenever one of the four settings above
    // changes; may be empty.
    std::function<void(QObject* receiver, std::function<void()> onChange)> observe;

    template <class App>
    static SignalMonitorContext of(App& app) {
        SignalMonitorContext c;
        c.engine = &app.engine();
        c.isDeckLinkRunning = [&app] { return app.isDeckLinkRunning(); };
        c.deckLink = [&app] { return app.deckLink(); };
        c.canvasEngine = [&app] { return app.canvasEngine(); };
        c.sdiBitDepth = [&app] { return app.sdiBitDepth(); };
        c.useExternalKeyer = [&app] { return app.useExternalKeyer(); };
        c.observe = [&app](QObject* receiver, std::function<void()> onChange) {
            QObject::connect(&app, &App::isDeckLinkRunningChanged, receiver,
                             [onChange] { onChange(); });
            QObject::connect(&app, &App::sdiBitDepthChanged, receiver, [onChange] { onChange(); });
            QObject::connect(&app, &App::useExternalKeyerChanged, receiver,
                             [onChange] { onChange(); });
        };
        return c;
    }
};

}  // namespace velmar
