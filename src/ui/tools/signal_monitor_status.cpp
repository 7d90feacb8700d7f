#include "ui/tools/signal_monitor_status.h"

#include "models/localized.h"
#include "ui/tools/signal_monitor_palette.h"

namespace velmar {

namespace {

// clang-format off
const char* const kSampleLine = L10N_KEY("サンプル %lld×%lld（%lld×%lld を間引き）・1 秒に最大 8 回・輝度と色差は Rec.709 の計算値。10bit 出力時は変換前の BGRA を測定");
// clang-format on

}  // namespace

QString SignalMonitorStatus::sourceText(const Inputs& inputs) {
    if (!inputs.snapshotSource) return QStringLiteral("—");
    if (*inputs.snapshotSource == SignalSource::composite)
        return localized("SDI 停止中 — SDI と同じ合成・同じ解像度で描いた値");
    if (!inputs.hasDeckLink || inputs.runningBitDepth == SDIBitDepth::eightBit)
        return localized("SDI 出力バッファ（実際に送っている値）");
    return localized("SDI 合成バッファ（10bit 変換前）");
}

QString SignalMonitorStatus::formatText(const Inputs& inputs) {
    if (inputs.isDeckLinkRunning) {
        if (!inputs.hasDeckLink || !inputs.runningModeName) return QStringLiteral("—");
        return *inputs.runningModeName;
    }
    return QString::number(inputs.canvas.width) + QStringLiteral("×") +
           QString::number(inputs.canvas.height) + QStringLiteral("  ") + inputs.frameRate.label();
}

QString SignalMonitorStatus::keyConventionText(KeyAlphaMode mode) {
    return mode == KeyAlphaMode::premultiplied ? localized("プリマルチプライド")
                                               : localized("ストレート");
}

QString SignalMonitorStatus::keyerText(const Inputs& inputs) {
    if (inputs.isDeckLinkRunning) {
        if (!inputs.hasDeckLink) return localized("無効");
        if (inputs.runningBitDepth == SDIBitDepth::tenBitFillOnly)
            return localized("なし（10bit・フィルのみ）");
        return inputs.keyerEnabled ? localized("有効") : localized("無効");
    }
    if (inputs.sdiBitDepth == SDIBitDepth::tenBitFillOnly)
        return localized("なし（10bit・フィルのみ）");
    if (inputs.sdiBitDepth == SDIBitDepth::tenBit || inputs.useExternalKeyer)
        return localized("有効（設定）");
    return localized("無効（設定）");
}

std::vector<SignalMonitorStatus::Item> SignalMonitorStatus::items(const Inputs& inputs) {
    const QColor plain = SignalMonitorPalette::grey(0.96);
    std::vector<Item> out;
    out.push_back({localized("取得元"), sourceText(inputs),
                   inputs.isDeckLinkRunning ? SignalMonitorPalette::green()
                                            : SignalMonitorPalette::orange()});
    out.push_back({localized("フォーマット"), formatText(inputs), plain});
    out.push_back({localized("キー形式"), keyConventionText(inputs.keyAlphaMode), plain});
    out.push_back({localized("外部キーヤー"), keyerText(inputs), plain});
    if (inputs.isDeckLinkRunning) {
        const std::uint64_t dropped = inputs.hasDeckLink ? inputs.droppedFrameCount : 0;
        out.push_back({localized("落ちフレーム"), QString::number(dropped), plain});
    }
    return out;
}

QString SignalMonitorStatus::sampleLine(const SignalSnapshot& snapshot) {
    return localizedFormat(kSampleLine,
                           {(long long)snapshot.sampleColumns, (long long)snapshot.sampleRows,
                            (long long)snapshot.frameWidth, (long long)snapshot.frameHeight});
}

}  // namespace velmar
