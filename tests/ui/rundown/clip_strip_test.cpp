// The clip strip offscreen: clicks, drags either side of the threshold, file drops, the marker
// sheet, scrolling, thumbnails and a few pixels.
#include "ui/rundown/clip_strip.h"
#include "core/rundown.h"
#include "support/fake_clock.h"
#include "support/qt_printers.h"
#include "ui/rundown/clip_cell.h"

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace velmar {
namespace {

using L = StripLayout;

Clip clip(const QString& name) {
    Clip c;
    c.displayName = name;
    c.url = QUrl::fromLocalFile("/media/" + name + ".png");
    return c;
}

QList<Clip> clips(int n) {
    QList<Clip> out;
    for (int i = 0; i < n; ++i) out << clip(QString::number(i));
    return out;
}

ImageRef picture(QColor color) {
    auto image = std::make_shared<QImage>(16, 9, QImage::Format_RGBA8888_Premultiplied);
    image->fill(color);
    return image;
}

// A cell's tile: the picture fitted over the 0.22 / 0.30 checkerboard with its corners cut, at
// the pixel size of the scale.
TEST(ClipCellTile, FitsThePictureOverTheCheckerWithRoundCorners) {
    auto filled = [](QSize size, QColor colour) {
        QImage image(size, QImage::Format_RGBA8888_Premultiplied);
        image.fill(colour);
        return image;
    };
    auto colours = [](const QImage& tile, QRect area) {
        QSet<QRgb> out;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) out << tile.pixel(x, y);
        return out;
    };
    const QImage halfRed = filled({320, 180}, QColor(255, 0, 0, 128));
    QImage tile = ClipCell::composeTile(&halfRed, 1);
    EXPECT_EQ(tile.size(), QSize(168, 94));
    EXPECT_EQ(colours(tile, {64, 27, 40, 40}), (QSet<QRgb>{qRgb(156, 28, 28), qRgb(166, 38, 38)}));
    EXPECT_EQ(qAlpha(tile.pixel(167, 93)), 0) << "the corner is cut";
    // A 4:3 picture at scale 2: the checker at the sides.
    const QImage blue = filled({400, 300}, QColor(32, 128, 224));
    tile = ClipCell::composeTile(&blue, 2);
    EXPECT_EQ(tile.size(), QSize(336, 188));
    EXPECT_EQ(tile.pixel(168, 94), qRgb(32, 128, 224));
    EXPECT_FALSE(colours(tile, {4, 60, 30, 60}).contains(qRgb(32, 128, 224)));
    EXPECT_EQ(qAlpha(ClipCell::composeTile(nullptr, 1).pixel(0, 0)), 0);
}

struct ClipStripTest : ::testing::Test {
    void SetUp() override {
        ClipGroup one, two;
        one.name = "One";
        one.clips = {clip("A"), clip("B"), clip("C"), clip("D")};
        two.name = "Two";
        two.clips = clips(40);
        rundown.loadGroups({one, two});
        ClipStrip::Services services;
        services.importURLs = [this](const QList<QUrl>& urls, std::optional<int> at) {
            imports.append({urls, at});
        };
        services.thumbnail = [this](const QUrl& url, int, ThumbnailSlots::Completion done) {
            asked << url;
            if (cached)
                done(picture(Qt::red));
            else
                pending.append({url, std::move(done)});
        };
        services.clock = &clock;
        services.timers = &clock;
        strip = std::make_unique<ClipStrip>(rundown, services);
        strip->setRightToLeft(false);
        strip->resize(1000, 220);
        strip->show();
    }

    QStringList order() const {
        QStringList out;
        for (const Clip& c : rundown.groups()[rundown.safeGroupIndex()].clips) out << c.displayName;
        return out;
    }
    void mouse(QEvent::Type type, QPointF content, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
        const QPointF p = strip->toViewport(content);
        QMouseEvent e(type, p, strip->viewport()->mapToGlobal(p),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, mods);
        QApplication::sendEvent(strip->viewport(), &e);
    }
    void click(QPointF content, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        mouse(QEvent::MouseButtonPress, content, Qt::LeftButton, mods);
        mouse(QEvent::MouseButtonRelease, content, Qt::NoButton, mods);
    }
    // The middle of a cell's picture, and the middle of a gap's guide line.
    QPointF cellAt(int i) const { return {strip->stripLayout().cell(i).x + 84, 60}; }
    QPointF gapAt(int g) const { return {strip->stripLayout().gap(g).x + 15, 60}; }
    void drop(QPointF content, const QMimeData& mime) {
        const QPointF p = strip->toViewport(content);
        QDragEnterEvent enter(p.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(strip->viewport(), &enter);
        QDropEvent dropped(p, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(strip->viewport(), &dropped);
    }
    QColor pixel(const QImage& image, QPointF content) const {
        return image.pixelColor(strip->toViewport(content).toPoint());
    }

    test::FakeClock clock;
    Rundown rundown;
    std::unique_ptr<ClipStrip> strip;
    QList<std::pair<QList<QUrl>, std::optional<int>>> imports;
    QList<QUrl> asked;
    QList<std::pair<QUrl, ThumbnailSlots::Completion>> pending;
    bool cached = false;
};

TEST_F(ClipStripTest, PlainCtrlAndShiftClicksSelectAsTheyShould) {
    click(cellAt(2));
    EXPECT_EQ(rundown.clampedNext(), 2);
    click(cellAt(1), Qt::ControlModifier);
    EXPECT_EQ(rundown.reorderSelection(), QSet<QUuid>{rundown.groups()[0].clips[1].id});
    EXPECT_EQ(rundown.clampedNext(), 2) << "a Ctrl click leaves NEXT";
    click(cellAt(1), Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(rundown.reorderSelection().size(), 0) << "Ctrl is tested first: it toggles";
    click(cellAt(1), Qt::ControlModifier);
    click(cellAt(3), Qt::ShiftModifier);
    EXPECT_EQ(rundown.reorderSelection().size(), 3);
    click(cellAt(0));
    EXPECT_TRUE(rundown.reorderSelection().isEmpty());
    EXPECT_FALSE(rundown.selectionAnchor());
    EXPECT_EQ(rundown.clampedNext(), 0);
    click(cellAt(2), Qt::ControlModifier);
    click({strip->stripLayout().endCell().x + 84, 60});
    EXPECT_EQ(rundown.clampedNext(), 4) << "END";
    EXPECT_TRUE(rundown.reorderSelection().isEmpty()) << "END clears the multi-selection";
}

TEST_F(ClipStripTest, DragsMoveOnlyPastTheThresholdAndOnlyAtRelease) {
    QSignalSpy edits(&rundown, &Rundown::clipsChanged);
    // 5 points: a click, nothing moves.
    const QPointF a = cellAt(0);
    mouse(QEvent::MouseButtonPress, a, Qt::LeftButton);
    mouse(QEvent::MouseMove, a + QPointF(3, 4), Qt::LeftButton);
    EXPECT_FALSE(strip->dropTarget());
    mouse(QEvent::MouseButtonRelease, a + QPointF(3, 4), Qt::NoButton);
    EXPECT_EQ(order(), (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(rundown.clampedNext(), 0);

    // Past the threshold the guide follows the pointer; the rundown hears only the release.
    rundown.setSelectedIndex(2);
    mouse(QEvent::MouseButtonPress, a, Qt::LeftButton);
    mouse(QEvent::MouseMove, a + QPointF(7, 0), Qt::LeftButton);
    mouse(QEvent::MouseMove, gapAt(3), Qt::LeftButton);
    EXPECT_EQ(strip->dropTarget(), (StripInsertion{3, std::nullopt, false}));
    EXPECT_EQ(edits.count(), 0);
    mouse(QEvent::MouseButtonRelease, gapAt(3), Qt::NoButton);
    EXPECT_EQ(order(), (QStringList{"B", "C", "A", "D"}));
    EXPECT_EQ(edits.count(), 1);
    EXPECT_FALSE(strip->dropTarget());
    EXPECT_EQ(rundown.groups()[0].clips[rundown.clampedNext()].displayName, "C")
        << "a drag is no click";

    // A marker dragged from gap 1 to gap 3.
    rundown.addMarker(1, "M");
    const auto column = strip->stripLayout().markerColumns(1).front();
    const QPointF m(column.span.x + 60, 60);
    mouse(QEvent::MouseButtonPress, m, Qt::LeftButton);
    mouse(QEvent::MouseMove, gapAt(3), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, gapAt(3), Qt::NoButton);
    EXPECT_EQ(rundown.groups()[0].markers.front().position, 3);
    // Released far below the strip: nothing moves.
    mouse(QEvent::MouseButtonPress, cellAt(0), Qt::LeftButton);
    mouse(QEvent::MouseMove, {gapAt(2).x(), 156 + 40}, Qt::LeftButton);
    EXPECT_FALSE(strip->dropTarget());
    mouse(QEvent::MouseButtonRelease, {gapAt(2).x(), 156 + 40}, Qt::NoButton);
    EXPECT_EQ(order(), (QStringList{"B", "C", "A", "D"}));
}

// A guide lighting up or going out eases out over 0.08 s from where it stands; a timer repaints
// only while some guide is on its way. At half time the curve (0,0)-(0.58,1) stands at 0.6845.
TEST_F(ClipStripTest, DropGuidesEaseOutFromWhereTheyStand) {
    constexpr double kHalf = 0.6845;
    EXPECT_NEAR(ClipStripGuideFade::easeOut(0.5), kHalf, 0.002);
    const QPointF a = cellAt(0);
    mouse(QEvent::MouseButtonPress, a, Qt::LeftButton);
    mouse(QEvent::MouseMove, gapAt(3), Qt::LeftButton);
    EXPECT_EQ(strip->guideLevel(3), 0);
    EXPECT_EQ(clock.activeTimerCount(), 1);
    clock.advance(0.04);
    EXPECT_NEAR(strip->guideLevel(3), kHalf, 0.002);
    // Moving on half-way: gap 3 fades back from where it stood, gap 2 lights from nothing.
    mouse(QEvent::MouseMove, gapAt(2), Qt::LeftButton);
    clock.advance(0.04);
    EXPECT_NEAR(strip->guideLevel(3), kHalf * (1 - kHalf), 0.003);
    EXPECT_NEAR(strip->guideLevel(2), kHalf, 0.002);
    clock.advance(0.1);
    EXPECT_EQ(strip->guideLevel(2), 1);
    EXPECT_EQ(strip->guideLevel(3), 0);
    EXPECT_EQ(clock.activeTimerCount(), 0) << "no repaints once every guide has settled";
    mouse(QEvent::MouseButtonRelease, gapAt(2), Qt::NoButton);
    clock.advance(0.02);
    EXPECT_GT(strip->guideLevel(2), 0) << "the guide also eases out after the release";
    EXPECT_LT(strip->guideLevel(2), 1);
}

TEST_F(ClipStripTest, FilesDroppedOnGapsEndOrElsewhereImportAtTheRightPlace) {
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/x.png"), QUrl("https://example.com/y.png")});
    drop(gapAt(0), files);
    drop({strip->stripLayout().endCell().x + 84, 60}, files);
    drop(cellAt(1), files);
    const QList<QUrl> local{QUrl::fromLocalFile("/tmp/x.png")};
    ASSERT_EQ(imports.size(), 3);
    EXPECT_EQ(imports[0], (std::pair{local, std::optional<int>(0)}));
    EXPECT_EQ(imports[1], (std::pair{local, std::optional<int>(4)}));
    EXPECT_EQ(imports[2], (std::pair{local, std::optional<int>()}));
    // Remote addresses, text or nothing import nothing.
    QMimeData remote, text, empty;
    remote.setUrls({QUrl("https://example.com/y.png")});
    text.setText("/tmp/x.png");
    for (const QMimeData* mime : {&remote, &text, &empty}) {
        drop(gapAt(0), *mime);
        drop(cellAt(1), *mime);
    }
    EXPECT_EQ(imports.size(), 3);
}

TEST_F(ClipStripTest, AddedMarkerLandsBesideItsClipAfterAnImport_Mended) {
    click({strip->stripLayout().gap(2).x + 15, L::kLabelTop + 9});  // the add button of gap 2
    ASSERT_TRUE(strip->openSheet());
    rundown.addClips({clip("new1"), clip("new2")}, 0);  // an import lands meanwhile
    strip->openSheet()->field()->setText("B部");
    strip->openSheet()->okButton()->click();
    const auto& group = rundown.groups()[0];
    ASSERT_EQ(group.markers.size(), 1);
    EXPECT_EQ(group.markers.front().position, 4) << "still before C";
    EXPECT_EQ(group.clips[4].displayName, "C");

    // Renaming by the marker's id; a blank name changes nothing.
    strip->beginRenameMarker(group.markers.front().id);
    strip->openSheet()->field()->setText("  ");
    strip->openSheet()->okButton()->click();
    EXPECT_EQ(rundown.groups()[0].markers.front().name, "B部");
}

TEST_F(ClipStripTest, KeepsNextCentredOnSelectionAndOnEveryTabChange) {
    auto centred = [this](int index) {
        return std::abs(strip->scrollOffset() - strip->stripLayout().scrollOffsetFor(index)) <= 1;
    };
    rundown.setSelectedIndex(3);
    EXPECT_TRUE(centred(3));
    rundown.selectGroup(1);
    EXPECT_TRUE(centred(0));
    rundown.setSelectedIndex(3);
    EXPECT_TRUE(centred(3));
    strip->horizontalScrollBar()->setValue(0);  // the operator scrolls away
    rundown.selectGroup(0);
    rundown.selectGroup(1);  // same index as before, still scrolled back to it
    EXPECT_TRUE(centred(3));
    strip->setRightToLeft(true);
    EXPECT_TRUE(centred(3));
}

TEST_F(ClipStripTest, ThumbnailsAreAskedForVisibleCellsOnlyAndStaleResultsDropped) {
    ClipGroup big;
    big.clips = clips(10000);
    big.markers = {Marker{QUuid::createUuid(), 5000, "half"}};
    rundown.loadGroups({big});
    asked.clear();
    rundown.setSelectedIndex(5000);
    // About five cells fit in 1000 points; with the margin no more than a dozen are asked for.
    EXPECT_GE(asked.size(), 5);
    EXPECT_LE(asked.size(), 13);
    EXPECT_TRUE(strip->isSpinnerRunning());
    strip->grab();
    EXPECT_LE(strip->lastPaintedCells(), 9) << "only the visible cells plus one each side";

    // The cache is emptied while requests are out: the old answers are dropped.
    const auto old = std::exchange(pending, {});
    strip->invalidateThumbnails();
    for (const auto& [url, done] : old) done(picture(Qt::blue));
    EXPECT_TRUE(strip->isSpinnerRunning()) << "stale answers were taken";
    for (const auto& [url, done] : std::exchange(pending, {})) done(picture(Qt::blue));
    EXPECT_FALSE(strip->isSpinnerRunning());

    // A cache hit lands during the request: the spinner never starts.
    cached = true;
    rundown.setSelectedIndex(100);
    EXPECT_FALSE(strip->isSpinnerRunning());
}

TEST_F(ClipStripTest, PaintsAndHitTestsInsideTheTabBeforeItsChangeSignalArrives) {
    // A receiver connected before the strip runs first: the strip's layout is still the old one.
    Rundown other;
    ClipGroup four;
    four.clips = clips(4);
    other.loadGroups({four});
    ClipStrip* view = nullptr;
    int painted = -1;
    QList<MenuEntry> menu;
    QObject::connect(&other, &Rundown::clipsChanged, [&] {
        view->grab();
        painted = view->lastPaintedCells();
        menu = view->menuAt(view->toViewport({view->stripLayout().cell(3).x + 84, 60}).toPoint());
    });
    ClipStrip::Services services;
    services.thumbnail = [](const QUrl&, int, ThumbnailSlots::Completion done) { done(nullptr); };
    ClipStrip strip(other, services);
    view = &strip;
    strip.setRightToLeft(false);
    strip.resize(1000, 220);
    strip.show();
    QSet<QUuid> three;
    for (int i = 1; i < 4; ++i) three.insert(other.groups()[0].clips[i].id);
    other.removeClips(three, 0);
    EXPECT_EQ(painted, 1);
    EXPECT_TRUE(menu.isEmpty()) << "no menu for a clip that is gone";
}

TEST_F(ClipStripTest, PaintsBordersDimmingAndDirection) {
    rundown.setSelectedIndex(1);
    strip->setProgramClipID(rundown.groups()[0].clips[2].id);
    rundown.setFilterText("D");  // A, B and C are dimmed
    QImage image = strip->viewport()->grab().toImage();
    const double mid = L::kTileTop + L::kCellHeight / 2;
    auto border = [&](int i) { return pixel(image, {strip->stripLayout().cell(i).x + 1.5, mid}); };
    // NEXT green, PROGRAM red, each drawn at 0.2 under the filter.
    const QColor dimGreen = border(1), dimRed = border(2);
    EXPECT_GT(dimGreen.green(), dimGreen.red() + 20);
    EXPECT_GT(dimRed.red(), dimRed.green() + 20);
    rundown.setFilterText(QString());
    image = strip->viewport()->grab().toImage();
    EXPECT_GT(border(1).green(), dimGreen.green() + 60) << "bright once it matches";
    EXPECT_GT(border(2).red(), 200);
    rundown.setSelectedIndex(2);
    image = strip->viewport()->grab().toImage();
    EXPECT_GT(border(2).red(), 200) << "PROGRAM red wins over NEXT green";
    EXPECT_LT(border(2).green(), 100);

    // NEXT (green border) begins right of the centre line left to right, left of it right to left.
    const int centre = strip->viewport()->width() / 2;
    const int y = static_cast<int>(mid);
    for (bool rtl : {false, true}) {
        rundown.setSelectedIndex(0);
        strip->setProgramClipID(std::nullopt);
        strip->setRightToLeft(rtl);
        image = strip->viewport()->grab().toImage();
        const QColor left = image.pixelColor(centre - 2, y),
                     right = image.pixelColor(centre + 2, y);
        const QColor& tile = rtl ? left : right;
        const QColor& gap = rtl ? right : left;
        EXPECT_GT(tile.green(), 150) << rtl;
        EXPECT_LT(gap.green(), 80) << rtl;
    }
}

}  // namespace
}  // namespace velmar
