#pragma once

#include "core/playout_engine.h"
#include "models/canvas_format.h"
#include "models/frame_rate.h"
#include "models/key_alpha_mode.h"
#include "models/language_settings.h"
#include "models/preview_background.h"
#include "output/obs_transport.h"
#include "platform/screens/screen_info.h"
#include "render/led_cabinet_size.h"
#include "render/sdi_bit_depth.h"
#include "sdi/zr_deck_link_device.h"
#include "sdi/zr_deck_link_mode.h"

#include <QList>
#include <QLocale>
#include <QString>

#include <functional>
#include <optional>
#include <tuple>
#include <vector>

namespace velmar {

// What the settings form computes apart from its widgets: the rows of its pickers, which
// controls a running output or the engine's state locks, the SDI mode summary, the display
// row labels, the LED cabinet rule and the parsing of a typed canvas size.
//
// An instance keeps the modes the driver reported for the selected device, depth and keyer,
// so that redrawing the form asks the driver again only when one of those changes.
class SettingsPresenter {
  public:
    // The driver's modes of a device (its own index) for a depth and keyer choice.
    using ModeQuery = std::function<std::vector<ZRDeckLinkMode>(long long deviceIndex,
                                                                SDIBitDepth depth, bool keyer)>;

    // A picker row: its text and the value it stands for.
    template <typename T>
    struct Option {
        QString label;
        T value;
    };

    explicit SettingsPresenter(ModeQuery query);

    // ---- Output format ----------------------------------------------------------------------
    // The five presets, and the canvas itself as a sixth row when no preset has its size.
    static QList<CanvasFormat> formatOptions(const CanvasFormat& canvas);
    // The row of `canvas` among `options`, matched by width, height and name; -1 for none.
    static int formatRow(const QList<CanvasFormat>& options, const CanvasFormat& canvas);
    // The row of `rate` among the frame-rate presets (exact fields); -1 for none.
    static int frameRateRow(const FrameRate& rate);
    // Format, frame rate and the custom button are locked while the program is not off or the
    // SDI output runs; the downstream keyer plays no part.
    static bool formatLocked(PlayoutEngine::State state, bool sdiRunning);

    // ---- Custom canvas --------------------------------------------------------------------------
    // An optional sign and one or more ASCII digits, nothing else, within 64 bits.
    static std::optional<qint64> parseWholeNumber(const QString& text);
    // The custom canvas for the two texts; nothing when either does not parse or is below 1.
    // Sizes too big for an int are kept as the largest int, which the engine then refuses.
    static std::optional<CanvasFormat> customCanvas(const QString& width, const QString& height);

    // ---- Sub-monitor and OBS --------------------------------------------------------------------
    // "画面 %@" with "1: 1920×1080": the position counted from 1 and the size in points.
    static QString screenLabel(int index, const ScreenInfo& screen);
    // The row of a stored position in a list of `count` rows; nothing when it has no row.
    static std::optional<int> rowFor(int stored, int count);
    static QString transportDescription(OBSTransport effective);

    // ---- SDI ------------------------------------------------------------------------------------
    static QString bitDepthLabel(SDIBitDepth depth);
    static QString keyAlphaLabel(KeyAlphaMode mode);
    // The mute toggle follows the embedding alone; the keyer toggle is locked while running or
    // for either 10-bit depth (its stored value stays).
    static bool muteToggleEnabled(bool embedAudio) { return embedAudio; }
    static bool keyerToggleEnabled(bool running, SDIBitDepth depth) {
        return !running && depth == SDIBitDepth::eightBit;
    }
    // Whether the selected device outputs the canvas at the rate in the depth: the first
    // matching mode named with the depth, the refusal text, or nothing without a selected
    // device. The driver is asked only when the device, depth or keyer choice changed since
    // the last call.
    std::optional<QString> modeSummary(const std::vector<ZRDeckLinkDevice>& devices, int selected,
                                       const CanvasFormat& canvas, const FrameRate& rate,
                                       SDIBitDepth depth, bool keyer);
    // Forgets the cached modes (the device list was scanned again).
    void forgetModes() { cached_.reset(); }
    int driverQueries() const { return driverQueries_; }

    // ---- Playout, autosave, test pattern, display ---------------------------------------------
    static QList<Option<int>> intervalOptions();
    static int intervalRow(int seconds);
    enum class CabinetSide { width, height };
    // The new cabinet size when the typed value and the other side both lie in 8...4096;
    // nothing otherwise (also for text that is not a whole number in `locale`).
    static std::optional<LEDCabinetSize> cabinetWrite(LEDCabinetSize current, CabinetSide side,
                                                      const QString& text, const QLocale& locale);
    static QList<Option<AppLanguage>> languageOptions();
    static QList<Option<bool>> programOnLeftOptions();
    static QList<Option<bool>> stripDirectionOptions();
    static QList<Option<PreviewBackground>> previewBackgroundOptions();
    // Breaks `text` into lines no wider than `width` (as `measure` gives), at most `maxLines`;
    // a longer text loses its middle to "…".
    static QString wrapMiddle(const QString& text,
                              const std::function<int(const QString&)>& measure, int width,
                              int maxLines);

  private:
    ModeQuery query_;
    struct CachedModes {
        std::tuple<long long, QString, int, bool> key;
        std::vector<ZRDeckLinkMode> modes;
    };
    std::optional<CachedModes> cached_;
    int driverQueries_ = 0;
};

}  // namespace velmar
