// The scaled design surface: scale, surface size and the places of the rows, panes and dividers.
#include "ui/window/main_layout.h"
#include "models/frame_rate.h"
#include "ui/controls/background_level.h"
#include "ui/window/app_state_window_model.h"
#include "ui/window/content_view.h"

#include <QMimeData>

#include <gtest/gtest.h>

namespace velmar {
namespace {

MainLayout layoutFor(QSizeF window, double column = 160, double columnHeight = 0,
                     bool programOnLeft = false) {
    MainLayout::Input input;
    input.window = window;
    input.centerColumnWidth = column;
    input.centralColumnHeight = columnHeight;
    input.programOnLeft = programOnLeft;
    return MainLayout::compute(input);
}

TEST(MainLayout, ScaleAndSurfaceNeverEnlargeAndKeepOneDesignSide) {
    struct Case {
        QSizeF window;
        double s;
        QSizeF surface;
    };
    for (const Case& c :
         {Case{{1920, 1080}, 1080.0 / 1260, {2240, 1260}},
          Case{{960, 540}, 540.0 / 1260, {2240, 1260}},
          Case{{1600, 1000}, 1000.0 / 1260, {2016, 1260}}, Case{{1280, 840}, 2.0 / 3, {1920, 1260}},
          Case{{1920, 1260}, 1, {1920, 1260}}, Case{{3840, 2520}, 1, {3840, 2520}},
          Case{{0, 0}, 1, {0, 0}}, Case{{1920, 0}, 1, {0, 0}}}) {
        const MainLayout layout = layoutFor(c.window);
        EXPECT_NEAR(layout.s, c.s, 1e-12) << c.window.width() << "x" << c.window.height();
        EXPECT_NEAR(layout.surface.width(), c.surface.width(), 1e-9);
        EXPECT_NEAR(layout.surface.height(), c.surface.height(), 1e-9);
    }
}

TEST(MainLayout, InformationBarAndSignCentreInWindowPixels) {
    struct Case {
        QSizeF window;
        double margin, barBottom, centreX;
    };
    // Bar s is 1904/1150 at a 1920-unit surface (content 149 + 12) and 1.9 at 2000 and more.
    for (const Case& c : {Case{{1920, 1260}, 8, 169, 960}, Case{{1600, 1000}, 6.349, 140.1, 800},
                          Case{{1280, 840}, 16.0 / 3, 169 * 2.0 / 3, 640}}) {
        const MainLayout layout = layoutFor(c.window);
        const QRectF bar = layout.infoBar;
        EXPECT_NEAR(bar.top() * layout.s, c.margin, 0.01);
        EXPECT_NEAR(bar.left() * layout.s, c.margin, 0.01);
        EXPECT_NEAR(bar.bottom() * layout.s, c.barBottom, 0.1);
        EXPECT_NEAR(bar.center().x() * layout.s, c.centreX, 0.01);
    }
}

TEST(MainLayout, PreviewRowHoldsPanesDividersAndColumnInOrderAndSwapsPanes) {
    const MainLayout layout = layoutFor({1920, 1260}, 200, 300);
    EXPECT_DOUBLE_EQ(layout.leftPane.width(), layout.rightPane.width());
    EXPECT_DOUBLE_EQ(layout.leftDivider.left(), layout.leftPane.right() + 10);
    EXPECT_DOUBLE_EQ(layout.leftDivider.width(), 11);
    EXPECT_DOUBLE_EQ(layout.centralColumn.left(), layout.leftDivider.right() + 10);
    EXPECT_DOUBLE_EQ(layout.centralColumn.width(), 200);
    EXPECT_DOUBLE_EQ(layout.rightDivider.left(), layout.centralColumn.right() + 10);
    EXPECT_DOUBLE_EQ(layout.rightPane.left(), layout.rightDivider.right() + 10);
    EXPECT_NEAR(layout.rightPane.right(), 1912, 1e-9);
    EXPECT_NEAR(layout.centralColumn.center().y(), layout.previewRow.center().y(), 1e-9);
    // PROGRAM at the right by default, with its controls under it.
    EXPECT_EQ(layout.programPane(), layout.rightPane);
    EXPECT_EQ(layout.programControls(), layout.underRight);
    EXPECT_DOUBLE_EQ(layout.keyerBar.width(), 200);
    EXPECT_NEAR(layout.keyerBar.center().x(), layout.centralColumn.center().x(), 1e-9);
    EXPECT_DOUBLE_EQ(layout.keyerPanel.width(), 190);
    EXPECT_DOUBLE_EQ(layout.clipStrip.right() + 8, layout.keyerPanel.left());
    EXPECT_NEAR(layout.statusBar.bottom(), 1252, 1e-9);

    const MainLayout swapped = layoutFor({1920, 1260}, 200, 300, true);
    EXPECT_EQ(swapped.programPane(), swapped.leftPane);
    EXPECT_EQ(swapped.programControls(), swapped.underLeft);
    EXPECT_EQ(swapped.centralColumn, layout.centralColumn);
}

TEST(MainLayout, PreviewRowIsAtLeast340AndAsTallAsTheColumn) {
    // The surface is always 1260 or more high, so the row has room for 340 at any window
    // size; a column taller than the room makes the row as tall and pushes the rows below.
    EXPECT_NEAR(layoutFor({3000, 700}).previewRow.height(), 597, 1e-9);
    const MainLayout tall = layoutFor({3000, 700}, 160, 700);
    EXPECT_DOUBLE_EQ(tall.previewRow.height(), 700);
    EXPECT_DOUBLE_EQ(tall.centralColumn.top(), tall.previewRow.top());
    EXPECT_GT(tall.statusBar.bottom(), tall.surface.height());
}

TEST(ContentView, FrameBudgetIsOneFramePeriodElseOneSixtieth) {
    EXPECT_DOUBLE_EQ(ContentView::frameBudget({24000, 1001}), 1001.0 / 24000);
    EXPECT_DOUBLE_EQ(ContentView::frameBudget({25, 1}), 0.04);
    EXPECT_DOUBLE_EQ(ContentView::frameBudget({60000, 0}), 1.0 / 60);
    EXPECT_DOUBLE_EQ(ContentView::frameBudget({0, 1001}), 1.0 / 60);
    EXPECT_DOUBLE_EQ(ContentView::frameBudget({-30, 1}), 1.0 / 60);
}

TEST(ContentView, TitleAndDisplayNameOfTheProjectFile) {
    EXPECT_EQ(ContentView::windowTitleFor(AppStateWindowModel::displayNameFor(
                  QUrl::fromLocalFile("/shows/Show.tavrendek"))),
              QStringLiteral("DOVRINE — Show"));
    EXPECT_EQ(ContentView::windowTitleFor(AppStateWindowModel::displayNameFor(QUrl())),
              QStringLiteral("DOVRINE — Untitled"));
}

TEST(BackgroundLevel, FourGreysClampedToTheTable) {
    struct Case {
        int level;
        int grey;
    };
    for (const Case& c :
         {Case{-2, 5}, Case{0, 5}, Case{1, 31}, Case{2, 56}, Case{3, 89}, Case{9, 89}}) {
        EXPECT_EQ(BackgroundLevel::base(c.level).green(), c.grey) << c.level;
    }
}

TEST(ContentView, DroppedDataYieldsOnlyLocalFiles) {
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/a/one.png"), QUrl("https://example.com/two.png"),
                   QUrl::fromLocalFile("/a/three.mov")});
    EXPECT_EQ(ContentView::droppedFiles(files), (QList<QUrl>{QUrl::fromLocalFile("/a/one.png"),
                                                             QUrl::fromLocalFile("/a/three.mov")}));
    QMimeData text;
    text.setText(QStringLiteral("/a/one.png"));
    EXPECT_TRUE(ContentView::droppedFiles(text).isEmpty());
}

TEST(ContentView, MovedOffsetsFollowTheDragOnlyWhereTargetsAgree) {
    // 96 right and 54 down on a canvas shown at 960 x 540.
    auto moved = ContentView::movedOffsets(0.0, 0.0, {96, 54}, {960, 540});
    ASSERT_TRUE(moved.x && moved.y);
    EXPECT_DOUBLE_EQ(*moved.x, 0.1);
    EXPECT_DOUBLE_EQ(*moved.y, -0.1);
    moved = ContentView::movedOffsets(std::nullopt, 0.25, {50, -27}, {500, 270});
    EXPECT_FALSE(moved.x);
    EXPECT_DOUBLE_EQ(*moved.y, 0.35);
    moved = ContentView::movedOffsets(0.0, 0.0, {10, 10}, {0, 540});
    EXPECT_FALSE(moved.x || moved.y);
}

}  // namespace
}  // namespace velmar
