// What the SDI output controller touches once stopped, and what its watch tells about a card
// that records nothing.
#include "deck_link_controller_fixture.h"

#include "models/localized.h"
#include "support/event_loop.h"

#include <QFile>
#include <QTemporaryDir>

namespace velmar {
namespace {

class DeckLinkControllerNoticeTest : public test::ControllerFixture {
  protected:
    // A card that records into `folder`, and a controller that keeps what it tells.
    void useRecordingCard(const QString& folder) {
        controller.reset();
        VirtualSdiConfig config = test::controllerCard();
        config.recordDirectory = folder.toStdString();
        card = std::make_unique<VirtualSdiCard>(config);
        output = card->deviceAtIndex(0)->output();
        controller = std::make_unique<DeckLinkController>(*canvas, card.get());
        controller->onNotice = [this](const QString& text) { notices << text; };
        controller->writeLog = [this](const QString& line) { logLines << line; };
    }

    // The recorder's writer looks at the folder soon after the output starts.
    bool awaitRecordingProblem() {
        return test::waitUntil([this] { return !output->recordingProblem().empty(); }, 60);
    }

    QStringList notices;
    QStringList logLines;
};

TEST_F(DeckLinkControllerNoticeTest, AStoppedControllerLeavesTheCanvasClockAlone) {
    setTake(false);
    start(SDIBitDepth::eightBit);
    controller->stop();
    ASSERT_FALSE(canvas->deckLinkOwnsClock());

    // From here the canvas is no longer the controller's: whoever holds its clock now (or a
    // canvas already gone) is not touched by a second stop, nor by the destructor.
    canvas->setDeckLinkClock(true, 0.5);
    controller->stop();
    EXPECT_TRUE(canvas->deckLinkOwnsClock());
    controller.reset();
    EXPECT_TRUE(canvas->deckLinkOwnsClock());
    EXPECT_DOUBLE_EQ(canvas->deckLinkFramePeriod(), 0.5);
}

TEST_F(DeckLinkControllerNoticeTest,
       AFolderThatCannotBeWrittenIsToldOncePerStartWhileTheOutputRuns) {
    QTemporaryDir dir;
    // Under a regular file: no folder can be made there, even by root.
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = dir.filePath("file/takes");
    useRecordingCard(folder);
    setTake(false);
    start(SDIBitDepth::eightBit);

    const QString reason = folder + QStringLiteral(": Not a directory");
    ASSERT_TRUE(awaitRecordingProblem());
    controller->watchOutput();
    EXPECT_TRUE(controller->isRunning());
    EXPECT_EQ(notices,
              QStringList{localizedFormat("SDI 出力中ですが、録画できていません: %@", {reason})});
    EXPECT_EQ(logLines, QStringList{QStringLiteral("SDI RECORD  FAILED, ") + reason});

    output->step(1);
    controller->watchOutput();
    EXPECT_TRUE(controller->isRunning());
    EXPECT_EQ(notices.size(), 1) << "told once";

    // The next start is told again.
    start(SDIBitDepth::eightBit);
    ASSERT_TRUE(awaitRecordingProblem());
    controller->watchOutput();
    EXPECT_EQ(notices.size(), 2);
    EXPECT_EQ(logLines.size(), 2);
}

TEST_F(DeckLinkControllerNoticeTest, AWritableFolderIsNotTold) {
    QTemporaryDir dir;
    useRecordingCard(dir.path());
    setTake(false);
    start(SDIBitDepth::eightBit);
    output->step(3);
    // Written, so the folder has been looked at.
    ASSERT_TRUE(test::waitUntil([this] { return output->counters().recordedFrames == 3; }, 60));
    controller->watchOutput();
    EXPECT_EQ(notices, QStringList());
    EXPECT_EQ(logLines, QStringList());
}

}  // namespace
}  // namespace velmar
