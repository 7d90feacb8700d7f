// The information bar: its own scale, the live rule, the clocks, the load figures and the sign.
#include "ui/window/info_bar.h"
#include "models/language_settings.h"
#include "support/fake_clock.h"
#include "ui/window/analog_clock.h"
#include "ui/window/digital_clock.h"
#include "ui/window/on_air_sign.h"
#include "ui/window/system_load_panel.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

namespace velmar {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(InfoBar, ScaleFollowsTheFullWidthWithinItsBounds) {
    struct Case {
        double width, s, height;
    };
    for (const Case& c : {Case{1150, 1, 102}, Case{500, 0.62, 55.8 + 12}, Case{3000, 1.9, 171 + 12},
                          Case{1904, 1904.0 / 1150, 149.0 + 12}}) {
        EXPECT_NEAR(InfoBar::scaleFor(c.width), c.s, 1e-12) << c.width;
        EXPECT_NEAR(InfoBar::height(c.width), c.height, 0.01) << c.width;
    }
}

TEST(InfoBar, LiveRuleNeedsTheKeyOnOrTheKeyerOrATestPattern) {
    using S = PlayoutEngine::State;
    struct Case {
        S state;
        bool key, keyer, pattern, live;
    };
    for (const Case& c :
         {Case{S::on, true, false, false, true}, Case{S::fadingIn, true, false, false, true},
          Case{S::fadingOut, true, false, false, true}, Case{S::on, false, false, false, false},
          Case{S::off, true, false, false, false}, Case{S::off, true, true, false, true},
          Case{S::off, false, false, true, true}, Case{S::on, false, true, false, true}}) {
        EXPECT_EQ(InfoBar::isLive(c.state, c.key, c.keyer, c.pattern), c.live)
            << int(c.state) << c.key << c.keyer << c.pattern;
    }
}

TEST(DigitalClock, PartsUseTheLocalTimeAndAnEnglishWeekdayInEitherLanguage) {
    const QDateTime date(QDate(2026, 3, 7), QTime(9, 5, 7), QTimeZone::systemTimeZone());
    for (AppLanguage language : {AppLanguage::ja, AppLanguage::en}) {
        LanguageSettings::shared().setLanguage(language);
        const auto parts = DigitalClock::parts(date);
        EXPECT_EQ(parts.hm, QStringLiteral("09:05"));
        EXPECT_EQ(parts.second, QStringLiteral("07"));
        EXPECT_EQ(parts.day, QStringLiteral("3/7 (Sat)"));
    }
    const auto midnight = DigitalClock::parts(
        QDateTime(QDate(2026, 12, 31), QTime(0, 0, 0), QTimeZone::systemTimeZone()));
    EXPECT_EQ(midnight.hm, QStringLiteral("00:00"));
    EXPECT_EQ(midnight.day, QStringLiteral("12/31 (Thu)"));
    EXPECT_DOUBLE_EQ(DigitalClock::width(0.62), 117.8);
}

TEST(AnalogClock, HandAnglesAndTicks) {
    struct Case {
        QTime time;
        double hour, minute, second;
    };
    for (const Case& c : {Case{QTime(12, 0, 0), -kPi / 2, -kPi / 2, -kPi / 2},
                          Case{QTime(0, 0, 0), -kPi / 2, -kPi / 2, -kPi / 2},
                          Case{QTime(3, 0, 0), 0, -kPi / 2, -kPi / 2},
                          Case{QTime(6, 30, 0), 2 * kPi * 6.5 / 12 - kPi / 2, kPi / 2, -kPi / 2},
                          Case{QTime(10, 20, 30), 2 * kPi * (10 + 20.5 / 60) / 12 - kPi / 2,
                               2 * kPi * 20.5 / 60 - kPi / 2, kPi / 2}}) {
        const auto hands = AnalogClock::handAngles(c.time);
        EXPECT_NEAR(hands.hour, c.hour, 1e-12) << c.time.toString().toStdString();
        EXPECT_NEAR(hands.minute, c.minute, 1e-12) << c.time.toString().toStdString();
        EXPECT_NEAR(hands.second, c.second, 1e-12) << c.time.toString().toStdString();
    }
    // A canvas of 100 x 80 has radius 40.
    const auto hourMark = AnalogClock::tick(15, 40);
    EXPECT_DOUBLE_EQ(hourMark.inner, 31.2);
    EXPECT_DOUBLE_EQ(hourMark.outer, 38);
    EXPECT_DOUBLE_EQ(hourMark.lineWidth, 1.6);
    const auto minor = AnalogClock::tick(16, 40);
    EXPECT_DOUBLE_EQ(minor.inner, 35.2);
    EXPECT_DOUBLE_EQ(minor.lineWidth, 0.8);
}

TEST(SystemLoadPanel, StrictThresholdsOnUnroundedFiguresAndConditionalRows) {
    SystemLoadPanel::Figures f;
    f.cpuPercent = 300.0;
    f.gpuFramePercent = 60.4;
    f.memoryPercent = 70.0;
    auto rows = SystemLoadPanel::rows(f);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], (SystemLoadPanel::Row{"CPU", "300%", false}));
    EXPECT_EQ(rows[1], (SystemLoadPanel::Row{"GPU", "60%", true}));
    EXPECT_EQ(rows[2], (SystemLoadPanel::Row{"RAM", "70%", false}));
    f.cpuPercent = 300.4;
    EXPECT_EQ(SystemLoadPanel::rows(f)[0], (SystemLoadPanel::Row{"CPU", "300%", true}));

    f.isDeckLinkRunning = true;
    EXPECT_EQ(SystemLoadPanel::rows(f)[3], (SystemLoadPanel::Row{"DROP", "0", false}));
    f.droppedFrames = 1;
    f.onBattery = true;
    f.pendingVerification = 3;
    rows = SystemLoadPanel::rows(f);
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[3], (SystemLoadPanel::Row{"DROP", "1", true}));
    EXPECT_EQ(rows[4].label, QStringLiteral("電源"));
    EXPECT_TRUE(rows[4].warning);
    EXPECT_EQ(rows[5], (SystemLoadPanel::Row{"確認中", "3", true}));
}

TEST(SystemLoadPanel, FiguresThatAreNotFiniteShowZeroWithoutWarning) {
    SystemLoadPanel::Figures f;
    f.cpuPercent = std::numeric_limits<double>::quiet_NaN();
    f.gpuFramePercent = std::numeric_limits<double>::infinity();
    f.memoryPercent = -std::numeric_limits<double>::infinity();
    for (const auto& row : SystemLoadPanel::rows(f)) {
        EXPECT_EQ(row.value, QStringLiteral("0%")) << row.label.toStdString();
        EXPECT_FALSE(row.warning) << row.label.toStdString();
    }
}

// The sign's fill over the bar's band, as the window shows it at background level 3.
QRgb signFill(bool live) {
    QImage image(400, 200, QImage::Format_RGB32);
    image.fill(qRgb(89, 89, 89));
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(0, 0, 0, qRound(0.3 * 255)));
    const QSizeF size = OnAirSign::size(1);
    const QRectF box(200 - size.width() / 2, 100 - size.height() / 2, size.width(), size.height());
    OnAirSign::paint(painter, box, live, 1);
    painter.end();
    // Inside the box, clear of the text: near its left edge, mid-height.
    return image.pixel(int(box.left()) + 6, int(box.center().y()));
}

TEST(OnAirSign, FillIsRedWhenLiveAndFaintOtherwise) {
    const QRgb on = signFill(true);
    EXPECT_NEAR(qRed(on), 200, 2);
    EXPECT_NEAR(qGreen(on), 45, 2);
    EXPECT_NEAR(qBlue(on), 45, 2);
    const QRgb off = signFill(false);
    EXPECT_NEAR(qRed(off), 73, 2);
    EXPECT_NEAR(qGreen(off), 61, 2);
    EXPECT_NEAR(qBlue(off), 61, 2);
}

TEST(InfoBar, OneHalfSecondTimerRepaintsTheBarWhileShown) {
    test::FakeClock clock;
    InfoBar bar(clock, clock);
    bar.resize(1150, 102);
    bar.show();
    clock.advance(2.0);
    EXPECT_EQ(bar.ticks(), 4u);
    bar.hide();
    clock.advance(2.0);
    EXPECT_EQ(bar.ticks(), 4u);
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

// The bar keeps everything but the clocks in a layer between ticks: each change it shows
// (sign, name, load figures) must reach the picture, and each tick must move the clocks.
TEST(InfoBar, PictureFollowsEveryChangeAndTheClocksEveryTick) {
    test::FakeClock clock;
    InfoBar bar(clock, clock);
    bar.resize(1150, 102);
    bar.show();
    auto region = [&bar](QRectF r) { return bar.grab().toImage().copy(r.toAlignedRect()); };
    const QRectF sign = bar.signRect();
    const QRectF name(1150 / 2.0 + 104, 6, 0.24 * 1150, 90);
    const QRectF load(1150 - 12 - 120, 6, 120, 90);
    const QRectF clocks(12, 6, 0.42 * 1150, 90);
    struct Step {
        const char* what;
        std::function<void()> change;
        QRectF where;
    };
    const Step steps[] = {
        {"sign lit", [&] { bar.setLive(true); }, sign},
        {"sign dark", [&] { bar.setLive(false); }, sign},
        {"name", [&] { bar.setProjectName(QStringLiteral("Evening news")); }, name},
        {"load",
         [&] {
             bar.setLoadFigures({250, 95, 99});
         },
         load},
        {"one second on", [&] { clock.advance(1.0); }, clocks},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const QImage before = region(step.where);
        step.change();
        EXPECT_NE(region(step.where), before);
    }
}

}  // namespace
}  // namespace velmar
