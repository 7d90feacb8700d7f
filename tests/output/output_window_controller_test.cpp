#include "output/output_window_controller.h"
#include "canvas/canvas_fixture.h"
#include "fake_screens.h"
#include "output/canvas_metal_view.h"
#include "output/cursor_shield_view.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

namespace velmar::test {
namespace {

struct OutputWindowControllerTest : CanvasFixture {
    FakeScreenProvider screens;
    FakeInhibitor inhibitor;
    std::unique_ptr<OutputWindowController> controller;

    void SetUp() override {
        CanvasFixture::SetUp();
        screens.add("A", {0, 0, 640, 360});
        screens.add("B", {640, 0, 400, 300});
        screens.add("C", {1040, 0, 320, 200});
        screens.windows.append({QStringLiteral("DOVRINE — Untitled"), "A"});
        screens.windows.append({QStringLiteral("DOVRINE"), "C"});  // not the control window's title
        OutputWindowController::Options options;
        options.screens = &screens;
        options.inhibitor = &inhibitor;
        options.clock = &clock;
        options.timers = &clock;
        controller = std::make_unique<OutputWindowController>(*canvas, options);
    }
};

TEST_F(OutputWindowControllerTest, RefusesTheControlWindowsScreenAndScreensThatAreGone) {
    ASSERT_TRUE(controller->open("B"));
    QWidget* window = controller->window();
    for (const char* refused : {"A", "gone"}) {
        SCOPED_TRACE(refused);
        EXPECT_FALSE(controller->open(refused));
        EXPECT_EQ(controller->window(), window) << "the open window stays";
        EXPECT_EQ(controller->currentScreen(), "B");
        EXPECT_TRUE(canvas->outputWindowIsOpen());
    }
    controller->close();
    EXPECT_FALSE(controller->open("A"));
    EXPECT_FALSE(controller->isOpen());
    EXPECT_FALSE(canvas->outputWindowIsOpen());
    EXPECT_EQ(inhibitor.reasons.size(), 1);
}

TEST_F(OutputWindowControllerTest, CoversTheScreenAndMovesKeepingOneInhibition) {
    ASSERT_TRUE(controller->open("B"));
    QPointer<QWidget> first = controller->window();
    EXPECT_EQ(first->geometry(), QRect(640, 0, 400, 300));
    EXPECT_TRUE(first->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(first->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(first->testAttribute(Qt::WA_QuitOnClose));
    EXPECT_TRUE(canvas->outputWindowIsOpen());
    EXPECT_EQ(inhibitor.reasons, QStringList{"DOVRINE サブモニター出力中"});

    ASSERT_TRUE(controller->open("C"));
    EXPECT_TRUE(first.isNull()) << "the old window is gone";
    EXPECT_EQ(controller->window()->geometry(), QRect(1040, 0, 320, 200));
    EXPECT_EQ(inhibitor.reasons.size(), 1);
    EXPECT_TRUE(inhibitor.released.empty());

    controller->close();
    controller->close();
    EXPECT_EQ(inhibitor.released, std::vector<uint32_t>{7});
    EXPECT_FALSE(canvas->outputWindowIsOpen());
    EXPECT_FALSE(controller->isOpen());

    // The chroma key persists across openings and shows at once.
    controller->setChromaKey(true, {1, 0, 1});
    // Without an inhibition the window opens all the same.
    inhibitor.available = false;
    EXPECT_TRUE(controller->open("B"));
    EXPECT_EQ(controller->outputView()->solidBackgroundColor(), (std::array<float, 3>{1, 0, 1}));
    controller->setChromaKey(false, {1, 0, 1});
    EXPECT_EQ(controller->outputView()->solidBackgroundColor(), (std::array<float, 3>{0, 0, 0}));
    controller->close();
    EXPECT_EQ(inhibitor.released.size(), 1u);
}

// Once closed, the controller no longer touches the canvas: a second close, or the destructor
// after a close, may come after the canvas engine has gone (a program ending its outputs).
TEST_F(OutputWindowControllerTest, AClosedWindowLeavesTheCanvasAlone) {
    ASSERT_TRUE(controller->open("B"));
    controller->close();
    ASSERT_FALSE(canvas->outputWindowIsOpen());
    // From here the flag is not the controller's: whoever set it keeps it.
    canvas->setOutputWindowIsOpen(true);
    controller->close();
    EXPECT_TRUE(canvas->outputWindowIsOpen());
    controller.reset();
    EXPECT_TRUE(canvas->outputWindowIsOpen());
}

TEST_F(OutputWindowControllerTest, TheShieldHidesThePointerAndSwallowsClicksAndWheels) {
    ASSERT_TRUE(controller->open("B"));
    QWidget* window = controller->window();
    CursorShieldView* shield = controller->cursorShield();
    ASSERT_TRUE(shield);
    EXPECT_EQ(shield->geometry(), window->rect());
    EXPECT_EQ(shield->cursor().shape(), Qt::BlankCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The shield is what the pointer meets over the picture.
    EXPECT_EQ(window->childAt(window->rect().center()), shield);

    struct Counter : QObject {
        int reached = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick ||
                e->type() == QEvent::Wheel || e->type() == QEvent::ContextMenu)
                ++reached;
            return false;
        }
    } counter;
    window->installEventFilter(&counter);
    QTest::mouseClick(shield, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(shield, Qt::RightButton, {}, QPoint(10, 10));
    QTest::mouseDClick(shield, Qt::MiddleButton, {}, QPoint(10, 10));
    QWheelEvent wheel(QPointF(10, 10), shield->mapToGlobal(QPointF(10, 10)), {}, {0, 120},
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(shield, &wheel);
    EXPECT_TRUE(wheel.isAccepted());
    EXPECT_EQ(counter.reached, 0) << "events went past the shield";
}

}  // namespace
}  // namespace velmar::test
