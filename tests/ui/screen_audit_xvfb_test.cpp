// Every window at its default size, in Japanese and in English (as built in that language, and
// after a switch to it from the other), on a real X server with the program's palette: each
// label, button, check box and combo box must have the room its text needs (measured by the
// widget's own font), and every enabled one must stand out from what is drawn behind it by a
// contrast of at least 4.5 : 1, measured on an ImageMagick screenshot.
#include "app/preflight_runner_fixture.h"

#include "app/led_cabinet_dialog.h"

#include "canvas/signal_probe.h"
#include "canvas/signal_test_support.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "support/event_loop.h"
#include "ui/app_views.h"
#include "ui/control_window_harness.h"
#include "ui/controls/app_appearance.h"
#include "ui/controls/switch_toggle.h"
#include "ui/panels/duration_editor_sheet.h"
#include "ui/rundown/filter_popover.h"
#include "ui/rundown/name_sheet.h"
#include "ui/tools/manual_window_controller.h"
#include "ui/tools/preflight_view.h"
#include "ui/tools/preflight_window_controller.h"
#include "ui/tools/settings_custom_format_editor.h"
#include "ui/tools/signal_monitor_view.h"
#include "ui/tools/signal_monitor_window_controller.h"
#include "ui/xvfb_session.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>

namespace velmar {
namespace {

const bool kAuditChild = qEnvironmentVariableIsSet("VELMAR_XVFB_AUDIT_CHILD");

// Texts the design shortens on purpose.
bool elidesOnPurpose(const QWidget* w) {
    return w->objectName() == QLatin1String("autosavePath");
}

QString visibleText(QString text) {
    return text.remove(u'&').replace(u'\n', u' ').replace(u'\t', u' ');
}

// Whether the rectangle (in w's coordinates) is cut by w or by one of its parents up to the
// window; a scroll area's viewport ends the walk, since what lies beyond it scrolls into view.
bool cutByParents(const QWidget* w, QRect r) {
    for (const QWidget* p = w; p; p = p->parentWidget()) {
        if (!p->rect().adjusted(-1, -1, 1, 1).contains(r)) return true;
        if (p->isWindow()) break;
        const QWidget* parent = p->parentWidget();
        auto* area =
            qobject_cast<const QAbstractScrollArea*>(parent ? parent->parentWidget() : nullptr);
        if (area && area->viewport() == parent) break;
        r.translate(p->pos());
    }
    return false;
}

struct Measured {
    QRect text;      // where the text is drawn, in w's coordinates
    QString reason;  // why the text does not fit; empty when it does
};

// Where the glyphs of one line of text fall when the line is placed in `box` with the vertical
// part of `alignment`, the way the toolkit places it.
QRect inkRect(const QFontMetrics& metrics, const QString& text, const QRect& box,
              Qt::Alignment alignment) {
    int top = box.top() + (box.height() - metrics.height()) / 2;
    if (alignment & Qt::AlignTop) top = box.top();
    if (alignment & Qt::AlignBottom) top = box.bottom() + 1 - metrics.height();
    const QRect tight = metrics.tightBoundingRect(text);
    return QRect(box.left(), top + metrics.ascent() + tight.top(), box.width(), tight.height());
}

// The width from the pen's start to the right edge of the last glyph's ink (a full-width
// bracket's blank half does not count).
int inkWidth(const QFontMetrics& metrics, const QString& text) {
    return std::max(metrics.tightBoundingRect(text).right() + 1, 0);
}

Measured measureLabel(const QLabel* label) {
    const QString text = label->text();
    const QRect contents = label->contentsRect();
    Measured m;
    if (label->wordWrap()) {
        m.text = contents;
        const int need = label->heightForWidth(label->width());
        if (need > label->height() + 1)
            m.reason =
                QStringLiteral("needs %1 px of height, has %2").arg(need).arg(label->height());
    } else if (!text.contains(u'\n') && label->textFormat() != Qt::RichText &&
               !Qt::mightBeRichText(text)) {
        // One line: its advance must fit the width and its ink the height.
        const QFontMetrics metrics(label->font());
        const int advance = inkWidth(metrics, text);
        m.text = QStyle::alignedRect(label->layoutDirection(), label->alignment(),
                                     QSize(std::min(advance, contents.width()),
                                           std::min(metrics.height(), contents.height())),
                                     contents);
        const QRect ink = inkRect(metrics, text, contents, label->alignment());
        if (advance > contents.width() + 2 || ink.top() < -1 || ink.bottom() > label->height())
            m.reason = QStringLiteral("needs %1 px across and rows %2 to %3, has %4 x %5")
                           .arg(advance)
                           .arg(ink.top())
                           .arg(ink.bottom())
                           .arg(contents.width())
                           .arg(label->height());
    } else {
        const QSize need = label->minimumSizeHint();
        m.text = QStyle::alignedRect(label->layoutDirection(), label->alignment(),
                                     need.boundedTo(contents.size()), contents);
        if (need.width() > label->width() + 1 || need.height() > label->height() + 1)
            m.reason = QStringLiteral("needs %1 x %2, has %3 x %4")
                           .arg(need.width())
                           .arg(need.height())
                           .arg(label->width())
                           .arg(label->height());
    }
    return m;
}

Measured measureButton(const QAbstractButton* button) {
    const QFontMetrics metrics(button->font());
    const QString text = visibleText(button->text());
    Measured m;
    QSize need(inkWidth(metrics, text), metrics.height());
    QRect area = button->rect();
    if (auto* toggle = qobject_cast<const SwitchToggle*>(button)) {
        const QRect track = toggle->trackRect();
        area.setLeft(track.right() + track.height() / 2);
    } else if (auto* box = qobject_cast<const QCheckBox*>(button)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        area = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    } else {
        if (!button->icon().isNull()) need.rwidth() += button->iconSize().width() + 4;
        area = button->rect().adjusted(2, 1, -2, -1);  // the frame
    }
    m.text = QStyle::alignedRect(button->layoutDirection(), Qt::AlignCenter,
                                 need.boundedTo(area.size()), area);
    if (qobject_cast<const QCheckBox*>(button)) m.text.moveLeft(area.left());
    if (!qobject_cast<const QCheckBox*>(button))
        need.setHeight(metrics.tightBoundingRect(text).height());
    if (need.width() > area.width() + 2 || need.height() > area.height() + 1)
        m.reason = QStringLiteral("needs %1 x %2, has %3 x %4")
                       .arg(need.width())
                       .arg(need.height())
                       .arg(area.width())
                       .arg(area.height());
    // Symbols come from icon files: the fonts here may not have them. (Arrows, technical
    // symbols, shapes and dingbats; not the mathematical signs that stand in values.)
    const auto isSymbol = [](char32_t c) {
        return (c >= 0x2190 && c <= 0x21ff) || (c >= 0x2300 && c <= 0x23ff) ||
               (c >= 0x25a0 && c <= 0x27bf) || (c >= 0x2900 && c <= 0x297f) ||
               (c >= 0x2b00 && c <= 0x2bff) || c >= 0x1f300;
    };
    for (const char32_t c : text.toUcs4())
        if (isSymbol(c))
            m.reason = QStringLiteral("shows the symbol U+%1 as text").arg(uint(c), 4, 16);
    return m;
}

Measured measureCombo(const QComboBox* combo) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    const QFontMetrics metrics(combo->font());
    int need = inkWidth(metrics, combo->currentText());
    if (!combo->itemIcon(combo->currentIndex()).isNull()) need += combo->iconSize().width() + 4;
    Measured m;
    m.text = QRect(field.left(), field.top(), std::min(field.width(), need), field.height());
    // The box draws its text 1 px inside the field on each side.
    if (need > field.width() - 2 || metrics.height() > field.height() + 2)
        m.reason = QStringLiteral("its text needs %1 x %2, the field is %3 x %4")
                       .arg(need)
                       .arg(metrics.height())
                       .arg(field.width())
                       .arg(field.height());
    return m;
}

// Prints one TEXT line per shown label, button, check box and combo box of the window:
// shot, text rectangle on the screen, enabled, why it is cut (or "-"), class and text.
void report(const QWidget* window, int shot) {
    QList<const QWidget*> widgets{window};
    for (const QWidget* w : window->findChildren<QWidget*>()) widgets << w;
    for (const QWidget* w : widgets) {
        if (!w->isVisible() || w->window() != window) continue;
        QString text;
        Measured m;
        if (auto* label = qobject_cast<const QLabel*>(w)) {
            text = label->text();
            if (text.trimmed().isEmpty()) continue;
            m = measureLabel(label);
        } else if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
            text = button->text();
            if (text.trimmed().isEmpty()) continue;
            m = measureButton(button);
        } else if (auto* combo = qobject_cast<const QComboBox*>(w)) {
            text = combo->currentText();
            if (combo->count() == 0) continue;
            m = measureCombo(combo);
        } else {
            continue;
        }
        if (elidesOnPurpose(w)) m.reason.clear();
        if (m.reason.isEmpty() && cutByParents(w, m.text))
            m.reason = QStringLiteral("drawn outside its window or parent");
        // Contrast is measured where the text shows; a page scrolled away shows it later.
        const QRect shown = m.text & w->visibleRegion().boundingRect();
        if (shown.isEmpty() && m.reason.isEmpty()) continue;
        const QPoint at = w->mapToGlobal(shown.topLeft());
        std::printf("TEXT\t%d\t%d\t%d\t%d\t%d\t%d\t%s\t%s %s \"%s\"\t%d\n", shot, at.x(), at.y(),
                    shown.width(), shown.height(), w->isEnabled() ? 1 : 0,
                    m.reason.isEmpty() ? "-" : m.reason.toUtf8().constData(),
                    w->metaObject()->className(), w->objectName().toUtf8().constData(),
                    visibleText(text).left(60).toUtf8().constData(), shown == m.text ? 1 : 0);
    }
}

// Counts the events of one window's widgets that change what it shows: layout requests,
// resizes, moves, shows and hides, and changes of language, font and style.
class LayoutWatch : public QObject {
  public:
    explicit LayoutWatch(const QWidget* window) : window_(window) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~LayoutWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
    int changes = 0;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (!object->isWidgetType() || static_cast<QWidget*>(object)->window() != window_)
            return false;
        switch (event->type()) {
            case QEvent::LayoutRequest:
            case QEvent::Resize:
            case QEvent::Move:
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::LanguageChange:
            case QEvent::FontChange:
            case QEvent::StyleChange:
            case QEvent::Polish:
                ++changes;
                break;
            default:
                break;
        }
        return false;
    }

  private:
    const QWidget* window_;
};

// Lets the window finish what its last change set off, however long the machine takes: handles
// every posted event until two whole rounds in a row lay nothing out, then paints the whole
// window at once and hands the picture to the X server, so the screen shows what the widgets
// now say.
void settle(QWidget* window) {
    LayoutWatch watch(window);
    for (int quiet = 0, rounds = 0; quiet < 2 && rounds < 10000; ++rounds) {
        const int before = watch.changes;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        quiet = watch.changes == before ? quiet + 1 : 0;
    }
    window->repaint();
    QCoreApplication::processEvents();
}

// The windows and what they show for the check: the control window with its panels, the
// settings form with the custom canvas size popup, the duration entry sheet for many clips, the
// LED cabinet question, the marker name sheet, the name filter popover, the signal monitor with a
// composite snapshot, the pre-show check after the five checks and a soak test, and the manual.
//
// Each pass builds the windows in one language; a pass with a second language shows each window
// in the first, then switches and checks it in the second, as an operator's switch at run time
// leaves them.
struct ScreenAuditChild : test::PreflightFixture {
    int shot = 0;
    std::optional<AppLanguage> switchTo;

    // Shows the window, lists its texts and waits for the parent to take the screenshot; then
    // pages every scroll area down and does the same, until all of them are at their end.
    void audit(QWidget* window, const char* name) {
        const AppLanguage built = LanguageSettings::shared().language();
        window->move(0, 0);
        window->show();
        window->raise();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        QString title = QString::fromUtf8(name);
        settle(window);  // laid out and drawn in the language it was built in
        if (switchTo) {
            LanguageSettings::shared().setLanguage(*switchTo);
            title += QStringLiteral(" after a switch from ") + rawValue(built);
            settle(window);
        }
        for (bool more = true; more;) {
            std::printf("WINDOW\t%d\t%s\t%s\t%d x %d\n", shot, qPrintable(title),
                        qPrintable(rawValue(LanguageSettings::shared().language())),
                        window->width(), window->height());
            report(window, shot);
            std::printf("SHOOT %d\n", shot), std::fflush(stdout);
            const QString done = qEnvironmentVariable("VELMAR_XVFB_AUDIT_DIR") +
                                 QStringLiteral("/shot%1.done").arg(shot);
            // The parent gives up on a shot after two minutes; so does the child.
            ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(done); }, 120000));
            ++shot;
            more = false;
            for (QAbstractScrollArea* area : window->findChildren<QAbstractScrollArea*>()) {
                QScrollBar* bar = area->verticalScrollBar();
                if (!area->isVisible() || bar->value() >= bar->maximum()) continue;
                bar->setValue(bar->value() + bar->pageStep());
                more = true;
            }
            if (auto* area = qobject_cast<QAbstractScrollArea*>(window)) {
                QScrollBar* bar = area->verticalScrollBar();
                if (bar->value() < bar->maximum())
                    bar->setValue(bar->value() + bar->pageStep()), more = true;
            }
            if (more) settle(window);
        }
        window->hide();
        LanguageSettings::shared().setLanguage(built);
    }
};

TEST_F(ScreenAuditChild, ShowsEveryWindow) {
    if (!kAuditChild) GTEST_SKIP() << "run by ScreenAuditXvfbTest";
    AppAppearance::install(*qobject_cast<QApplication*>(QCoreApplication::instance()));
    const std::pair<AppLanguage, std::optional<AppLanguage>> passes[] = {
        {AppLanguage::ja, std::nullopt},
        {AppLanguage::en, std::nullopt},
        {AppLanguage::ja, AppLanguage::en},
        {AppLanguage::en, AppLanguage::ja}};
    for (const auto& [language, second] : passes) {
        LanguageSettings::shared().setLanguage(language);
        switchTo = second;
        {
            test::ControlWindowHarness harness({});
            harness.window.resize(1920, 1080);
            harness.view->resize(1920, 1080);
            audit(&harness.window, "control window");
            std::unique_ptr<QWidget> settings(
                AppViews::makeSettings(harness.app, harness.document));
            audit(settings.get(), "settings");
            SettingsCustomFormatEditor custom;
            audit(&custom, "custom canvas size");

            DurationEditorSheet::Context bulk;
            bulk.bulk = true;
            bulk.targets = [] { return QSet<QUuid>(); };
            bulk.close = [] {};
            DurationEditorSheet duration(harness.app.engine(), bulk);
            audit(&duration, "duration entry");

            // The LED cabinet question with the texts the application state gives it.
            AppDialogs::LEDCabinetPrompt prompt;
            prompt.messageText = localized("LED キャビネットの大きさ");
            prompt.informativeText = localizedFormat(
                "キャビネット（パネル）1 枚の横×縦のピクセル数を入れてください。キャンバス %@ "
                "を左上から区切ります。",
                {QStringLiteral("1920×1080")});
            prompt.widthText = prompt.heightText = QStringLiteral("128");
            LEDCabinetDialog cabinet(prompt);
            audit(&cabinet, "LED cabinet");

            NameSheet marker(localized("マーカーを追加"), QString(), localized("例: B部門"), 260,
                             nullptr);
            audit(&marker, "marker name");
            FilterPopover filter(harness.app.engine().rundown(), [](QObject*, bool) {});
            audit(&filter, "name filter");

            test::FakeClock probeClock;
            SignalProbe probe(probeClock, probeClock);
            // The composite is handed in below, not rendered by the probe's own timer.
            SignalMonitorContext context = SignalMonitorContext::of(harness.app);
            context.canvasEngine = [] { return static_cast<CanvasEngine*>(nullptr); };
            SignalMonitorWindowController monitor(probe, context);
            monitor.show();
            // The first analysis, of a composite (SDI stopped), as the probe would take it.
            for (int i = 0; i < 100 && !probe.snapshot(); ++i) {
                probeClock.advance(0.2);
                if (probe.reserveCapture())
                    probe.capture(*test::bgraBuffer(64, 36,
                                                    [](int x, int) {
                                                        return test::Pixel{x * 4, 90, 160, 255};
                                                    }),
                                  KeyAlphaMode::premultiplied, SignalProbe::Source::composite);
                probe.waitForAnalysis();
                test::drainMainQueue();
            }
            ASSERT_TRUE(probe.snapshot());
            audit(monitor.window(), "signal monitor");
            monitor.window()->close();
            probe.stop();
            test::drainMainQueue();
        }
        {
            setTake(false);
            PreflightWindowController preflight([this] {
                makeRunner();
                return std::move(runner);
            });
            preflight.show();
            PreflightRunner* checks = preflight.runner();
            checks->run();
            checks->runSoak(PreflightView::kSoakSeconds);
            for (int i = 0; i < PreflightView::kSoakSeconds + 1 && checks->soakRemaining() > 0;
                 ++i) {
                output->step(60);
                clock.advance(1.0);
            }
            ASSERT_EQ(checks->items().size(), PreflightRunner::kCheckCount + 1);
            audit(preflight.window(), "pre-show check");
            preflight.window()->close();
        }
        {
            ManualWindowController manual(&LanguageSettings::shared());
            manual.show();
            audit(manual.window(), "manual");
            manual.window()->close();
        }
    }
    std::printf("END\n"), std::fflush(stdout);
}

// WCAG relative luminance of an sRGB colour.
double luminance(QRgb c) {
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of the text in `r`: the commonest colour there is the background, the pixel
// that differs most from it is the text.
double textContrast(const QImage& image, QRect r) {
    r = r.intersected(image.rect());
    if (r.isEmpty()) return 0;
    std::map<QRgb, int> counts;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) ++counts[image.pixel(x, y) & 0xffffff];
    QRgb background = 0;
    int most = 0;
    for (const auto& [colour, n] : counts)
        if (n > most) most = n, background = colour;
    double best = 1;
    for (const auto& [colour, n] : counts) best = std::max(best, contrast(colour, background));
    return best;
}

TEST(ScreenAuditXvfbTest, EveryTextFitsAndStandsOutInBothLanguages) {
    if (kAuditChild) GTEST_SKIP() << "the child";
    if (const QString tool = test::XvfbSession::missingTool(); !tool.isEmpty())
        GTEST_SKIP() << "needs " << tool.toStdString();
    test::XvfbSession x;
    x.start();
    QProcessEnvironment env;
    env.insert("VELMAR_XVFB_AUDIT_CHILD", "1");
    env.insert("VELMAR_XVFB_AUDIT_DIR", x.path(QString()));
    x.startChild("ScreenAuditChild.*", env);
    std::map<int, QImage> shots;
    for (int shot = 0;; ++shot) {
        const QString line = QStringLiteral("SHOOT %1\n").arg(shot);
        if (!x.waitFor(line, 120)) break;
        shots[shot] = x.shoot();
        if (const QString keep = qEnvironmentVariable("VELMAR_XVFB_AUDIT_KEEP"); !keep.isEmpty())
            shots[shot].save(QStringLiteral("%1/shot%2.png").arg(keep).arg(shot));
        QFile done(x.path(QStringLiteral("shot%1.done").arg(shot)));
        ASSERT_TRUE(done.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(x.waitFor("END\n", 60)) << x.output().toStdString();
    // Ten windows in two languages, built in each and switched to it from the other; the
    // settings form and the manual in more than one page.
    ASSERT_GE(shots.size(), 44u);

    int texts = 0;
    std::map<int, QString> windows;
    for (const QString& line : x.output().split(u'\n')) {
        const QStringList f = line.split(u'\t');
        if (f[0] == "WINDOW" && f.size() == 5) {
            windows[f[1].toInt()] = f[2] + " (" + f[3] + ")";
            std::printf("checked: %s, %s, %s\n", qPrintable(f[2]), qPrintable(f[3]),
                        qPrintable(f[4]));
        }
        if (f[0] != "TEXT" || f.size() != 10) continue;
        ++texts;
        const int shot = f[1].toInt();
        const QRect r(f[2].toInt(), f[3].toInt(), f[4].toInt(), f[5].toInt());
        const std::string where = (windows[shot] + ": " + f[8]).toStdString();
        if (f[7] != "-") ADD_FAILURE() << "not whole: " << where << ": " << f[7].toStdString();
        if (f[6] == "1" && f[9] == "1" && r.width() > 2 && r.height() > 2) {
            const double c = textContrast(shots[shot], r);
            if (c < 4.5)
                ADD_FAILURE() << "contrast " << c << ": " << where << " at " << r.x() << ","
                              << r.y() << " (shot " << shot << ")";
        }
    }
    EXPECT_GT(texts, 400);
}

}  // namespace
}  // namespace velmar
