// The pre-show check window over a runner on the fake clock and the virtual card: Return runs
// the checks, the soak countdown, reopening with an empty list, and closing during a soak.
#include "app/preflight_runner_fixture.h"

#include "ui/tools/preflight_status_icon.h"
#include "ui/tools/preflight_view.h"
#include "ui/tools/preflight_window_controller.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace velmar {
namespace {

using Status = PreflightRunner::Item::Status;

class PreflightWindowTest : public test::PreflightFixture {
  protected:
    int openedLogs = 0;
    std::unique_ptr<PreflightWindowController> windows;

    void SetUp() override {
        PreflightFixture::SetUp();
        runner.reset();
        windows = std::make_unique<PreflightWindowController>(
            [this] {
                makeRunner();
                return std::move(runner);
            },
            [this] { ++openedLogs; });
    }
    void TearDown() override {
        windows.reset();
        PreflightFixture::TearDown();
    }

    PreflightView* view() const { return windows->window()->findChild<PreflightView*>(); }
    void close() {
        windows->window()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(PreflightWindowTest, ReturnRunsTheChecksShowKeepsTheWindowAndReopeningStartsEmpty) {
    windows->show();
    QWidget* window = windows->window();
    EXPECT_EQ(window->objectName(), "velmar.preflight");
    EXPECT_EQ(window->windowTitle(), "本番前チェック");
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(view()->soakButton(), Qt::Key_Return);
    ASSERT_EQ(view()->rowCount(), PreflightRunner::kCheckCount);
    EXPECT_TRUE(view()->rowText(0).startsWith("素材の読み込み\n"));
    windows->show();
    EXPECT_EQ(windows->window(), window);
    EXPECT_EQ(view()->rowCount(), PreflightRunner::kCheckCount);
    QTest::mouseClick(view()->logButton(), Qt::LeftButton);
    EXPECT_EQ(openedLogs, 1);
    close();
    windows->show();
    EXPECT_EQ(view()->rowCount(), 0);
}

TEST_F(PreflightWindowTest, TheSoakButtonGivesWayToACountdownUntilTheTestEnds) {
    setTake(false);
    windows->show();
    QTest::mouseClick(view()->soakButton(), Qt::LeftButton);
    EXPECT_TRUE(view()->soakButton()->isHidden());
    EXPECT_EQ(view()->countdownLabel()->text(), "実流し中 残り 30 秒");
    for (int i = 0; i < 30; ++i) {
        if (i == 1) {
            EXPECT_EQ(view()->countdownLabel()->text(), "実流し中 残り 29 秒");
        }
        output->step(60);
        clock.advance(1.0);
    }
    EXPECT_FALSE(view()->soakButton()->isHidden());
    ASSERT_EQ(view()->rowCount(), 1);
    EXPECT_EQ(view()->rowText(0), "SDI 実流し\n30 秒間、落ちフレームなし");
}

// Mended: at the window's default size the soak line added under the five check lines stayed
// below the list's lower edge until the operator scrolled.
TEST_F(PreflightWindowTest, TheSoakLineAddedUnderTheChecksIsScrolledIntoView) {
    setTake(false);
    windows->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(windows->window()));
    QTest::mouseClick(view()->checkButton(), Qt::LeftButton);
    QTest::mouseClick(view()->soakButton(), Qt::LeftButton);
    for (int i = 0; i < PreflightView::kSoakSeconds; ++i) {
        output->step(60);
        clock.advance(1.0);
    }
    ASSERT_EQ(view()->rowCount(), PreflightRunner::kCheckCount + 1);
    QWidget* soak = view()->rowWidget(PreflightRunner::kCheckCount);
    for (int i = 0; i < 20 && soak->visibleRegion().boundingRect() != soak->rect(); ++i)
        QTest::qWait(10);
    EXPECT_EQ(soak->visibleRegion().boundingRect(), soak->rect());
    EXPECT_EQ(view()->rowText(PreflightRunner::kCheckCount),
              "SDI 実流し\n30 秒間、落ちフレームなし");
}

// Mended: closing the window during a soak test dropped the runner without an end line, and an
// output the test had started kept running.
TEST_F(PreflightWindowTest, ClosingTheWindowEndsTheSoakTest) {
    setTake(false);
    windows->show();
    QTest::mouseClick(view()->soakButton(), Qt::LeftButton);
    ASSERT_TRUE(host.running);
    close();
    EXPECT_EQ(windows->runner(), nullptr);
    EXPECT_FALSE(host.running);
    EXPECT_EQ(logLinesWith("SOAK END"), QStringList({"SOAK END  dropped=0"}));
}

TEST(PreflightStatusIcon, DrawsTheSymbolsInTheStatusColour) {
    const QImage check = PreflightStatusIcon::pixmap(Status::ok, 16, 1).toImage();
    EXPECT_EQ(check.pixelColor(8, 2), PreflightStatusIcon::color(Status::ok));
    EXPECT_EQ(check.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(check.pixelColor(7, 10), QColor(Qt::white));  // the tick cut into the disc

    const QImage pending = PreflightStatusIcon::pixmap(Status::pending, 16, 1).toImage();
    EXPECT_EQ(pending.pixelColor(8, 8).alpha(), 0);  // an open ring
    EXPECT_GT(pending.pixelColor(8, 1).alpha(), 200);

    const QImage failed = PreflightStatusIcon::pixmap(Status::failed, 32, 2).toImage();
    EXPECT_EQ(failed.size(), QSize(64, 64));
    EXPECT_EQ(failed.pixelColor(32, 8), PreflightStatusIcon::color(Status::failed));
}

}  // namespace
}  // namespace velmar
