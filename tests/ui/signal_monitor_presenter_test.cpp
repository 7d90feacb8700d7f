#include "canvas/signal_snapshot.h"
#include "models/localized.h"
#include "support/qt_printers.h"
#include "ui/signal_monitor_formats.h"
#include "ui/signal_monitor_geometry.h"
#include "ui/signal_monitor_palette.h"
#include "ui/signal_monitor_status.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using Geometry = SignalMonitorGeometry;
using Formats = SignalMonitorFormats;
using Status = SignalMonitorStatus;

TEST(SignalMonitorGeometryTest, WaveformPlotLevelLinesAndParadeSeparators) {
    const QRectF plot = Geometry::waveformPlot(QSizeF(300, 200));
    EXPECT_EQ(plot, QRectF(46, 6, 248, 188));
    EXPECT_EQ(Geometry::waveformPlot(QSizeF(20, 5)), QRectF(46, 6, 1, 1));

    struct Want {
        double level;
        const char* luma;
        const char* key;
        double y;
        bool dashed;
        double opacity;
    } wants[] = {{1.0, "100% 940", "100%", 6, false, 0.45},
                 {0.75, "75%", "75%", 53, true, 0.18},
                 {0.5, "50%", "50%", 100, true, 0.18},
                 {0.25, "25%", "25%", 147, true, 0.18},
                 {0.0, "0% 64", "0%", 194, false, 0.45}};
    const auto luma = Geometry::levelLines(plot, Geometry::Graticule::luma);
    const auto key = Geometry::levelLines(plot, Geometry::Graticule::rgb);
    ASSERT_EQ(luma.size(), 5u);
    ASSERT_EQ(key.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        const Want& w = wants[i];
        EXPECT_EQ(luma[i].label, QString::fromUtf8(w.luma));
        EXPECT_EQ(key[i].label, QString::fromUtf8(w.key));
        EXPECT_EQ(luma[i].line, QLineF(46, w.y, 294, w.y)) << w.level;
        EXPECT_EQ(luma[i].dashed, w.dashed);
        EXPECT_EQ(luma[i].opacity, w.opacity);
        EXPECT_EQ(luma[i].labelAnchor, QPointF(42, w.y));
    }

    const auto separators = Geometry::paradeSeparators(plot);
    EXPECT_NEAR(separators[0].x1(), 46 + 82.667, 1e-3);
    EXPECT_NEAR(separators[1].x1(), 46 + 165.333, 1e-3);
    EXPECT_EQ(separators[0].y1(), 6);
    EXPECT_EQ(separators[0].y2(), 194);
}

TEST(SignalMonitorGeometryTest, VectorscopeSquareAndTheSeventyFivePercentTargets) {
    const QRectF square = Geometry::vectorscopeSquare(QSizeF(250, 230));
    EXPECT_EQ(square, QRectF(14, 4, 222, 222));
    struct Want {
        const char* label;
        double x, y;
    } wants[] = {{"R", 0.4141, 0.1250},  {"Mg", 0.7891, 0.1594}, {"B", 0.8750, 0.5344},
                 {"Cy", 0.5859, 0.8750}, {"G", 0.2109, 0.8406},  {"Yl", 0.1250, 0.4656}};
    const auto targets = Geometry::vectorscopeTargets(square);
    ASSERT_EQ(targets.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(targets[i].label, QString::fromLatin1(wants[i].label));
        EXPECT_NEAR((targets[i].centre.x() - 14) / 222, wants[i].x, 1e-4) << wants[i].label;
        EXPECT_NEAR((targets[i].centre.y() - 4) / 222, wants[i].y, 1e-4) << wants[i].label;
        EXPECT_EQ(targets[i].box.size(), QSizeF(10, 10));
        EXPECT_EQ(targets[i].box.center(), targets[i].centre);
        EXPECT_EQ(targets[i].labelCentre, targets[i].centre - QPointF(0, 11));
    }
    EXPECT_NEAR(targets[0].centre.x(), 105.9, 0.05);
    EXPECT_NEAR(targets[0].centre.y(), 31.75, 0.01);
}

TEST(SignalMonitorFormatsTest, PercentMillivoltsCodesAndRanges) {
    EXPECT_EQ(Formats::range(Formats::percent(0), Formats::percent(1)),
              QStringLiteral("0.0% 〜 100.0%"));
    EXPECT_EQ(Formats::range(Formats::lumaMillivolts(0), Formats::lumaMillivolts(1)),
              QStringLiteral("0 mV 〜 700 mV"));
    EXPECT_EQ(Formats::colourDifferenceMillivolts(-0.5), QStringLiteral("-350 mV"));
    EXPECT_EQ(Formats::colourDifferenceMillivolts(0.5), QStringLiteral("+350 mV"));
    EXPECT_EQ(Formats::colourDifferenceMillivolts(0), QStringLiteral("+0 mV"));
    struct Code {
        double v;
        long long luma, colour;
    } codes[] = {
        {0, 64, 512}, {1, 940, 1408}, {0.5, 502, 960}, {-0.5, -374, 64}, {438.5 / 876, 503, 961}};
    for (const Code& c : codes) {
        EXPECT_EQ(Formats::lumaCode(c.v), c.luma) << c.v;
        EXPECT_EQ(Formats::colourDifferenceCode(c.v), c.colour) << c.v;
    }
}

SignalSnapshot snapshotWith(KeyAlphaMode mode, long long violations, long long fillOutsideKey) {
    SignalSnapshot s;
    s.keyAlphaMode = mode;
    s.stats.lumaMin = 0;
    s.stats.lumaMax = 1;
    s.stats.cbMin = -0.5;
    s.stats.cbMax = 0.5;
    s.stats.keyMax = 1;
    s.stats.keyOpaque = 0.25;
    s.stats.premultipliedViolations = violations;
    s.stats.fillOutsideKey = fillOutsideKey;
    s.stats.sampleCount = 230400;
    return s;
}

TEST(SignalMonitorFormatsTest, ReadoutColumnsAndTheFillAgainstKeyCheckByTheSnapshotsMode) {
    const auto columns = Formats::readoutColumns(snapshotWith(KeyAlphaMode::straight, 0, 7));
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_EQ(columns[0].lines[0].text, QStringLiteral("0.0% 〜 100.0%"));
    EXPECT_EQ(columns[0].lines[1].text, QStringLiteral("64 〜 940"));
    EXPECT_EQ(columns[0].lines[1].label, localized("  10bit コード"));
    EXPECT_EQ(columns[0].lines[2].text, QStringLiteral("0 mV 〜 700 mV"));
    EXPECT_EQ(columns[0].lines[4].text, QStringLiteral("—（キーが全面 0）"));
    EXPECT_EQ(columns[1].lines[0].text, QStringLiteral("-350 mV 〜 +350 mV"));
    EXPECT_EQ(columns[1].lines[1].text, QStringLiteral("+0 mV 〜 +0 mV"));
    EXPECT_EQ(columns[1].lines[2].text, QStringLiteral("64 〜 960"));
    EXPECT_EQ(columns[2].lines[0].text, QStringLiteral("0.0% 〜 100.0%"));
    EXPECT_EQ(columns[2].lines[3].text, QStringLiteral("25.0%"));

    using Style = Formats::Line::Style;
    const auto& straight = columns[3].lines;
    ASSERT_EQ(straight.size(), 2u);
    EXPECT_EQ(straight[0].style, Style::plainCount);
    EXPECT_EQ(straight[0].text,
              localizedFormat("キー 0 の範囲にフィルがある画素 %lld / %lld", {7LL, 230400LL}));
    EXPECT_EQ(straight[1].style, Style::hint);
    EXPECT_EQ(Formats::colour(Style::plainCount), SignalMonitorPalette::grey(0.96));

    const auto clean = Formats::readoutColumns(snapshotWith(KeyAlphaMode::premultiplied, 0, 7));
    ASSERT_EQ(clean[3].lines.size(), 1u);
    EXPECT_EQ(clean[3].lines[0].style, Style::allClear);
    EXPECT_EQ(Formats::colour(Style::allClear), SignalMonitorPalette::green());

    auto keyed = snapshotWith(KeyAlphaMode::premultiplied, 1, 0);
    keyed.stats.keyedLumaMin = 0.25;
    keyed.stats.keyedLumaMax = 0.5;
    const auto alert = Formats::readoutColumns(keyed);
    ASSERT_EQ(alert[3].lines.size(), 2u);
    EXPECT_EQ(alert[3].lines[0].style, Style::alertCount);
    EXPECT_EQ(alert[3].lines[0].text,
              localizedFormat("フィル＞キーの画素 %lld / %lld", {1LL, 230400LL}));
    EXPECT_EQ(Formats::colour(Style::alertCount), SignalMonitorPalette::red());
    EXPECT_EQ(alert[0].lines[4].text, QStringLiteral("25.0% 〜 50.0%"));
}

TEST(SignalMonitorStatusTest, SourceFormatKeyerAndDroppedFramesByState) {
    Status::Inputs stopped;
    stopped.canvas = CanvasFormat{1920, 1080, "HD 1080"};
    auto items = Status::items(stopped);
    ASSERT_EQ(items.size(), 4u) << "no dropped frames while SDI is stopped";
    EXPECT_EQ(items[0].value, QStringLiteral("—"));
    EXPECT_EQ(items[0].colour, SignalMonitorPalette::orange());
    EXPECT_EQ(items[1].value, QStringLiteral("1920×1080  59.94 p"));
    EXPECT_EQ(items[2].value, localized("ストレート"));

    stopped.snapshotSource = SignalSource::composite;
    EXPECT_EQ(Status::sourceText(stopped),
              localized("SDI 停止中 — SDI と同じ合成・同じ解像度で描いた値"));
    struct Setting {
        SDIBitDepth depth;
        bool keyer;
        const char* text;
    } settings[] = {{SDIBitDepth::eightBit, true, "有効（設定）"},
                    {SDIBitDepth::eightBit, false, "無効（設定）"},
                    {SDIBitDepth::tenBit, false, "有効（設定）"},
                    {SDIBitDepth::tenBitFillOnly, true, "なし（10bit・フィルのみ）"}};
    for (const Setting& s : settings) {
        stopped.sdiBitDepth = s.depth;
        stopped.useExternalKeyer = s.keyer;
        EXPECT_EQ(Status::keyerText(stopped), localized(s.text)) << s.text;
    }

    Status::Inputs running;
    running.isDeckLinkRunning = true;
    running.hasDeckLink = true;
    running.snapshotSource = SignalSource::sdi;
    running.runningBitDepth = SDIBitDepth::tenBitFillOnly;
    running.runningModeName = QStringLiteral("1080p59.94");
    running.keyerEnabled = true;
    running.droppedFrameCount = 3;
    running.keyAlphaMode = KeyAlphaMode::premultiplied;
    items = Status::items(running);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].value, localized("SDI 合成バッファ（10bit 変換前）"));
    EXPECT_EQ(items[0].colour, SignalMonitorPalette::green());
    EXPECT_EQ(items[1].value, QStringLiteral("1080p59.94"));
    EXPECT_EQ(items[2].value, localized("プリマルチプライド"));
    EXPECT_EQ(items[3].value, localized("なし（10bit・フィルのみ）"));
    EXPECT_EQ(items[4].value, QStringLiteral("3"));

    running.runningBitDepth = SDIBitDepth::eightBit;
    EXPECT_EQ(Status::sourceText(running), localized("SDI 出力バッファ（実際に送っている値）"));
    EXPECT_EQ(Status::keyerText(running), localized("有効"));
    running.keyerEnabled = false;
    EXPECT_EQ(Status::keyerText(running), localized("無効"));

    running.hasDeckLink = false;  // no controller: the fallbacks
    running.runningBitDepth = SDIBitDepth::tenBit;
    running.keyerEnabled = true;
    items = Status::items(running);
    EXPECT_EQ(items[0].value, localized("SDI 出力バッファ（実際に送っている値）"));
    EXPECT_EQ(items[1].value, QStringLiteral("—"));
    EXPECT_EQ(items[3].value, localized("無効"));
    EXPECT_EQ(items[4].value, QStringLiteral("0"));
}

}  // namespace
}  // namespace velmar
