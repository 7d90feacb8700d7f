#include "canvas/signal_snapshot.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "support/qt_printers.h"
#include "ui/tools/signal_monitor_formats.h"
#include "ui/tools/signal_monitor_geometry.h"
#include "ui/tools/signal_monitor_palette.h"
#include "ui/tools/signal_monitor_status.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using Geometry = SignalMonitorGeometry;
using Formats = SignalMonitorFormats;
using MonitorStatus = SignalMonitorStatus;
using Style = Formats::Line::Style;

TEST(SignalMonitorGeometryTest, WaveformPlotLevelLinesAndParadeSeparators) {
    const QRectF plot = Geometry::waveformPlot(QSizeF(300, 200));
    EXPECT_EQ(plot, QRectF(46, 6, 248, 188));
    EXPECT_EQ(Geometry::waveformPlot(QSizeF(20, 5)), QRectF(46, 6, 1, 1));
    const char* labels[] = {"100% 940", "75%", "50%", "25%", "0% 64"};
    const double ys[] = {6, 53, 100, 147, 194};
    const auto luma = Geometry::levelLines(plot, Geometry::Graticule::luma);
    ASSERT_EQ(luma.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(luma[i].label, QString::fromLatin1(labels[i]));
        EXPECT_EQ(luma[i].line, QLineF(46, ys[i], 294, ys[i]));
        EXPECT_EQ(luma[i].dashed, i != 0 && i != 4);
        EXPECT_EQ(luma[i].opacity, i != 0 && i != 4 ? 0.18 : 0.45);
        EXPECT_EQ(luma[i].labelAnchor, QPointF(42, ys[i]));
    }
    EXPECT_EQ(Geometry::levelLines(plot, Geometry::Graticule::key)[0].label, "100%");
    EXPECT_EQ(Geometry::levelLines(plot, Geometry::Graticule::rgb)[4].label, "0%");
    const auto separators = Geometry::paradeSeparators(plot);
    EXPECT_NEAR(separators[0].x1(), 46 + 82.667, 1e-3);
    EXPECT_EQ(separators[1].p2(), QPointF(46 + 2 * 248 / 3.0, 194));
}

TEST(SignalMonitorGeometryTest, VectorscopeSquareAndTheSeventyFivePercentTargets) {
    const QRectF square = Geometry::vectorscopeSquare(QSizeF(250, 230));
    EXPECT_EQ(square, QRectF(14, 4, 222, 222));
    const char* labels[] = {"R", "Mg", "B", "Cy", "G", "Yl"};
    const QPointF at[] = {{0.4141, 0.1250}, {0.7891, 0.1594}, {0.8750, 0.5344},
                          {0.5859, 0.8750}, {0.2109, 0.8406}, {0.1250, 0.4656}};
    const auto targets = Geometry::vectorscopeTargets(square);
    ASSERT_EQ(targets.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(targets[i].label, QString::fromLatin1(labels[i]));
        EXPECT_NEAR((targets[i].centre.x() - 14) / 222, at[i].x(), 1e-4) << labels[i];
        EXPECT_NEAR((targets[i].centre.y() - 4) / 222, at[i].y(), 1e-4) << labels[i];
        EXPECT_EQ(targets[i].box, QRectF(targets[i].centre - QPointF(5, 5), QSizeF(10, 10)));
        EXPECT_EQ(targets[i].labelCentre, targets[i].centre - QPointF(0, 11));
    }
}

TEST(SignalMonitorFormatsTest, PercentMillivoltsAndCodesRoundingHalfAwayFromZero) {
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    EXPECT_EQ(Formats::range(Formats::percent(0), Formats::percent(1)), "0.0% 〜 100.0%");
    LanguageSettings::shared().setLanguage(AppLanguage::en);  // an en dash in English
    EXPECT_EQ(Formats::range(Formats::percent(0), Formats::percent(1)), "0.0% – 100.0%");
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    EXPECT_EQ(Formats::lumaMillivolts(1), "700 mV");
    EXPECT_EQ(Formats::colourDifferenceMillivolts(0), "+0 mV");
    const double codes[][3] = {{0, 64, 512},
                               {0.5, 502, 960},
                               {-0.5, -374, 64},
                               {438.5 / 876, 503, 961}};  // 876 v + 64 = 502.5
    for (const auto& c : codes) {
        EXPECT_EQ(Formats::lumaCode(c[0]), c[1]) << c[0];
        EXPECT_EQ(Formats::colourDifferenceCode(c[0]), c[2]) << c[0];
    }
}

SignalSnapshot snapshotWith(KeyAlphaMode mode, long long violations) {
    SignalSnapshot s;
    s.keyAlphaMode = mode;
    s.stats = {.lumaMax = 1, .cbMin = -0.5, .cbMax = 0.5, .keyOpaque = 0.25};
    s.stats.premultipliedViolations = violations;
    s.stats.fillOutsideKey = 7;
    s.stats.sampleCount = 230400;
    return s;
}

TEST(SignalMonitorFormatsTest, ReadoutColumnsAndTheFillAgainstKeyCheckByTheSnapshotsMode) {
    LanguageSettings::shared().setLanguage(AppLanguage::ja);  // the ranges below are Japanese
    const auto columns = Formats::readoutColumns(snapshotWith(KeyAlphaMode::straight, 0));
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_EQ(columns[0].lines[1].text, "64 〜 940");
    EXPECT_EQ(columns[0].lines[2].text, "0 mV 〜 700 mV");
    EXPECT_EQ(columns[0].lines[4].text, "—（キーが全面 0）");
    EXPECT_EQ(columns[1].lines[0].text, "-350 mV 〜 +350 mV");
    EXPECT_EQ(columns[1].lines[2].text, "64 〜 960");
    EXPECT_EQ(columns[2].lines[3].text, "25.0%");
    ASSERT_EQ(columns[3].lines.size(), 2u);
    EXPECT_EQ(columns[3].lines[0].style, Style::plainCount);
    EXPECT_EQ(columns[3].lines[0].text,
              localizedFormat("キー 0 の範囲にフィルがある画素 %lld / %lld", {7LL, 230400LL}));
    EXPECT_EQ(columns[3].lines[1].style, Style::hint);

    const auto clean = Formats::readoutColumns(snapshotWith(KeyAlphaMode::premultiplied, 0));
    ASSERT_EQ(clean[3].lines.size(), 1u);
    EXPECT_EQ(clean[3].lines[0].style, Style::allClear);
    EXPECT_EQ(Formats::colour(Style::allClear), SignalMonitorPalette::green());

    auto keyed = snapshotWith(KeyAlphaMode::premultiplied, 1);
    keyed.stats.keyedLumaMin = 0.25;
    keyed.stats.keyedLumaMax = 0.5;
    const auto alert = Formats::readoutColumns(keyed);
    EXPECT_EQ(alert[0].lines[4].text, "25.0% 〜 50.0%");
    ASSERT_EQ(alert[3].lines.size(), 2u);
    EXPECT_EQ(alert[3].lines[0].style, Style::alertCount);
    EXPECT_EQ(alert[3].lines[0].text,
              localizedFormat("フィル＞キーの画素 %lld / %lld", {1LL, 230400LL}));
    EXPECT_EQ(Formats::colour(Style::alertCount), SignalMonitorPalette::red());
}

// Each colour-difference row reads its own component: Cb and Cr differ in every figure here.
TEST(SignalMonitorFormatsTest, CbAndCrRowsEachShowTheirOwnComponent) {
    LanguageSettings::shared().setLanguage(AppLanguage::ja);  // the ranges below are Japanese
    SignalSnapshot s;
    s.stats.cbMin = -0.25;
    s.stats.cbMax = 0.1;
    s.stats.crMin = -0.5;
    s.stats.crMax = 0.4;
    const auto colour = Formats::readoutColumns(s)[1].lines;
    ASSERT_EQ(colour.size(), 4u);
    const QString rows[][2] = {{"Cb", "-175 mV 〜 +70 mV"},
                               {"Cr", "-350 mV 〜 +280 mV"},
                               {"  10bit コード Cb", "288 〜 602"},
                               {"  10bit コード Cr", "64 〜 870"}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(colour[i].label, localized(rows[i][0])) << i;
        EXPECT_EQ(colour[i].text, rows[i][1]) << i;
    }
}

TEST(SignalMonitorStatusTest, SourceFormatKeyerAndDroppedFramesByState) {
    MonitorStatus::Inputs stopped;
    stopped.canvas = CanvasFormat{1920, 1080, "HD 1080"};
    auto items = MonitorStatus::items(stopped);
    ASSERT_EQ(items.size(), 4u) << "no dropped frames while SDI is stopped";
    EXPECT_EQ(items[0].value, "—");
    EXPECT_EQ(items[0].colour, SignalMonitorPalette::orange());
    EXPECT_EQ(items[1].value, "1920×1080  59.94 p");
    EXPECT_EQ(items[2].value, localized("ストレート"));
    stopped.snapshotSource = SignalSource::composite;
    EXPECT_EQ(MonitorStatus::sourceText(stopped),
              localized("SDI 停止中 — SDI と同じ合成・同じ解像度で描いた値"));
    const std::tuple<SDIBitDepth, bool, const char*> settings[] = {
        {SDIBitDepth::eightBit, true, "有効（設定）"},
        {SDIBitDepth::eightBit, false, "無効（設定）"},
        {SDIBitDepth::tenBit, false, "有効（設定）"},
        {SDIBitDepth::tenBitFillOnly, true, "なし（10bit・フィルのみ）"}};
    for (const auto& [depth, keyer, text] : settings) {
        stopped.sdiBitDepth = depth;
        stopped.useExternalKeyer = keyer;
        EXPECT_EQ(MonitorStatus::keyerText(stopped), localized(text)) << text;
    }

    MonitorStatus::Inputs running{.snapshotSource = SignalSource::sdi,
                                  .isDeckLinkRunning = true,
                                  .hasDeckLink = true,
                                  .runningBitDepth = SDIBitDepth::tenBitFillOnly,
                                  .runningModeName = QStringLiteral("1080p59.94"),
                                  .keyerEnabled = true,
                                  .droppedFrameCount = 3};
    items = MonitorStatus::items(running);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].value, localized("SDI 合成バッファ（10bit 変換前）"));
    EXPECT_EQ(items[0].colour, SignalMonitorPalette::green());
    EXPECT_EQ(items[1].value, "1080p59.94");
    EXPECT_EQ(items[3].value, localized("なし（10bit・フィルのみ）"));
    EXPECT_EQ(items[4].value, "3");
    running.runningBitDepth = SDIBitDepth::eightBit;
    EXPECT_EQ(MonitorStatus::sourceText(running),
              localized("SDI 出力バッファ（実際に送っている値）"));
    EXPECT_EQ(MonitorStatus::keyerText(running), localized("有効"));

    running.hasDeckLink = false;  // no controller: the fallbacks
    running.runningBitDepth = SDIBitDepth::tenBit;
    items = MonitorStatus::items(running);
    EXPECT_EQ(items[0].value, localized("SDI 出力バッファ（実際に送っている値）"));
    EXPECT_EQ(items[1].value, "—");
    EXPECT_EQ(items[3].value, localized("無効"));
    EXPECT_EQ(items[4].value, "0");
}

}  // namespace
}  // namespace velmar
