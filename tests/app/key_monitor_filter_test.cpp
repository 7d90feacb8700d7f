// Key presses through the real application filter, with the real menu bar installed.
#include "app/key_monitor.h"
#include "app/menu_bar_builder.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <optional>

namespace velmar {
namespace {

using Kind = KeyAction::Kind;
using Command = MenuDescription::Command;

class KeyMonitorFilter : public ::testing::Test {
  protected:
    void SetUp() override {
        window.setObjectName("main");
        menus = std::make_unique<MenuBarBuilder>(
            *window.menuBar(),
            [this](const MenuDescription::Item& item) { menuRuns << item.command; });
        menus->refresh({});
        auto* central = new QWidget;
        auto* layout = new QVBoxLayout(central);
        field = new QLineEdit;
        strip = new QWidget;  // stands for a focusable view that ignores keys
        strip->setFocusPolicy(Qt::StrongFocus);
        layout->addWidget(field);
        layout->addWidget(strip);
        window.setCentralWidget(central);
        window.show();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        strip->setFocus();

        KeyMonitor::Hooks hooks;
        hooks.flags = [this] { return flags; };
        hooks.perform = [this](const KeyAction& action) { performed << action.kind; };
        hooks.titleEditorHandleKey = [this](QKeyEvent* press) {
            ++titleEditorCalls;
            titleEditorKeys << press->key();
            return false;
        };
        // The stand-in editor takes Ctrl+S (its own save) and nothing else.
        hooks.titleEditorTakesKey = [](QKeyEvent* press) {
            return press->key() == Qt::Key_S && press->modifiers() == Qt::ControlModifier;
        };
        monitor = std::make_unique<KeyMonitor>(nullptr, hooks);
        monitor->start();
        monitor->start();
    }
    void TearDown() override { monitor->stop(); }

    void hold(QWidget* target, Qt::Key key, int repeats) {
        QTest::simulateEvent(target, true, key, Qt::NoModifier, QString(), false);
        for (int i = 0; i < repeats; ++i)
            QTest::simulateEvent(target, true, key, Qt::NoModifier, QString(), true);
        QTest::simulateEvent(target, false, key, Qt::NoModifier, QString(), false);
    }

    // A key event as an X server delivers it: with a scan code and the server's time, which the
    // release and the press of one auto-repeat share.
    static void x11(QWidget* target, bool press, Qt::Key key, quint64 time, bool marked = false,
                    Qt::KeyboardModifiers modifiers = {}) {
        const auto event = [&](QEvent::Type type) {
            QKeyEvent e(type, key, modifiers, 9 + key % 200, 0, 0, QString(), marked);
            e.setTimestamp(time);
            // As from the platform: the press brings no override of Qt's making.
            QSpontaneKeyEvent::setSpontaneous(&e);
            qApp->notify(target, &e);
        };
        if (press) event(QEvent::ShortcutOverride);
        event(press ? QEvent::KeyPress : QEvent::KeyRelease);
    }

    // Opens `menu` with one item over the window and presses Alt in it, which closes it.
    void pressAltInOpenMenu(QMenu& menu) {
        menu.addAction("one");
        menu.popup(window.mapToGlobal(QPoint(10, 10)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
        QTest::simulateEvent(&menu, true, Qt::Key_Alt, Qt::AltModifier, QString(), false);
    }

    QMainWindow window;
    QLineEdit* field = nullptr;
    QWidget* strip = nullptr;
    std::unique_ptr<MenuBarBuilder> menus;
    std::unique_ptr<KeyMonitor> monitor;
    KeyMonitor::Flags flags;
    QList<Kind> performed;
    QList<Command> menuRuns;
    int titleEditorCalls = 0;
    QList<int> titleEditorKeys;
};

TEST_F(KeyMonitorFilter, OnePressGivesOneCommandWithTheMenusInstalled) {
    QTest::keyClick(strip, Qt::Key_Space);
    QTest::keyClick(strip, Qt::Key_Return);
    QTest::keyClick(strip, Qt::Key_F12, Qt::ControlModifier);
    EXPECT_EQ(performed,
              (QList<Kind>{Kind::spacePressed, Kind::returnPressed, Kind::toggleSignalMonitor}));
    EXPECT_TRUE(menuRuns.isEmpty());  // the menu's Ctrl+F12 did not toggle a second time
}

TEST_F(KeyMonitorFilter, HeldTakeKeysRunOnceAndHeldArrowsRepeat) {
    hold(strip, Qt::Key_V, 4);
    hold(strip, Qt::Key_Space, 4);
    hold(strip, Qt::Key_Right, 2);
    EXPECT_EQ(performed, (QList<Kind>{Kind::cutToggle, Kind::spacePressed, Kind::selectNext,
                                      Kind::selectNext, Kind::selectNext}));
}

// Typing in a rename or filter field keeps its keys, and its editing shortcuts beat the menu's
// Ctrl+A and Ctrl+Backspace, which would otherwise select or delete clips on the strip.
TEST_F(KeyMonitorFilter, FocusedEditorKeepsItsKeysAndEditingShortcuts) {
    field->setFocus();
    QTest::keyClicks(field, "v 1");
    EXPECT_EQ(field->text(), "v 1");
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field->selectedText(), "v 1");
    field->setText("hello world");
    field->end(false);
    QTest::keyClick(field, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "hello ");
    EXPECT_TRUE(performed.isEmpty());
    EXPECT_TRUE(menuRuns.isEmpty());

    // Away from the field the same shortcuts are the menu's, and Ctrl+A waits for a number entry.
    strip->setFocus();
    QTest::keyClick(strip, Qt::Key_Backspace, Qt::ControlModifier);
    QTest::keyClick(strip, Qt::Key_A, Qt::ControlModifier);
    menus->refresh({.isNumberEntryOpen = true});
    QTest::keyClick(strip, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(menuRuns, (QList<Command>{Command::deleteSelection, Command::selectAll}));
}

// A list closes on the ShortcutOverride of Return and Escape, before their presses arrive: the
// presses are still the list's. The same keys pressed next, with no list open, are commands.
TEST_F(KeyMonitorFilter, AKeyThatBeginsInAnOpenListIsTheListsAndTheNextIsNot) {
    auto* list = new QComboBox;
    list->addItems({"one", "two"});
    window.centralWidget()->layout()->addWidget(list);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        list->showPopup();
        ASSERT_TRUE(list->view()->isVisible());
        const qsizetype before = performed.size();
        QTest::keyClick(list->view(), key);
        EXPECT_FALSE(list->view()->isVisible());
        EXPECT_EQ(performed.size(), before);
        QTest::keyClick(strip, key);
    }
    EXPECT_EQ(performed, (QList<Kind>{Kind::returnPressed, Kind::panicOff}));
}

// A key held from a field goes on repeating after focus has left it, also while a modifier is
// pressed and let go during the hold: none of its repeats is a command.
TEST_F(KeyMonitorFilter, RepeatsOfAKeyHeldFromAFieldStayItsAcrossAModifier) {
    field->setFocus();
    QTest::simulateEvent(field, true, Qt::Key_Escape, Qt::NoModifier, QString(), false);
    strip->setFocus();
    QTest::simulateEvent(strip, true, Qt::Key_Escape, Qt::NoModifier, QString(), true);
    QTest::simulateEvent(strip, true, Qt::Key_Shift, Qt::ShiftModifier, QString(), false);
    QTest::simulateEvent(strip, true, Qt::Key_Escape, Qt::ShiftModifier, QString(), true);
    QTest::simulateEvent(strip, false, Qt::Key_Shift, Qt::NoModifier, QString(), false);
    QTest::simulateEvent(strip, true, Qt::Key_Escape, Qt::NoModifier, QString(), true);
    QTest::simulateEvent(strip, false, Qt::Key_Escape, Qt::NoModifier, QString(), false);
    EXPECT_TRUE(performed.isEmpty());
    QTest::keyClick(strip, Qt::Key_Escape);  // pressed afresh on the strip: a command
    EXPECT_EQ(performed, QList<Kind>{Kind::panicOff});
}

// An X server sends a release before each auto-repeat, and the pair is not always marked as a
// repeat: a held Return cuts once, and a held Esc begun in an open list stays the list's. What
// opens during a held key (a dialog, or the box a menu item chosen by that key puts up) gets
// none of its repeats.
TEST_F(KeyMonitorFilter, AHeldKeyEndsOnlyAtItsRealReleaseAndWhatOpensDuringItGetsNoneOfItsRepeats) {
    x11(strip, true, Qt::Key_Return, 100);
    for (quint64 t : {600, 633}) {
        x11(strip, false, Qt::Key_Return, t);
        x11(strip, true, Qt::Key_Return, t);
    }
    x11(strip, false, Qt::Key_Return, 650);
    EXPECT_EQ(performed, QList<Kind>{Kind::returnPressed});
    x11(strip, true, Qt::Key_Return, 900);  // pressed again after its real release
    x11(strip, false, Qt::Key_Return, 950);
    EXPECT_EQ(performed, (QList<Kind>{Kind::returnPressed, Kind::returnPressed}));

    auto* list = new QComboBox;
    list->addItems({"one", "two"});
    window.centralWidget()->layout()->addWidget(list);
    for (bool marked : {true, false}) {
        list->showPopup();
        x11(list->view(), true, Qt::Key_Escape, 1000);
        ASSERT_FALSE(list->view()->isVisible());
        for (quint64 t : {1500, 1533}) {
            x11(strip, false, Qt::Key_Escape, t, marked);
            x11(strip, true, Qt::Key_Escape, t, marked);
        }
        x11(strip, false, Qt::Key_Escape, 1550);
    }
    EXPECT_EQ(performed.size(), 2);

    performed.clear();
    x11(strip, true, Qt::Key_Right, 2000);
    QDialog dialog(&window);
    dialog.setModal(true);
    dialog.show();
    x11(&dialog, true, Qt::Key_Right, 2500, true);
    dialog.hide();
    x11(strip, false, Qt::Key_Right, 2550);
    EXPECT_EQ(performed, QList<Kind>{Kind::selectNext});

    QMenu menu(&window);
    QDialog box(&window);
    box.setModal(true);
    auto* answer = new QPushButton("Save", &box);
    answer->setDefault(true);
    int answered = 0;
    QObject::connect(answer, &QPushButton::clicked, [&] { ++answered; });
    menu.setActiveAction(menu.addAction("Quit", [&] { box.show(); }));
    menu.popup(window.mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    x11(&menu, true, Qt::Key_Return, 3000);
    ASSERT_TRUE(box.isVisible());
    for (bool marked : {false, true}) {
        const quint64 t = marked ? 3533 : 3500;
        x11(answer, false, Qt::Key_Return, t, marked);
        x11(answer, true, Qt::Key_Return, t, marked);
    }
    x11(answer, false, Qt::Key_Return, 3550);
    EXPECT_EQ(answered, 0);
    EXPECT_TRUE(box.isVisible());
    x11(answer, true, Qt::Key_Return, 4000);  // pressed afresh: the box's
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(performed, QList<Kind>{Kind::selectNext});
}

// Alt pressed in an open menu closes it; the Esc or Return pressed with that Alt is still the
// menu's. Once Alt is let go, Esc is panic again.
TEST_F(KeyMonitorFilter, KeysPressedWithAnAltBegunInAnOpenMenuAreNotCommands) {
    QMenu menu(&window);
    pressAltInOpenMenu(menu);
    ASSERT_FALSE(menu.isVisible());
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        QTest::simulateEvent(strip, true, key, Qt::AltModifier, QString(), false);
        QTest::simulateEvent(strip, false, key, Qt::AltModifier, QString(), false);
    }
    QTest::simulateEvent(strip, false, Qt::Key_Alt, Qt::NoModifier, QString(), false);
    EXPECT_TRUE(performed.isEmpty());
    QTest::keyClick(strip, Qt::Key_Escape);
    EXPECT_EQ(performed, QList<Kind>{Kind::panicOff});
}

// The window may lose the keyboard before an Alt pressed in a menu is let go, and never see its
// release: the first key that comes without Alt shows it is up, and runs the show.
TEST_F(KeyMonitorFilter, AnAltLetGoUnseenEndsAtTheFirstKeyWithoutIt) {
    QMenu menu(&window);
    pressAltInOpenMenu(menu);
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space}) QTest::keyClick(strip, key);
    EXPECT_EQ(performed, (QList<Kind>{Kind::panicOff, Kind::returnPressed, Kind::spacePressed}));
}

// A menu bar left with Esc may keep the focus with nothing chosen (nothing had it before): it
// holds the keyboard no longer, and Esc, Return and Space run the show.
TEST_F(KeyMonitorFilter, AMenuBarWithTheFocusAndNothingChosenLeavesTheKeysToTheShow) {
    QMenuBar* bar = window.menuBar();
    bar->setFocus();
    ASSERT_EQ(bar->activeAction(), nullptr);
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space}) QTest::keyClick(bar, key);
    EXPECT_EQ(performed, (QList<Kind>{Kind::panicOff, Kind::returnPressed, Kind::spacePressed}));
}

// A menu opened with the mouse, then the next one along the menu bar, reached by sliding or
// with an arrow key the menu hands on to the menu bar: Esc out of that one hands the keyboard
// back to the window too, and the next Esc is panic.
TEST_F(KeyMonitorFilter, EscOutOfTheMenuNextToAMouseOpenedOneGivesTheKeyboardBack) {
    QMenuBar* bar = window.menuBar();
    const auto title = [bar](int i) { return bar->actionGeometry(bar->actions().at(i)).center(); };
    const QPoint at = bar->mapToGlobal(title(1));
    // The last round as on an X server without a window manager, where a closed dialog leaves
    // no window active and keys go to the window's focus child all the same.
    for (const auto& [slide, inactive] : {std::pair{true, false}, {false, false}, {true, true}}) {
        if (inactive) QApplication::setActiveWindow(nullptr);
        QTest::mouseClick(bar, Qt::LeftButton, {}, title(0));
        QCoreApplication::processEvents();  // the platform's activation of each menu it opens
        QWidget* first = QApplication::activePopupWidget();
        ASSERT_NE(first, nullptr);
        if (slide) {
            QMouseEvent move(QEvent::MouseMove, first->mapFromGlobal(at), at, {}, {}, {});
            QApplication::sendEvent(first, &move);  // the menu hands it on to the menu bar
        } else {
            QTest::keyClick(first, Qt::Key_Right);
        }
        QCoreApplication::processEvents();
        QWidget* second = QApplication::activePopupWidget();
        ASSERT_TRUE(second && second != first);
        QTest::keyClick(second, Qt::Key_Escape);
        QCoreApplication::processEvents();
        EXPECT_EQ(window.focusWidget(), strip) << slide << inactive;
        QTest::keyClick(window.focusWidget(), Qt::Key_Escape);
    }
    EXPECT_EQ(performed, (QList<Kind>{Kind::panicOff, Kind::panicOff, Kind::panicOff}));
}

// Qt builds every key event from the X server at the same place, so a new press can come at the
// address of the last one, and where the keyboard fell to the parent of the widget that took it.
TEST_F(KeyMonitorFilter, ANewPressAtTheAddressOfTheLastIsDecidedAfresh) {
    std::optional<QKeyEvent> event;
    const auto click = [&](QWidget* target, Qt::Key key, quint64 time) {
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            event.emplace(type, key, Qt::NoModifier, 9 + key % 200, 0, 0);
            event->setTimestamp(time);
            QSpontaneKeyEvent::setSpontaneous(&*event);
            qApp->notify(target, &*event);
        }
    };
    field->setText("ab");
    field->setFocus();
    click(field, Qt::Key_Left, 1000);  // the field's own, taken there
    QWidget* panel = field->parentWidget();
    panel->setFocusPolicy(Qt::StrongFocus);
    panel->setFocus();
    click(panel, Qt::Key_Space, 2000);
    EXPECT_EQ(performed, QList<Kind>{Kind::spacePressed});
}

// A press the first receiver ignores travels up to its parents, and the filter sees it at each;
// the title editor must still be asked once.
TEST_F(KeyMonitorFilter, DecidesOncePerPressAlongItsWayUpAndStopsWhenStopped) {
    QWidget editor;
    editor.setObjectName("dovrine.titleEditor");
    auto* inner = new QWidget(&editor);
    auto* innermost = new QWidget(inner);
    innermost->setFocusPolicy(Qt::StrongFocus);
    editor.show();
    QApplication::setActiveWindow(&editor);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    innermost->setFocus();
    QTest::keyClick(innermost, Qt::Key_X);
    QTest::keyClick(innermost, Qt::Key_X);
    EXPECT_EQ(titleEditorCalls, 2);

    monitor->stop();
    QApplication::setActiveWindow(&window);
    QTest::keyClick(strip, Qt::Key_Space);
    EXPECT_TRUE(performed.isEmpty());
}

// The menu shortcuts work from any window of the program, except the keys a title editor in
// front takes for itself.
TEST_F(KeyMonitorFilter, MenuShortcutsReachOtherWindowsButNotTheTitleEditorsOwnKeys) {
    QWidget tool;
    tool.setObjectName("dovrine.signal-monitor");
    tool.show();
    QApplication::setActiveWindow(&tool);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&tool));
    QTest::keyClick(&tool, Qt::Key_T, Qt::ControlModifier);
    QTest::keyClick(&tool, Qt::Key_Period, Qt::ControlModifier);
    EXPECT_EQ(menuRuns, (QList<Command>{Command::addTab, Command::panicOff}));

    menuRuns.clear();
    QWidget editor;
    editor.setObjectName("dovrine.titleEditor");
    editor.show();
    QApplication::setActiveWindow(&editor);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    QTest::keyClick(&editor, Qt::Key_S, Qt::ControlModifier);  // the editor's
    EXPECT_TRUE(titleEditorKeys.contains(Qt::Key_S));
    EXPECT_TRUE(menuRuns.isEmpty());
    QTest::keyClick(&editor, Qt::Key_T, Qt::ControlModifier);  // not the editor's: the menu's
    EXPECT_FALSE(titleEditorKeys.contains(Qt::Key_T));
    EXPECT_EQ(menuRuns, QList<Command>{Command::addTab});
}

}  // namespace
}  // namespace velmar
