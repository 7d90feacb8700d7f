// The tab bar, its rename sheet and the name-filter popover, and the sequence bar's scrubbing,
// offscreen.
#include "ui/rundown/tab_bar.h"
#include "core/rundown.h"
#include "support/qt_printers.h"
#include "ui/rundown/sequence_bar.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace velmar {
namespace {

ClipGroup tab(const QString& name, QStringList clipNames) {
    ClipGroup g;
    g.name = name;
    for (const QString& n : clipNames) {
        Clip c;
        c.displayName = n;
        g.clips << c;
    }
    return g;
}

struct TabBarTest : ::testing::Test {
    void SetUp() override {
        rundown.loadGroups(
            {tab("One", {"Apple", "apricot", "Berry"}), tab("Two", {}), tab("Three", {})});
        bar = std::make_unique<TabBar>(rundown, [this](QObject* owner, bool open) {
            flags.append({owner, open});
        });
        bar->resize(900, 40);
        bar->show();
    }
    void click(QPointF row) {
        const QPoint p = bar->toWidget(row).toPoint();
        QTest::mouseClick(bar.get(), Qt::LeftButton, Qt::NoModifier, p);
    }

    Rundown rundown;
    std::unique_ptr<TabBar> bar;
    QList<std::pair<QObject*, bool>> flags;
};

TEST_F(TabBarTest, ClicksSelectTabsAndAddNumberedOnes) {
    const TabRowLayout row = bar->rowLayout();
    EXPECT_GT(row.cells[0].rect.height(), row.cells[1].rect.height()) << "the current tab rises";
    click(row.cells[2].rect.center());
    EXPECT_EQ(rundown.currentGroupIndex(), 2);
    click(bar->rowLayout().addButton.center());
    ASSERT_EQ(rundown.groups().size(), 4);
    EXPECT_EQ(rundown.groups()[3].name, "Group 4");
    EXPECT_EQ(rundown.currentGroupIndex(), 3);
}

TEST_F(TabBarTest, RenameSheetRenamesItsOwnTabAfterTabsShift_Mended) {
    const QUuid two = rundown.groups()[1].id;
    bar->beginRename(two);
    ASSERT_TRUE(bar->renameSheet());
    EXPECT_EQ(bar->renameSheet()->field()->text(), "Two");
    rundown.moveGroup(2, -1);  // another tab takes index 1 meanwhile
    bar->renameSheet()->field()->setText("  Zwei  ");
    bar->renameSheet()->okButton()->click();
    EXPECT_EQ(rundown.groups()[2].name, "Zwei") << "passed as typed, trimmed by the rundown";
    EXPECT_EQ(rundown.groups()[1].name, "Three");
}

TEST_F(TabBarTest, FilterPopoverWritesEveryKeystrokeAndHoldsItsOwnEntryFlag_Mended) {
    bar->setFilterRequestToken(5);  // the value found at first show does not open it
    EXPECT_FALSE(bar->filterPopover()->isVisible());
    bar->setFilterRequestToken(5);
    EXPECT_FALSE(bar->filterPopover()->isVisible());
    bar->setFilterRequestToken(6);
    FilterPopover* popover = bar->filterPopover();
    ASSERT_TRUE(popover->isVisible());
    EXPECT_EQ(flags, (QList<std::pair<QObject*, bool>>{{popover, true}}))
        << "the popover sets only its own flag";

    QTest::keyClick(popover->field(), 'a');
    EXPECT_EQ(rundown.filterText(), "a");
    EXPECT_EQ(rundown.filteredCount(), 2);
    QTest::keyClick(popover->field(), 'p');
    EXPECT_EQ(rundown.filterText(), "ap");
    QTest::keyClick(popover->field(), Qt::Key_Return);
    EXPECT_FALSE(popover->isVisible());
    EXPECT_EQ(rundown.filterText(), "ap") << "closing keeps the filter";
    EXPECT_EQ(flags.last(), (std::pair<QObject*, bool>{popover, false}));
    EXPECT_FALSE(bar->rowLayout().filterCount.isEmpty()) << "the count shows while filtering";

    bar->openFilter();
    popover->clearButton()->click();
    EXPECT_EQ(rundown.filterText(), "");
    EXPECT_TRUE(popover->isVisible()) << "解除 keeps the popover up";
    EXPECT_TRUE(bar->rowLayout().filterCount.isEmpty());
    bar->setFilterRequestToken(7);  // already up: stays up
    EXPECT_TRUE(popover->isVisible());
    popover->closeButton()->click();
    EXPECT_FALSE(popover->isVisible());

    // Destroyed while up, it lets go of its flag.
    bar->openFilter();
    flags.clear();
    bar.reset();
    EXPECT_EQ(flags, (QList<std::pair<QObject*, bool>>{{popover, false}}));
}

TEST(SequenceBar, ScrubsLiveAndSelectsAtReleaseOnly) {
    Rundown rundown;
    rundown.loadGroups({tab("One", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"})});
    SequenceBar bar(rundown);
    bar.setRightToLeft(false);
    bar.resize(500, 34);
    bar.show();
    QTest::mousePress(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(175, 10));
    EXPECT_EQ(bar.scrubIndex(), 3);
    EXPECT_EQ(rundown.clampedNext(), 0) << "the rundown hears only the release";
    QMouseEvent move(QEvent::MouseMove, QPointF(700, 10), QPointF(700, 10), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&bar, &move);
    EXPECT_EQ(bar.scrubIndex(), 10);
    QTest::mouseRelease(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(700, 10));
    EXPECT_EQ(rundown.clampedNext(), 10) << "past the end selects END";
    EXPECT_FALSE(bar.scrubIndex());
    bar.setRightToLeft(true);
    QTest::mouseClick(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(480, 10));
    EXPECT_EQ(rundown.clampedNext(), 0) << "right to left clip 0 is at the right";
}

}  // namespace
}  // namespace velmar
