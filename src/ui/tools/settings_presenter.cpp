#include "ui/tools/settings_presenter.h"

#include "models/localized.h"
#include "sdi/deck_link_controller.h"

#include <algorithm>
#include <limits>

namespace velmar {

SettingsPresenter::SettingsPresenter(ModeQuery query) : query_(std::move(query)) {}

QList<CanvasFormat> SettingsPresenter::formatOptions(const CanvasFormat& canvas) {
    QList<CanvasFormat> options = CanvasFormat::presets();
    const bool preset = std::any_of(options.begin(), options.end(), [&](const CanvasFormat& f) {
        return f.width == canvas.width && f.height == canvas.height;
    });
    if (!preset) options.append(canvas);
    return options;
}

int SettingsPresenter::formatRow(const QList<CanvasFormat>& options, const CanvasFormat& canvas) {
    return int(options.indexOf(canvas));
}

int SettingsPresenter::frameRateRow(const FrameRate& rate) {
    return int(FrameRate::presets().indexOf(rate));
}

bool SettingsPresenter::formatLocked(PlayoutEngine::State state, bool sdiRunning) {
    return state != PlayoutEngine::State::off || sdiRunning;
}

std::optional<qint64> SettingsPresenter::parseWholeNumber(const QString& text) {
    int at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) negative = text[at++] == u'-';
    if (at == text.size()) return std::nullopt;
    // Accumulated as a negative number, which reaches the type's minimum too.
    qint64 value = 0;
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    for (; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        const int digit = c - u'0';
        if (value < (kMin + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative) return value;
    if (value == kMin) return std::nullopt;
    return -value;
}

std::optional<CanvasFormat> SettingsPresenter::customCanvas(const QString& width,
                                                            const QString& height) {
    if (width.isEmpty()) return std::nullopt;
    const auto w = parseWholeNumber(width);
    if (!w) return std::nullopt;
    const auto h = parseWholeNumber(height);
    if (!h || *w < 1 || *h < 1) return std::nullopt;
    constexpr qint64 kIntMax = std::numeric_limits<int>::max();
    return CanvasFormat{int(std::min(*w, kIntMax)), int(std::min(*h, kIntMax)),
                        CanvasFormat::customName()};
}

QString SettingsPresenter::screenLabel(int index, const ScreenInfo& screen) {
    const QString argument = QStringLiteral("%1: %2×%3")
                                 .arg(index + 1)
                                 .arg(screen.geometry.width())
                                 .arg(screen.geometry.height());
    return localizedFormat("画面 %@", {argument});
}

std::optional<int> SettingsPresenter::rowFor(int stored, int count) {
    if (stored < 0 || stored >= count) return std::nullopt;
    return stored;
}

QString SettingsPresenter::transportDescription(OBSTransport effective) {
    // One literal each, so that the translation check finds the keys whole.
    // clang-format off
    if (effective == OBSTransport::ndi)
        return localized("メイン画面の「OBS(NDI)」をONにすると、プログラムの横にある libvelmar-netvideo.so が DOVRINE を NUT 形式のストリーム（透過映像と 48 kHz・2ch の音声）にして、このコンピュータの 127.0.0.1 で送ります。接続先は $XDG_RUNTIME_DIR/DOVRINE.netvideo に書かれます（例: ffplay tcp://$(cat $XDG_RUNTIME_DIR/DOVRINE.netvideo)）。OBS ではメディアソースの「ローカルファイル」を外し、「入力」にこの tcp:// の接続先を入れます。ほかの PC からは受信できません。");
    return localized("同じ PC の受信アプリへ共有メモリで送ります。メイン画面の「OBS(Syphon)」をONにし、受信アプリ（プログラムの横にある libvelmar-texshare の受信側を使うもの）で DOVRINE を選びます。透過映像のみで、音声は別途受信側へ入力します。");
    // clang-format on
}

QString SettingsPresenter::bitDepthLabel(SDIBitDepth depth) {
    switch (depth) {
        case SDIBitDepth::eightBit:
            return localized("8bit（フィル＋キー）");
        case SDIBitDepth::tenBit:
            return localized("10bit（フィル＋キー）");
        case SDIBitDepth::tenBitFillOnly:
            break;
    }
    return localized("10bit（フィルのみ）");
}

QString SettingsPresenter::keyAlphaLabel(KeyAlphaMode mode) {
    if (mode == KeyAlphaMode::premultiplied)
        return localized("プリマルチプライド（フェード中はフィルも暗くなる）");
    return localized("ストレート／リニアキー（フィルは変化しない）");
}

std::optional<QString> SettingsPresenter::modeSummary(const std::vector<ZRDeckLinkDevice>& devices,
                                                      int selected, const CanvasFormat& canvas,
                                                      const FrameRate& rate, SDIBitDepth depth,
                                                      bool keyer) {
    if (selected < 0 || selected >= int(devices.size())) return std::nullopt;
    const ZRDeckLinkDevice& device = devices[size_t(selected)];
    const auto key = std::make_tuple(device.index(), device.name(), int(depth), keyer);
    if (!cached_ || cached_->key != key) {
        ++driverQueries_;
        cached_ = CachedModes{
            key, query_ ? query_(device.index(), depth, keyer) : std::vector<ZRDeckLinkMode>{}};
    }
    const auto mode = DeckLinkController::matchingMode(cached_->modes, canvas, rate);
    if (!mode) return localized("この組み合わせはこの機器では出せません");
    return localizedFormat("この機器で出せます: %@", {mode->name()}) + QStringLiteral(" / ") +
           bitDepthLabel(depth);
}

QList<SettingsPresenter::Option<int>> SettingsPresenter::intervalOptions() {
    return {{localized("10 秒"), 10},
            {localized("30 秒（標準）"), 30},
            {localized("1 分"), 60},
            {localized("5 分"), 300}};
}

int SettingsPresenter::intervalRow(int seconds) {
    const auto options = intervalOptions();
    for (int i = 0; i < options.size(); ++i) {
        if (options[i].value == seconds) return i;
    }
    return -1;
}

std::optional<LEDCabinetSize> SettingsPresenter::cabinetWrite(LEDCabinetSize current,
                                                              CabinetSide side, const QString& text,
                                                              const QLocale& locale) {
    bool ok = false;
    const int value = locale.toInt(text.trimmed(), &ok);
    if (!ok) return std::nullopt;
    LEDCabinetSize next = current;
    (side == CabinetSide::width ? next.width : next.height) = value;
    const auto inRange = [](int v) { return v >= 8 && v <= 4096; };
    if (!inRange(next.width) || !inRange(next.height)) return std::nullopt;
    return next;
}

QList<SettingsPresenter::Option<AppLanguage>> SettingsPresenter::languageOptions() {
    return {{localized("システムに合わせる"), AppLanguage::system},
            {localized("日本語"), AppLanguage::ja},
            {localized("English"), AppLanguage::en}};
}

QList<SettingsPresenter::Option<bool>> SettingsPresenter::programOnLeftOptions() {
    return {{localized("NEXT 左 ・ PROGRAM 右"), false},
            {localized("PROGRAM 左 ・ NEXT 右"), true}};
}

QList<SettingsPresenter::Option<bool>> SettingsPresenter::stripDirectionOptions() {
    return {{localized("右 → 左（送るとサムネイルが右へ流れる・既定）"), true},
            {localized("左 → 右（送るとサムネイルが左へ流れる）"), false}};
}

QList<SettingsPresenter::Option<PreviewBackground>> SettingsPresenter::previewBackgroundOptions() {
    return {{localized("市松"), PreviewBackground::checker},
            {localized("黒"), PreviewBackground::black}};
}

QString SettingsPresenter::wrapMiddle(const QString& text,
                                      const std::function<int(const QString&)>& measure, int width,
                                      int maxLines) {
    if (text.isEmpty() || width <= 0 || maxLines < 1) return text;
    // Greedy lines of whole characters; at least one character per line.
    const auto split = [&](const QString& s) {
        QStringList lines;
        QString line;
        for (const QChar c : s) {
            if (!line.isEmpty() && measure(line + c) > width) {
                lines << line;
                line.clear();
            }
            line += c;
        }
        if (!line.isEmpty()) lines << line;
        return lines;
    };
    QStringList lines = split(text);
    if (lines.size() <= maxLines) return lines.join(u'\n');
    // Drop characters around the middle until the text with "…" there fits.
    const QString ellipsis = QStringLiteral("…");
    for (qsizetype keep = text.size() - 1; keep > 0; --keep) {
        const qsizetype head = (keep + 1) / 2;
        const QString shortened = text.left(head) + ellipsis + text.right(keep - head);
        lines = split(shortened);
        if (lines.size() <= maxLines) return lines.join(u'\n');
    }
    return ellipsis;
}

}  // namespace velmar
