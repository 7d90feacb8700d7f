#include "ui/tools/settings_presenter.h"

#include "models/language_settings.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "sdi/deck_link_controller.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using Presenter = SettingsPresenter;
using State = PlayoutEngine::State;

struct SettingsPresenterTest : ::testing::Test {
    void SetUp() override { LanguageSettings::shared().setLanguage(AppLanguage::ja); }
};

// ---- Output format ------------------------------------------------------------------------------

// Rows are matched by size for the list and by all three fields for the selection.
TEST_F(SettingsPresenterTest, PresetSizeUnderAnotherNameAddsNoRowAndSelectsNone) {
    const auto presets = CanvasFormat::presets();
    const CanvasFormat renamed{1920, 1080, "Other"};
    EXPECT_EQ(Presenter::formatOptions(renamed), presets);
    EXPECT_EQ(Presenter::formatRow(presets, renamed), -1);
    EXPECT_EQ(Presenter::frameRateRow({30000, 1001}), 3);
    EXPECT_EQ(Presenter::frameRateRow({60000, 2002}), -1);
}

TEST_F(SettingsPresenterTest, FormatLockedOnAirOrWhileSDIRuns) {
    EXPECT_FALSE(Presenter::formatLocked(State::off, false));
    EXPECT_TRUE(Presenter::formatLocked(State::off, true));
    for (State s : {State::fadingIn, State::on, State::fadingOut})
        EXPECT_TRUE(Presenter::formatLocked(s, false)) << int(s);
}

TEST_F(SettingsPresenterTest, CustomSizeParsesSignedASCIIWholeNumbersOnly) {
    const struct {
        const char* text;
        std::optional<qint64> value;
    } cases[] = {{"", {}},
                 {"+800", 800},
                 {"-5", -5},
                 {"0", 0},
                 {" 800", {}},
                 {"800 ", {}},
                 {"800px", {}},
                 {"+", {}},
                 {"+-8", {}},
                 {"\uFF18\uFF10\uFF10", {}},  // full-width digits
                 {"9223372036854775807", 9223372036854775807LL},
                 {"9223372036854775808", {}},
                 {"-9223372036854775808", std::numeric_limits<qint64>::min()},
                 {"-9223372036854775809", {}}};
    for (const auto& c : cases)
        EXPECT_EQ(Presenter::parseWholeNumber(QString::fromUtf8(c.text)), c.value) << c.text;

    EXPECT_EQ(Presenter::customCanvas("+800", "600"),
              (CanvasFormat{800, 600, CanvasFormat::customName()}));
    EXPECT_EQ(Presenter::customCanvas("0", "600"), std::nullopt);
    EXPECT_EQ(Presenter::customCanvas("800", "-5"), std::nullopt);
    EXPECT_EQ(Presenter::customCanvas("800", ""), std::nullopt);
    // Beyond an int: still handed on, as a size the engine refuses.
    EXPECT_EQ(Presenter::customCanvas("9000000000", "600")->width, std::numeric_limits<int>::max());
}

// ---- SDI ----------------------------------------------------------------------------------------

SdiModeSupport mode(int w, int h, long long scale, long long duration, const char* name) {
    SdiModeSupport support;
    support.mode = {fourCC("test"), w, h, scale, duration, name};
    return support;
}

struct SettingsModeSummaryTest : SettingsPresenterTest {
    VirtualSdiCard card{[] {
        VirtualSdiConfig config;
        SdiDeviceConfig keyed;
        keyed.name = "Keyed";
        keyed.modes = {mode(1920, 1080, 30, 1, "1080p30"),
                       mode(1920, 1080, 30000, 1001, "1080p29.97"),
                       mode(1920, 1080, 60000, 2002, "1080p29.97 alt")};
        SdiDeviceConfig plain = keyed;
        plain.name = "Plain";
        plain.hasKeyer = false;
        config.devices = {keyed, plain};
        return config;
    }()};
    Presenter presenter{[this](long long device, SDIBitDepth depth, bool keyer) {
        return DeckLinkController::supportedModes(&card, device, depth, keyer);
    }};
    std::vector<ZRDeckLinkDevice> devices = ZRDeckLinkOutput::availableDevices(&card);
    CanvasFormat hd = CanvasFormat::presets()[0];

    std::optional<QString> summary(int selected, FrameRate rate, SDIBitDepth depth = {},
                                   bool keyer = true) {
        return presenter.modeSummary(devices, selected, hd, rate, depth, keyer);
    }
};

TEST_F(SettingsModeSummaryTest, NamesTheFirstModeOfTheSameRateOrRefuses) {
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(summary(0, {30000, 1001}), "この機器で出せます: 1080p29.97 / 8bit（フィル＋キー）");
    EXPECT_EQ(summary(0, {30, 1}), "この機器で出せます: 1080p30 / 8bit（フィル＋キー）");
    // The card's first mode of the rate names it, even after one of another rate.
    EXPECT_EQ(summary(0, {60000, 2002}), summary(0, {30000, 1001}));
    EXPECT_EQ(summary(0, {60, 1}), "この組み合わせはこの機器では出せません");
    EXPECT_EQ(summary(0, {30000, 1001}, SDIBitDepth::tenBit),
              "この機器で出せます: 1080p29.97 / 10bit（フィル＋キー）");
    // Without a keyer the keyed depth has no mode; fill only still has.
    EXPECT_EQ(summary(1, {30000, 1001}, SDIBitDepth::tenBit),
              "この組み合わせはこの機器では出せません");
    EXPECT_EQ(summary(1, {30000, 1001}, SDIBitDepth::tenBitFillOnly),
              "この機器で出せます: 1080p29.97 / 10bit（フィルのみ）");
    // No selected device: no summary (also for positions the list does not have).
    for (int selected : {-1, 2}) EXPECT_EQ(summary(selected, {30000, 1001}), std::nullopt);
}

// ---- Test pattern and autosave path ------------------------------------------------------------

TEST_F(SettingsPresenterTest, CabinetSidesWrittenOnlyWithin8To4096) {
    const LEDCabinetSize size{128, 64};
    const QLocale c = QLocale::c();
    using Side = Presenter::CabinetSide;
    EXPECT_EQ(Presenter::cabinetWrite(size, Side::height, "8", c), (LEDCabinetSize{128, 8}));
    for (const char* text : {"", "12.5"})
        EXPECT_EQ(Presenter::cabinetWrite(size, Side::width, text, c), std::nullopt) << text;
    // The other side must lie in range too.
    EXPECT_EQ(Presenter::cabinetWrite({5, 64}, Side::height, "100", c), std::nullopt);
}

TEST_F(SettingsPresenterTest, LongPathsLoseTheirMiddleWithinThreeLines) {
    const auto measure = [](const QString& s) { return int(s.size()); };
    EXPECT_EQ(Presenter::wrapMiddle("/home/a", measure, 10, 3), "/home/a");
    EXPECT_EQ(Presenter::wrapMiddle("/home/user/x", measure, 5, 3), "/home\n/user\n/x");
    const QString path = "/srv/shows/" + QString(40, 'x') + "/autosave-end";
    const QString shown = Presenter::wrapMiddle(path, measure, 10, 3);
    const QStringList lines = shown.split('\n');
    EXPECT_EQ(lines.size(), 3);
    for (const QString& line : lines) EXPECT_LE(line.size(), 10);
    EXPECT_TRUE(shown.startsWith("/srv/shows")) << shown.toStdString();
    EXPECT_TRUE(QString(shown).remove('\n').endsWith("autosave-end")) << shown.toStdString();
    EXPECT_TRUE(shown.contains(u'…'));
}

}  // namespace
}  // namespace velmar
