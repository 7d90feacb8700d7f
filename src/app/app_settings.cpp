#include "app/app_settings.h"

#include "platform/base/user_defaults.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace velmar {
namespace {

// An integer key through the integer accessor: absent or of another type reads as 0; kept
// within the range of int so that later arithmetic cannot overflow.
int readInteger(const UserDefaults& defaults, const char* key) {
    const long long value = defaults.integer(key).value_or(0);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

bool readBoolean(const UserDefaults& defaults, const char* key, bool fallback) {
    return defaults.boolean(key).value_or(fallback);
}

}  // namespace

QColor AppSettings::defaultChromaKeyColor() {
    return QColor::fromRgbF(0, 1, 0, 1);
}

QColor AppSettings::storableChromaKeyColor(const QColor& color) {
    if (!color.isValid()) return QColor(Qt::green);
    return color.toRgb();
}

float AppSettings::faderGain(double position) {
    // Not above 0, NaN included, counts as 0.
    const double p = position > 0 ? std::min(position, 1.0) : 0.0;
    return static_cast<float>(p * p);
}

AppSettings AppSettings::read(const UserDefaults& defaults) {
    AppSettings s;
    s.backgroundLevel = std::clamp(readInteger(defaults, kBackgroundLevel), 0, 3);
    s.selectedDeckLinkIndex = std::max(readInteger(defaults, kSelectedDeckLinkIndex), 0);
    s.selectedScreenIndex = std::max(readInteger(defaults, kSelectedScreenIndex), 0);
    s.chromaKeyEnabled = readBoolean(defaults, kChromaKeyEnabled, false);
    if (const auto rgb = defaults.numberList(kChromaKeyColor); rgb && rgb->size() == 3) {
        const bool finite =
            std::all_of(rgb->begin(), rgb->end(), [](double v) { return std::isfinite(v); });
        if (finite)
            s.chromaKeyColor =
                QColor::fromRgbF(float((*rgb)[0]), float((*rgb)[1]), float((*rgb)[2]), 1.0f);
    }
    s.useExternalKeyer = readBoolean(defaults, kUseExternalKeyer, true);
    // The crossed raw values: "tenBitFillKey" is fill and key, "tenBit" fill only.
    s.sdiBitDepth = SDIBitDepth::fromRawValue(defaults.string(kSDIBitDepth).value_or(QString()))
                        .value_or(SDIBitDepth::eightBit);
    s.obsTransport = defaults.string(kOBSTransport).value_or(QString()) == QLatin1String("ndi")
                         ? OBSTransport::ndi
                         : OBSTransport::syphon;
    s.previewBackground =
        defaults.string(kPreviewBackground).value_or(QString()) == QLatin1String("black")
            ? PreviewBackground::black
            : PreviewBackground::checker;
    s.reloadMediaOnActivation = readBoolean(defaults, kReloadMediaOnActivation, true);
    s.sdiEmbedAudio = readBoolean(defaults, kSDIEmbedAudio, true);
    s.sdiMutesLocalAudio = readBoolean(defaults, kSDIMutesLocalAudio, true);
    if (const auto fader = defaults.number(kFaderPosition)) {
        s.faderPosition = std::isfinite(*fader) ? std::clamp(*fader, 0.0, 1.0) : 1.0;
    }
    s.programOnLeft = readBoolean(defaults, kProgramOnLeft, false);
    s.stripRightToLeft = readBoolean(defaults, kStripRightToLeft, true);
    {
        const long long width = defaults.integer(kLEDCabinetWidth).value_or(128);
        const long long height = defaults.integer(kLEDCabinetHeight).value_or(128);
        auto inRange = [](long long side) {
            return side >= kMinLEDCabinetSide && side <= kMaxLEDCabinetSide;
        };
        if (inRange(width) && inRange(height)) {
            s.ledCabinet = {static_cast<int>(width), static_cast<int>(height)};
        }
    }
    if (const auto width = defaults.number(kCenterColumnWidth)) {
        s.centerColumnWidth =
            std::isnan(*width) ? kMinCenterColumnWidth
                               : std::clamp(*width, kMinCenterColumnWidth, kMaxCenterColumnWidth);
    }
    return s;
}

}  // namespace velmar
