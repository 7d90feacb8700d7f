#pragma once

#include "models/preview_background.h"
#include "output/obs_transport.h"
#include "render/led_cabinet_size.h"
#include "render/sdi_bit_depth.h"

#include <QColor>
#include <QString>

namespace velmar {

class UserDefaults;

// The operator's persisted choices as the application reads them at launch: each key with its
// default and its clamp. A value of the wrong JSON type reads as the default. The clamps apply
// only here; the application state's setters store exactly what they are given.
struct AppSettings {
    // The keys, as stored.
    static constexpr const char* kBackgroundLevel = "backgroundLevel";
    static constexpr const char* kSelectedDeckLinkIndex = "selectedDeckLinkIndex";
    static constexpr const char* kSelectedScreenIndex = "selectedScreenIndex";
    static constexpr const char* kChromaKeyEnabled = "chromaKeyEnabled";
    static constexpr const char* kChromaKeyColor = "chromaKeyColor";
    static constexpr const char* kUseExternalKeyer = "useExternalKeyer";
    static constexpr const char* kSDIBitDepth = "sdiBitDepth";
    static constexpr const char* kOBSTransport = "obsTransport";
    static constexpr const char* kPreviewBackground = "previewBackground";
    static constexpr const char* kReloadMediaOnActivation = "reloadMediaOnActivation";
    static constexpr const char* kSDIEmbedAudio = "sdiEmbedAudio";
    static constexpr const char* kSDIMutesLocalAudio = "sdiMutesLocalAudio";
    static constexpr const char* kFaderPosition = "faderPosition";
    static constexpr const char* kProgramOnLeft = "programOnLeft";
    static constexpr const char* kStripRightToLeft = "stripRightToLeft";
    static constexpr const char* kLEDCabinetWidth = "ledCabinetWidth";
    static constexpr const char* kLEDCabinetHeight = "ledCabinetHeight";
    static constexpr const char* kCenterColumnWidth = "centerColumnWidth";

    static constexpr int kMinLEDCabinetSide = 8;
    static constexpr int kMaxLEDCabinetSide = 4096;
    static constexpr double kMinCenterColumnWidth = 150;
    static constexpr double kMaxCenterColumnWidth = 248;

    // In the order the launch reads them.
    int backgroundLevel = 0;
    int selectedDeckLinkIndex = 0;
    int selectedScreenIndex = 0;
    bool chromaKeyEnabled = false;
    QColor chromaKeyColor = defaultChromaKeyColor();
    bool useExternalKeyer = true;
    SDIBitDepth sdiBitDepth = SDIBitDepth::eightBit;
    OBSTransport obsTransport = OBSTransport::syphon;
    PreviewBackground previewBackground = PreviewBackground::checker;
    bool reloadMediaOnActivation = true;
    bool sdiEmbedAudio = true;
    bool sdiMutesLocalAudio = true;
    double faderPosition = 1.0;
    bool programOnLeft = false;
    bool stripRightToLeft = true;
    LEDCabinetSize ledCabinet{128, 128};
    double centerColumnWidth = 160;

    // Every key read with its default and clamp.
    static AppSettings read(const UserDefaults& defaults);

    // Opaque sRGB green.
    static QColor defaultChromaKeyColor();
    // The colour as stored: converted to sRGB, or the standard green when it cannot be.
    static QColor storableChromaKeyColor(const QColor& color);
    // The fader's program gain: the position clamped to 0...1 (not above 0, NaN included,
    // counts as 0), squared.
    static float faderGain(double position);
};

}  // namespace velmar
