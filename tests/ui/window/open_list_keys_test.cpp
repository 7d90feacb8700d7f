// The assembled application on air: the motion list under the transition keypad opened with a
// click, and keys pressed on the window the way the platform delivers them (a ShortcutOverride,
// then the press). A key that begins in the open list is the list's, even when the list has
// closed before its press arrives; with no list open the same keys run the show.
#include "app/app_state.h"
#include "app/dovrine_app.h"
#include "core/dsk_controller.h"
#include "core/playout_engine.h"
#include "core/rundown.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "platform/base/user_defaults.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/test_media.h"
#include "ui/app_views.h"
#include "ui/controls/elided_combo_box.h"
#include "ui/panels/motion_profile_panel.h"
#include "ui/window/content_view.h"
#include "ui/xvfb_session.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>

namespace velmar {
namespace {

const bool kListChild = qEnvironmentVariableIsSet("VELMAR_XVFB_LIST_CHILD");

struct OpenListKeys : ::testing::Test {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("defaults.json")};
    AppState app{environment()};
    std::unique_ptr<DovrineApp> dovrine;
    QMainWindow* main = nullptr;
    QComboBox* list = nullptr;
    AppLanguage language = LanguageSettings::shared().language();

    AppState::Environment environment() {
        AppState::Environment e;
        e.defaults = &defaults;
        e.noCanvas = true;
        e.useSdiCard = true;
        e.installScreenObservers = false;
        e.isSandboxed = [] { return false; };
        return e;
    }

    // Clip A on air by cut, B as NEXT, a still ready in the keyer.
    void SetUp() override {
        DovrineApp::Views views;
        views.mainContent = [this](DocumentWorkflow& document, QWidget* parent) -> QWidget* {
            return AppViews::makeContent(app, document, parent);
        };
        dovrine = std::make_unique<DovrineApp>(views, DovrineApp::Services{&app, nullptr, [] {}});
        main = dovrine->mainWindow();
        main->resize(1400, 900);
        main->show();
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main));
        dovrine->delegate().applicationDidFinishLaunching();
        list = main->findChild<MotionProfilePanel*>()->defaultMotionBox();

        Rundown& rundown = app.engine().rundown();
        if (rundown.groups().isEmpty()) rundown.addGroup("Group 1");
        QList<Clip> clips;
        for (const char* name : {"A", "B", "C", "D"}) {
            Clip clip;
            clip.url = QUrl::fromLocalFile(test::TestMedia::still("png"));
            clip.displayName = name;
            clip.kind = Clip::Kind::still;
            clips << clip;
        }
        rundown.addClips(clips);
        rundown.setSelectedIndex(0);
        app.engine().dsk().load(clips[0].url);
        test::waitFor([this] { return !app.engine().dsk().isLoading(); });
        settle();
        app.engine().returnPressed();
        settle();
        ASSERT_EQ(show(), "on A B keyer 0");
    }
    void TearDown() override {
        for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
        dovrine.reset();
        LanguageSettings::shared().setLanguage(language);
    }

    void settle() {
        test::waitFor([this] {
            return app.engine().nextMedia().has_value() && !app.engine().isNextLoading();
        });
    }
    // Program state and clip, NEXT, and the keyer.
    QString show() {
        PlayoutEngine& engine = app.engine();
        const auto next = engine.rundown().selectedClip();
        return QStringLiteral("%1 %2 %3 keyer %4")
            .arg(PlayoutEngine::rawValue(engine.state()),
                 engine.programClip() ? engine.programClip()->displayName : "-",
                 next ? next->displayName : "-")
            .arg(int(engine.dsk().isActive()));
    }
    void openList() {
        QTest::mouseClick(list, Qt::LeftButton);
        ASSERT_TRUE(list->view()->isVisible());
    }
    // The window the platform gives the keys to: the list's own while it is open.
    static QWindow* keyWindow(QWidget* main) {
        QWindow* focus = QGuiApplication::focusWindow();
        return focus ? focus : main->windowHandle();
    }
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(keyWindow(main), Qt::Key(key), modifiers);
    }
    bool barHasKeyboard() const {
        return main->menuBar()->hasFocus() && main->menuBar()->activeAction();
    }
};

TEST_F(OpenListKeys, KeysThatBeginInTheOpenListAreTheLists) {
    struct Key {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool closes;  // what the list does with it
    };
    for (const Key& k : {Key{Qt::Key_Escape, {}, true}, Key{Qt::Key_Return, {}, true},
                         Key{Qt::Key_Enter, Qt::KeypadModifier, true},
                         Key{Qt::Key_Return, Qt::AltModifier, true}, Key{Qt::Key_Space, {}, false},
                         Key{Qt::Key_Right, {}, false}, Key{Qt::Key_B, {}, false}}) {
        SCOPED_TRACE(QKeySequence(k.key | k.modifiers).toString().toStdString());
        openList();
        press(k.key, k.modifiers);
        EXPECT_EQ(show(), "on A B keyer 0");
        EXPECT_EQ(list->view()->isVisible(), !k.closes);
        list->hidePopup();
    }

    // Down and Return choose the next motion and close the list; the show goes on as it was.
    openList();
    const int next = list->currentIndex() + 1;
    press(Qt::Key_Down);
    press(Qt::Key_Return);
    EXPECT_FALSE(list->view()->isVisible());
    EXPECT_EQ(list->currentIndex(), next);
    EXPECT_EQ(int(MotionKind::Value(app.engine().defaultMotion())), list->itemData(next).toInt());
    EXPECT_EQ(show(), "on A B keyer 0");

    // A held Escape repeats after the list has closed: the repeats are the list's too.
    openList();
    QTest::simulateEvent(keyWindow(main), true, Qt::Key_Escape, {}, QString(), false);
    for (int i = 0; i < 3; ++i)
        QTest::simulateEvent(keyWindow(main), true, Qt::Key_Escape, {}, QString(), true);
    QTest::simulateEvent(keyWindow(main), false, Qt::Key_Escape, {}, QString(), false);
    EXPECT_FALSE(list->view()->isVisible());
    EXPECT_EQ(show(), "on A B keyer 0");
}

TEST_F(OpenListKeys, WithNoListOpenTheSameKeysRunTheShow) {
    openList();
    press(Qt::Key_Escape);  // the list's
    press(Qt::Key_Escape);
    EXPECT_EQ(show(), "off - B keyer 0");
    press(Qt::Key_Return);
    settle();
    EXPECT_EQ(show(), "on B C keyer 0");
    press(Qt::Key_Enter, Qt::KeypadModifier);
    settle();
    EXPECT_EQ(show(), "on C D keyer 0");
    press(Qt::Key_B);
    EXPECT_EQ(show(), "on C D keyer 1");
    press(Qt::Key_Space);
    EXPECT_NE(show(), "on C D keyer 1");
}

// The closed list shows as much of a long motion name as fits, cut with "…"; its items and the
// open list keep the whole names.
TEST_F(OpenListKeys, TheClosedListCutsLongNamesWithAnEllipsis) {
    auto* box = qobject_cast<ElidedComboBox*>(list);
    ASSERT_NE(box, nullptr);
    for (AppLanguage language : {AppLanguage::en, AppLanguage::ja}) {
        LanguageSettings::shared().setLanguage(language);
        int cut = 0;
        for (MotionKind motion : MotionKind::allCases()) {
            const int index = box->findData(int(MotionKind::Value(motion)));
            box->setCurrentIndex(index);
            const QString whole = localized(motion.titleKey());
            SCOPED_TRACE(whole.toStdString());
            EXPECT_EQ(box->itemText(index), whole);
            const QString shown = box->shownText();
            EXPECT_LE(box->fontMetrics().horizontalAdvance(shown), box->width());
            if (shown == whole) continue;
            ++cut;
            ASSERT_TRUE(shown.endsWith(QChar(0x2026)));
            EXPECT_TRUE(whole.startsWith(shown.chopped(1)));
        }
        EXPECT_GE(cut, 4);  // the four slides at least
        box->showPopup();
        EXPECT_LE(box->view()->sizeHintForColumn(0), box->view()->viewport()->width());
        box->hidePopup();
    }
}

// The same application on an X server, driven by xdotool from the test below.
struct OpenListKeysOnX : OpenListKeys {
    void SetUp() override {
        if (!kListChild) GTEST_SKIP() << "run by OpenListKeysXvfbTest";
        OpenListKeys::SetUp();
    }
};

// Says "LIST x y" (the motion list's centre on the screen) and "BAR x y" (the first menu's title),
// then a line "SHOW ..." with the show, whether the list is open, whether the menu bar holds the
// keyboard, whether a menu is open and the chosen motion each time one of them changes.
TEST_F(OpenListKeysOnX, Child) {
    const QPoint centre = list->mapToGlobal(list->rect().center());
    std::printf("LIST %d %d\n", centre.x(), centre.y());
    QMenuBar* bar = main->menuBar();
    const QPoint title = bar->mapToGlobal(bar->actionGeometry(bar->actions().first()).center());
    std::printf("BAR %d %d\n", title.x(), title.y());
    QString last;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QString line = QStringLiteral("SHOW %1 list %2 bar %4 menu %5 motion %3")
                                 .arg(show())
                                 .arg(int(list->view()->isVisible()))
                                 .arg(list->currentIndex())
                                 .arg(int(barHasKeyboard()))
                                 .arg(int(QApplication::activePopupWidget() != nullptr));
        if (line == last) return;
        last = line;
        std::printf("%s\n", qPrintable(line)), std::fflush(stdout);
    });
    watch.start(20);
    QTimer::singleShot(90000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

// The next whole line of the child's output, after `from`, that holds `text`; empty when none
// comes within `seconds` or the child has ended.
QString nextLine(test::XvfbSession& x, qsizetype& from, const QString& text, int seconds = 60) {
    for (int i = 0; i < seconds * 5; ++i) {
        const qsizetype at = x.output().indexOf(text, from);
        const qsizetype end = at < 0 ? -1 : x.output().indexOf('\n', at);
        if (end >= 0) {
            const qsizetype start = x.output().lastIndexOf('\n', at) + 1;
            from = end;
            return x.output().mid(start, end - start);
        }
        x.drain(200);
    }
    return {};
}

// The child above on its own X server, with its window focused.
struct OnX {
    test::XvfbSession x;
    qsizetype from = 0;
    QStringList list, bar;  // "LIST x y", "BAR x y"
    QString first;          // the first SHOW line

    void start() {
        x.start();
        QProcessEnvironment env;
        env.insert("VELMAR_XVFB_LIST_CHILD", "1");
        x.startChild("OpenListKeysOnX.*", env);
        ASSERT_TRUE(x.waitFor("SHOW")) << x.output().toStdString();
        list = nextLine(x, from, "LIST ").split(' ');
        bar = nextLine(x, from, "BAR ").split(' ');
        ASSERT_EQ(list.size() + bar.size(), 6) << x.output().toStdString();
        first = nextLine(x, from, "SHOW ");
        ASSERT_TRUE(first.startsWith("SHOW on A B keyer 0 list 0 bar 0 menu 0"))
            << x.output().toStdString();
        const QString window = x.xdotool({"search", "--name", "^DOVRINE"}).split('\n').first();
        ASSERT_FALSE(window.isEmpty());
        x.xdotool({"windowfocus", "--sync", window});
    }
    // Clicks at `place` until `opened` shows: on a busy machine the server may still be mapping
    // the window when the first click comes, and the click is lost.
    QString click(const QStringList& place, const QString& opened) {
        QString line;
        for (int attempt = 0; attempt < 4 && line.isEmpty(); ++attempt) {
            x.xdotool({"mousemove", place[1], place[2]});
            x.xdotool({"click", "1"});
            line = nextLine(x, from, opened, 5);
        }
        return line;
    }
    QString next(const QString& text) { return nextLine(x, from, text); }
};

TEST(OpenListKeysXvfbTest, RealKeysInTheOpenListStayInIt) {
    if (kListChild) GTEST_SKIP() << "the child";
    if (const QString tool = test::XvfbSession::missingTool(); !tool.isEmpty())
        GTEST_SKIP() << "needs " << tool.toStdString();
    OnX on;
    ASSERT_NO_FATAL_FAILURE(on.start());
    test::XvfbSession& x = on.x;
    qsizetype& from = on.from;
    const QString& first = on.first;
    const auto openList = [&] { return on.click(on.list, "list 1"); };

    ASSERT_FALSE(openList().isEmpty()) << x.output().toStdString();
    x.xdotool({"key", "Escape"});
    EXPECT_TRUE(nextLine(x, from, "list 0").startsWith("SHOW on A B keyer 0 list 0"))
        << x.output().toStdString();

    ASSERT_FALSE(openList().isEmpty()) << x.output().toStdString();
    x.xdotool({"key", "Down", "Return"});
    const QString chosen = nextLine(x, from, "list 0");
    EXPECT_TRUE(chosen.startsWith("SHOW on A B keyer 0 list 0")) << x.output().toStdString();
    EXPECT_NE(chosen.section(' ', -1), first.section(' ', -1));  // another motion

    // With the list closed the keys are the show's again.
    x.xdotool({"key", "Return"});
    EXPECT_FALSE(nextLine(x, from, "SHOW on B C keyer 0").isEmpty()) << x.output().toStdString();
    x.xdotool({"key", "Escape"});
    EXPECT_FALSE(nextLine(x, from, "SHOW off - C keyer 0").isEmpty()) << x.output().toStdString();
}

// Alt alone, a menu opened with the mouse and left with Esc or Alt+Esc, and a held Return, with
// real keys: the show changes only at the plain Esc and Return meant for it.
TEST(OpenListKeysXvfbTest, RealKeysInTheMenuBarStayThereAndAHeldReturnCutsOnce) {
    if (kListChild) GTEST_SKIP() << "the child";
    if (const QString tool = test::XvfbSession::missingTool(); !tool.isEmpty())
        GTEST_SKIP() << "needs " << tool.toStdString();
    OnX on;
    ASSERT_NO_FATAL_FAILURE(on.start());
    const auto keys = [&](const QStringList& keys) { on.x.xdotool(QStringList{"key"} + keys); };
    const auto out = [&] { return on.x.output().toStdString(); };

    keys({"alt"});
    ASSERT_FALSE(on.next("bar 1 menu 0").isEmpty()) << out();
    keys({"Escape"});
    EXPECT_TRUE(on.next("bar 0 menu 0").startsWith("SHOW on A B keyer 0")) << out();
    for (const char* key : {"Return", "KP_Enter", "space"}) {
        SCOPED_TRACE(key);
        keys({"alt"});
        ASSERT_FALSE(on.next("bar 1 menu 0").isEmpty()) << out();
        keys({QString(key)});  // opens the menu
        ASSERT_FALSE(on.next("menu 1").isEmpty()) << out();
        keys({"Escape"});  // back to the menu bar
        ASSERT_FALSE(on.next("bar 1 menu 0").isEmpty()) << out();
        keys({"Escape"});  // and out of it
        EXPECT_TRUE(on.next("bar 0 menu 0").startsWith("SHOW on A B keyer 0")) << out();
    }
    for (const char* key : {"alt+Escape", "alt+Return"}) {
        ASSERT_FALSE(on.click(on.bar, "menu 1").isEmpty()) << out();
        keys({key});
        EXPECT_TRUE(on.next("menu 0").startsWith("SHOW on A B keyer 0")) << out();
    }
    ASSERT_FALSE(on.click(on.bar, "menu 1").isEmpty()) << out();
    keys({"Escape"});
    EXPECT_TRUE(on.next("bar 0 menu 0").startsWith("SHOW on A B keyer 0")) << out();

    // Return held past the server's repeat delay cuts once; the Right pressed after it shows
    // where the show stands.
    on.x.xdotool({"keydown", "Return"});
    on.x.drain(1500);
    on.x.xdotool({"keyup", "Return"});
    keys({"Right"});
    EXPECT_FALSE(on.next("SHOW on B D").isEmpty()) << out();
    keys({"Escape"});
    EXPECT_FALSE(on.next("SHOW off - D").isEmpty()) << out();
}

}  // namespace
}  // namespace velmar
