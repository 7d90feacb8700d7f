#pragma once

#include "canvas/signal_snapshot.h"
#include "models/canvas_format.h"
#include "models/frame_rate.h"
#include "models/key_alpha_mode.h"
#include "render/sdi_bit_depth.h"

#include <QColor>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace velmar {

// The texts of the signal monitor's status bar: which buffer is measured, the output format,
// the key convention and the keyer, and the dropped frames while SDI runs.
class SignalMonitorStatus {
  public:
    // What the status bar reads, gathered from the application state, the engine, the SDI
    // controller and the published snapshot.
    struct Inputs {
        std::optional<SignalSource> snapshotSource;  // none: no snapshot
        bool isDeckLinkRunning = false;
        bool hasDeckLink = false;
        SDIBitDepth runningBitDepth = SDIBitDepth::eightBit;
        std::optional<QString> runningModeName;  // the running mode's name
        bool keyerEnabled = false;               // the output's keyer, while it runs
        std::uint64_t droppedFrameCount = 0;
        SDIBitDepth sdiBitDepth = SDIBitDepth::eightBit;  // the setting
        bool useExternalKeyer = true;                     // the setting
        CanvasFormat canvas;
        FrameRate frameRate{60000, 1001};
        KeyAlphaMode keyAlphaMode = KeyAlphaMode::straight;  // the engine's current one
    };

    struct Item {
        QString label;  // looked up
        QString value;
        QColor colour;
    };

    static QString sourceText(const Inputs& inputs);
    static QString formatText(const Inputs& inputs);
    static QString keyConventionText(KeyAlphaMode mode);
    static QString keyerText(const Inputs& inputs);
    // The items in order; the dropped frames only while SDI runs.
    static std::vector<Item> items(const Inputs& inputs);
    // The line under the items while a snapshot exists.
    static QString sampleLine(const SignalSnapshot& snapshot);
};

}  // namespace velmar
