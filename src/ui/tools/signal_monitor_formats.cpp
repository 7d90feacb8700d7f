#include "ui/tools/signal_monitor_formats.h"

#include "canvas/signal_snapshot.h"
#include "models/localized.h"
#include "ui/tools/signal_monitor_palette.h"

#include <cmath>

namespace velmar {

namespace {

// Keys too long for one formatted line; each must stay one literal for the translation check.
// clang-format off
const char* const kPremultipliedHint = L10N_KEY("プリマルチプライドとして不正な値です。キーヤーで縁が白く浮きます。素材のアルファ設定か、キー形式の選択を確認してください。");
const char* const kStraightHint = L10N_KEY("ストレートでは通常の状態です。キーで抜ける部分なので、スイッチャー側では見えません。");
// clang-format on

}  // namespace

QString SignalMonitorFormats::percent(double v) {
    return QString::asprintf("%.1f%%", 100 * v);
}

QString SignalMonitorFormats::lumaMillivolts(double v) {
    return QString::asprintf("%.0f mV", 700 * v);
}

QString SignalMonitorFormats::colourDifferenceMillivolts(double v) {
    return QString::asprintf("%+.0f mV", 700 * v);
}

long long SignalMonitorFormats::lumaCode(double v) {
    return std::llround(64 + 876 * v);
}

long long SignalMonitorFormats::colourDifferenceCode(double v) {
    return std::llround(512 + 896 * v);
}

QString SignalMonitorFormats::range(const QString& minimum, const QString& maximum) {
    return localizedFormat("%@ 〜 %@", {minimum, maximum});
}

std::vector<SignalMonitorFormats::Column> SignalMonitorFormats::readoutColumns(
    const SignalSnapshot& snapshot) {
    const SignalStats& s = snapshot.stats;
    auto row = [](const char* label, QString value) {
        return Line{Line::Style::row, localized(label), std::move(value)};
    };
    auto codes = [](long long a, long long b) {
        return range(QString::number(a), QString::number(b));
    };

    Column fill{localized("FILL"), {}};
    fill.lines.push_back(
        row(L10N_KEY("輝度 最小〜最大"), range(percent(s.lumaMin), percent(s.lumaMax))));
    fill.lines.push_back(
        row(L10N_KEY("  10bit コード"), codes(lumaCode(s.lumaMin), lumaCode(s.lumaMax))));
    fill.lines.push_back(
        row(L10N_KEY("  mV"), range(lumaMillivolts(s.lumaMin), lumaMillivolts(s.lumaMax))));
    fill.lines.push_back(row(L10N_KEY("輝度 平均"), percent(s.lumaAverage)));
    fill.lines.push_back(row(L10N_KEY("キーが乗る範囲の輝度"),
                             s.keyedLumaMin && s.keyedLumaMax
                                 ? range(percent(*s.keyedLumaMin), percent(*s.keyedLumaMax))
                                 : QStringLiteral("—（キーが全面 0）")));

    Column colour{localized("色差"), {}};
    colour.lines.push_back(row(L10N_KEY("Cb"), range(colourDifferenceMillivolts(s.cbMin),
                                                     colourDifferenceMillivolts(s.cbMax))));
    colour.lines.push_back(row(L10N_KEY("Cr"), range(colourDifferenceMillivolts(s.crMin),
                                                     colourDifferenceMillivolts(s.crMax))));
    colour.lines.push_back(
        row(L10N_KEY("  10bit コード Cb"),
            codes(colourDifferenceCode(s.cbMin), colourDifferenceCode(s.cbMax))));
    colour.lines.push_back(
        row(L10N_KEY("  10bit コード Cr"),
            codes(colourDifferenceCode(s.crMin), colourDifferenceCode(s.crMax))));

    Column key{localized("KEY"), {}};
    key.lines.push_back(row(L10N_KEY("最小〜最大"), range(percent(s.keyMin), percent(s.keyMax))));
    key.lines.push_back(row(L10N_KEY("透明（0%）"), percent(s.keyTransparent)));
    key.lines.push_back(row(L10N_KEY("半透明"), percent(s.keySemi)));
    key.lines.push_back(row(L10N_KEY("不透明（100%）"), percent(s.keyOpaque)));

    Column match{localized("フィルとキーの整合"), {}};
    if (snapshot.keyAlphaMode == KeyAlphaMode::premultiplied) {
        if (s.premultipliedViolations == 0) {
            match.lines.push_back(
                {Line::Style::allClear, {}, localized("フィル ≤ キー：問題なし")});
        } else {
            match.lines.push_back({Line::Style::alertCount,
                                   {},
                                   localizedFormat("フィル＞キーの画素 %lld / %lld",
                                                   {s.premultipliedViolations, s.sampleCount})});
            match.lines.push_back({Line::Style::hint, {}, localized(kPremultipliedHint)});
        }
    } else {
        match.lines.push_back({Line::Style::plainCount,
                               {},
                               localizedFormat("キー 0 の範囲にフィルがある画素 %lld / %lld",
                                               {s.fillOutsideKey, s.sampleCount})});
        match.lines.push_back({Line::Style::hint, {}, localized(kStraightHint)});
    }
    return {fill, colour, key, match};
}

QColor SignalMonitorFormats::colour(Line::Style style) {
    switch (style) {
        case Line::Style::allClear:
            return SignalMonitorPalette::green();
        case Line::Style::alertCount:
            return SignalMonitorPalette::red();
        case Line::Style::hint:
            return SignalMonitorPalette::grey(0.66);
        case Line::Style::row:
        case Line::Style::plainCount:
            break;
    }
    return SignalMonitorPalette::grey(0.96);
}

}  // namespace velmar
