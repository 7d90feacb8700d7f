// Real mouse wheels (xdotool on an X server) over value controls the operator has not focused:
// the settings form's "Key Format" box, and a combo box, spin box, slider and scrubbable value
// each on its own scrolling page. The value stays and the page scrolls; a focused spin box still
// takes the wheel.
#include "ui/app_views.h"
#include "ui/control_window_harness.h"
#include "ui/controls/app_appearance.h"
#include "ui/controls/scrubbable_value.h"
#include "ui/xvfb_session.h"

#include <QApplication>
#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <map>

namespace velmar {
namespace {

const bool kWheelChild = qEnvironmentVariableIsSet("VELMAR_XVFB_WHEEL_CHILD");

// A page taller than its scroll area with the control near its top.
QScrollArea* page(QWidget* control, QWidget* parent) {
    auto* area = new QScrollArea(parent);
    auto* content = new QWidget;
    content->setFixedSize(220, 600);
    control->setParent(content);
    control->setGeometry(10, 80, 180, 30);
    area->setWidget(content);
    return area;
}

// Runs on the X server: prints where each control is (AT name x y), then READY, then a STATE
// line each time a value or a page position changes.
TEST(WheelGuardXvfbChild, ShowsTheControls) {
    if (!kWheelChild) GTEST_SKIP() << "run by WheelGuardXvfbTest";
    AppAppearance::install(*qobject_cast<QApplication*>(QCoreApplication::instance()));
    test::ControlWindowHarness harness({.noCanvas = true});
    std::unique_ptr<QWidget> settings(AppViews::makeSettings(harness.app, harness.document));
    settings->move(0, 0);
    settings->show();
    auto* settingsScroll = qobject_cast<QScrollArea*>(settings.get());
    auto* keyAlpha = settings->findChild<QComboBox*>(QStringLiteral("keyAlpha"));
    ASSERT_NE(keyAlpha, nullptr);

    QWidget probe;
    auto* column = new QVBoxLayout(&probe);
    auto* combo = new QComboBox;
    combo->addItems({"one", "two", "three"});
    auto* spin = new QSpinBox;
    spin->setRange(0, 100);
    spin->setValue(50);
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(0, 100);
    slider->setValue(50);
    int scrubs = 0;
    auto* scrub = new ScrubbableValue(
        {.label = "X", .display = "0", .onScrub = [&scrubs](double) { ++scrubs; }});
    std::map<QString, QScrollArea*> pages;
    for (auto [name, control] : std::initializer_list<std::pair<const char*, QWidget*>>{
             {"combo", combo}, {"spin", spin}, {"slider", slider}, {"scrub", scrub}}) {
        pages[name] = page(control, &probe);
        pages[name]->setFixedSize(240, 190);
        column->addWidget(pages[name]);
    }
    probe.move(600, 0);
    probe.show();
    QTimer::singleShot(600, [&] {
        for (auto [name, control] :
             std::initializer_list<std::pair<const char*, QWidget*>>{{"keyAlpha", keyAlpha},
                                                                     {"combo", combo},
                                                                     {"spin", spin},
                                                                     {"slider", slider},
                                                                     {"scrub", scrub}}) {
            const QPoint at = control->mapToGlobal(QPoint(20, control->height() / 2));
            std::printf("AT %s %d %d\n", name, at.x(), at.y());
        }
        std::printf("READY\n"), std::fflush(stdout);
    });
    QString last;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const QString state =
            QStringLiteral("STATE keyAlpha %1 %2 combo %3 %4 spin %5 %6 slider %7 %8 scrub %9 %10")
                .arg(keyAlpha->currentIndex())
                .arg(settingsScroll->verticalScrollBar()->value())
                .arg(combo->currentIndex())
                .arg(pages["combo"]->verticalScrollBar()->value())
                .arg(spin->value())
                .arg(pages["spin"]->verticalScrollBar()->value())
                .arg(slider->value())
                .arg(pages["slider"]->verticalScrollBar()->value())
                .arg(scrubs)
                .arg(pages["scrub"]->verticalScrollBar()->value());
        if (state != last) std::printf("%s\n", qPrintable(state)), std::fflush(stdout);
        last = state;
    });
    poll.start(50);
    QTimer::singleShot(90000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// name -> (value, page position) of the last STATE line.
std::map<QString, std::pair<int, int>> lastState(const QString& output) {
    std::map<QString, std::pair<int, int>> state;
    const qsizetype at = output.lastIndexOf(QStringLiteral("STATE "));
    if (at < 0) return state;
    const QStringList f = output.mid(at).section(u'\n', 0, 0).split(u' ');
    for (int i = 1; i + 2 < f.size(); i += 3) state[f[i]] = {f[i + 1].toInt(), f[i + 2].toInt()};
    return state;
}

TEST(WheelGuardXvfbTest, AWheelScrollsThePageOverUnfocusedControlsAndMovesAFocusedOne) {
    if (kWheelChild) GTEST_SKIP() << "the child";
    if (const QString tool = test::XvfbSession::missingTool(); !tool.isEmpty())
        GTEST_SKIP() << "needs " << tool.toStdString();
    test::XvfbSession x;
    x.start(QSize(1400, 900));  // lower than the settings form, so that it scrolls
    QProcessEnvironment env;
    env.insert("VELMAR_XVFB_WHEEL_CHILD", "1");
    x.startChild("WheelGuardXvfbChild.*", env);
    ASSERT_TRUE(x.waitFor("READY")) << x.output().toStdString();
    x.drain(300);
    std::map<QString, QPoint> places;
    for (const QString& line : x.output().split(u'\n')) {
        const QStringList f = line.split(u' ');
        if (f[0] == "AT" && f.size() == 4) places[f[1]] = QPoint(f[2].toInt(), f[3].toInt());
    }
    ASSERT_EQ(places.size(), 5u);
    // Waits until the named entry of the state changes; the state then.
    const auto changed = [&](const QString& name, bool page) {
        const auto before = lastState(x.output());
        for (int i = 0; i < 60; ++i) {
            x.drain(100);
            const auto now = lastState(x.output());
            if (page ? now.at(name).second != before.at(name).second
                     : now.at(name).first != before.at(name).first)
                break;
        }
        return lastState(x.output());
    };

    for (const QString name : {"keyAlpha", "combo", "spin", "slider", "scrub"}) {
        SCOPED_TRACE(name.toStdString());
        const auto before = lastState(x.output());
        ASSERT_EQ(before.count(name), 1u);
        x.xdotool(
            {"mousemove", QString::number(places[name].x()), QString::number(places[name].y())});
        x.xdotool({"click", "5"});  // one notch down
        const auto after = changed(name, true);
        EXPECT_GT(after.at(name).second, before.at(name).second) << "the page scrolled";
        EXPECT_EQ(after.at(name).first, before.at(name).first) << "the value stayed";
    }

    // A spin box the operator clicked into takes the wheel. (Its page has scrolled: it is found
    // again at its place minus the scroll.)
    const auto before = lastState(x.output());
    const QPoint spin = places["spin"] - QPoint(0, before.at("spin").second);
    x.xdotool({"mousemove", QString::number(spin.x()), QString::number(spin.y())});
    x.xdotool({"click", "1"});
    x.xdotool({"click", "4"});  // one notch up
    const auto after = changed("spin", false);
    EXPECT_EQ(after.at("spin").first, before.at("spin").first + 1);
}

}  // namespace
}  // namespace velmar
