// The NEXT pane: content size, placement, floors, handles, the corner drag, and the gestures
// of the widget, rotated pictures included.
#include "ui/window/preview_pane.h"
#include "output/canvas_metal_view.h"
#include "ui/control_window_harness.h"
#include "ui/window/live_preview_pane.h"
#include "ui/window/pane_view.h"
#include "ui/window/preview_pane_geometry.h"

#include "ui/mouse_drag.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>

namespace velmar {
namespace {

using Geo = PreviewPaneGeometry;
using PaneKind = Geo::Media::Kind;

TEST(PreviewPaneGeometry, ContentSizeOfStillsMoviesAndNothing) {
    const CanvasFormat canvas{1920, 1080};
    struct Case {
        Geo::Media media;
        QSizeF expected;
    };
    // k = 0.5: the canvas shown at 960 x 540.
    for (const Case& c : {Case{{PaneKind::still, {3840, 2160}, false}, {1920, 1080}},
                          Case{{PaneKind::movie, {3840, 2160}, true}, {960, 540}},
                          Case{{PaneKind::movie, {1280, 720}, true}, {640, 360}},
                          Case{{PaneKind::movie, {1280, 720}, false}, {0, 0}},
                          Case{{PaneKind::movie, {0, 720}, true}, {0, 0}},
                          Case{{PaneKind::none, {100, 100}, false}, {0, 0}}}) {
        EXPECT_EQ(Geo::contentSize(c.media, canvas, 0.5), c.expected)
            << int(c.media.kind) << " " << c.media.pixelSize.width();
    }
}

TEST(PreviewPaneGeometry, FloorsHandlesAndGrabArea) {
    EXPECT_DOUBLE_EQ(Geo::effectiveScale(0.02), 0.05);
    EXPECT_DOUBLE_EQ(Geo::effectiveScale(0.05), 0.05);
    EXPECT_DOUBLE_EQ(Geo::effectiveScale(1, -0.99), 0.05);
    EXPECT_DOUBLE_EQ(Geo::effectiveScale(1, 0.5), 1.5);
    EXPECT_FALSE(Geo::showsHandles({40, 300}));
    EXPECT_TRUE(Geo::showsHandles({44, 44}));
    EXPECT_EQ(Geo::grabSize({10, 10}), QSizeF(28, 28));
    EXPECT_EQ(Geo::hitTest({13, -13}, {10, 10}, 0).hit, Geo::Hit::move);
    EXPECT_EQ(Geo::hitTest({15, 0}, {10, 10}, 0).hit, Geo::Hit::none);
    const auto handle = Geo::hitTest({52, 28}, {100, 60}, 0);
    EXPECT_EQ(handle.hit, Geo::Hit::handle);
    EXPECT_EQ(handle.corner, QPointF(1, 1));
    // Turned a quarter clockwise, the bottom-right corner stands at the bottom-left on screen.
    const auto turned = Geo::hitTest({-30, 50}, {100, 60}, 90);
    EXPECT_EQ(turned.hit, Geo::Hit::handle);
    EXPECT_EQ(turned.corner, QPointF(1, 1));
}

TEST(PreviewPaneGeometry, PlacementKeepsTheAnchorPointAsTheScaleChanges) {
    ClipTransform t;
    t.offsetX = 0.1;
    t.offsetY = -0.1;
    const QPointF centre = Geo::placement({960, 540}, t, {0, 0}, {200, 100}, 1, {});
    EXPECT_NEAR(centre.x(), 96, 1e-9);
    EXPECT_NEAR(centre.y(), 54, 1e-9);
    // Anchor (1, 1) at half scale: the bottom-right corner stays where it was at scale 1.
    const QPointF anchored =
        Geo::placement({960, 540}, ClipTransform{}, {1, 1}, {200, 100}, 0.5, {});
    EXPECT_NEAR(anchored.x() + 0.5 * 200 * 0.5, 100, 1e-9);
    EXPECT_NEAR(anchored.y() + 0.5 * 100 * 0.5, 50, 1e-9);
}

TEST(PreviewPaneGeometry, CornerDragScalesAlongTheDiagonalWithTheFloor) {
    const QSizeF content(200, 100);
    // Outward by the diagonal's own length: f = 2.
    auto r = Geo::resize({1, 1}, {200, 100}, content, 1, {0, 0}, 0);
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->delta, 1, 1e-12);
    EXPECT_NEAR(r->shift.x(), 100, 1e-9);
    EXPECT_NEAR(r->shift.y(), 50, 1e-9);
    // Across the diagonal: no change.
    r = Geo::resize({1, 1}, {100, -200}, content, 1, {0, 0}, 0);
    EXPECT_NEAR(r->delta, 0, 1e-12);
    // Through the opposite corner: 5 % of the starting scale.
    r = Geo::resize({1, 1}, {-400, -200}, content, 2, {0, 0}, 0);
    EXPECT_NEAR(r->delta, 2 * (0.05 - 1), 1e-12);
    // A scale of 0.02 measures from 0.05.
    r = Geo::resize({1, 1}, {10, 5}, content, 0.02, {0, 0}, 0);
    EXPECT_NEAR(r->delta, 0.05 * (1 + (10 * 10 + 5 * 5) / (10.0 * 10 + 5 * 5)) - 0.05, 1e-12);
    EXPECT_FALSE(Geo::resize({1, 1}, {10, 10}, {0, 0}, 1, {0, 0}, 0));
}

// Where corner (sx, sy) of the picture stands on screen, relative to the canvas centre.
QPointF cornerOnScreen(QPointF corner, QSizeF content, double eff, QPointF anchor, double degrees,
                       QPointF live) {
    const QPointF centre = Geo::placement({960, 540}, ClipTransform{}, anchor, content, eff, live);
    const QPointF local(corner.x() * content.width() * eff / 2,
                        corner.y() * content.height() * eff / 2);
    return centre + Geo::toScreen(local, degrees);
}

TEST(PreviewPaneGeometry, RotatedCornerDragKeepsTheOppositeCornerInPlace) {
    const QSizeF content(200, 100);
    for (double degrees : {0.0, 90.0, 30.0, -135.0}) {
        for (const QPointF anchor : {QPointF(0, 0), QPointF(1, 1), QPointF(-0.5, 0.25)}) {
            // Drag the bottom-right handle outward along its on-screen diagonal.
            const QPointF diagonal = Geo::toScreen({200, 100}, degrees);
            const auto r = Geo::resize({1, 1}, diagonal * 0.5, content, 1, anchor, degrees);
            ASSERT_TRUE(r);
            EXPECT_NEAR(r->delta, 0.5, 1e-9) << degrees;
            const QPointF before = cornerOnScreen({-1, -1}, content, 1, anchor, degrees, {});
            const QPointF after =
                cornerOnScreen({-1, -1}, content, 1 + r->delta, anchor, degrees, r->shift);
            EXPECT_NEAR(after.x(), before.x(), 1e-9) << degrees << " " << anchor.x();
            EXPECT_NEAR(after.y(), before.y(), 1e-9) << degrees << " " << anchor.x();
        }
    }
}

TEST(PaneView, CanvasRectFitsTheCanvasIntoTheBoxAndIsEmptyWithoutSize) {
    const QRectF box(0, 0, 1600, 900);
    const QRectF wide = PaneView::canvasRect(box, {4096, 2160});
    EXPECT_DOUBLE_EQ(wide.width(), 1600);
    EXPECT_DOUBLE_EQ(wide.height(), 843.75);
    EXPECT_DOUBLE_EQ(wide.center().y(), 450);
    EXPECT_EQ(PaneView::canvasRect(box, {1280, 720}), box);
    EXPECT_TRUE(PaneView::canvasRect(box, {0, 1080}).isEmpty());
    EXPECT_TRUE(PaneView::canvasRect(box, {1920, -1}).isEmpty());
    EXPECT_TRUE(PaneView::canvasRect(QRectF(0, 0, 0, 0), {1920, 1080}).isEmpty());
    const QRectF paneBox = PaneView::canvasBox({1000, 600});
    EXPECT_NEAR(paneBox.width() / paneBox.height(), 16.0 / 9, 1e-9);
    EXPECT_LE(paneBox.bottom(), 600 - 25 - 6 + 1e-9);
}

struct MoveRecord {
    int moves = 0, resizes = 0;
    QSizeF translation, canvas;
    double delta = 0;
    QSizeF shift;
};

class EditablePane : public ::testing::Test {
  protected:
    void SetUp() override {
        auto image = std::make_shared<QImage>(960, 540, QImage::Format_RGBA8888_Premultiplied);
        image->fill(Qt::white);
        pane.setMedia(PlayoutMedia::still(image));
        pane.setCanvas({1920, 1080});
        pane.setEditable(true);
        pane.resize(1000, 600);
        pane.onMove = [this](QSizeF t, QSizeF c) {
            ++record.moves;
            record.translation = t;
            record.canvas = c;
        };
        pane.onResize = [this](double d, QSizeF s, QSizeF c) {
            ++record.resizes;
            record.delta = d;
            record.shift = s;
            record.canvas = c;
        };
    }
    PreviewPane pane{QStringLiteral("NEXT"), Qt::green};
    MoveRecord record;
};

TEST_F(EditablePane, MoveReportsOnceAtTheEndInCanvasAxesEvenWhenRotated) {
    ClipTransform t;
    t.rotation = 90;
    pane.setTransform(t);
    const QPointF start = pane.pictureCentre();
    test::MouseDrag drag(pane, start);
    drag.moveTo(start + QPointF(1, 1));  // under 2 units: nothing yet
    EXPECT_EQ(pane.pictureCentre(), start);
    drag.moveTo(start + QPointF(50, 0));
    // The picture follows the pointer to the right, not upward.
    EXPECT_NEAR(pane.pictureCentre().x(), start.x() + 50, 1e-9);
    EXPECT_NEAR(pane.pictureCentre().y(), start.y(), 1e-9);
    EXPECT_EQ(record.moves, 0);
    drag.release(start + QPointF(60, 0));
    EXPECT_EQ(record.moves, 1);
    EXPECT_EQ(record.translation, QSizeF(60, 0));
    EXPECT_EQ(record.canvas, pane.canvasRect().size());
    EXPECT_EQ(pane.pictureCentre(), start) << "falls back until a new transform arrives";
}

TEST_F(EditablePane, TinyDragsCallNothingAndAnUneditablePaneTakesNoDrag) {
    const QPointF start = pane.pictureCentre();
    test::MouseDrag(pane, start).release(start + QPointF(1, 1));
    EXPECT_EQ(record.moves, 0);
    pane.setEditable(false);
    test::MouseDrag drag(pane, start);
    drag.moveTo(start + QPointF(40, 0));
    drag.release(start + QPointF(40, 0));
    EXPECT_EQ(record.moves, 0);
    EXPECT_FALSE(pane.showsEditor());
}

TEST_F(EditablePane, CornerDragReportsTheScaleAndShiftOnceAndANewTransformEndsLiveState) {
    const QPointF centre = pane.pictureCentre();
    const QSizeF picture = pane.pictureSize();
    const QPointF corner = centre + QPointF(picture.width() / 2, picture.height() / 2);
    test::MouseDrag drag(pane, corner);
    drag.moveTo(corner + QPointF(picture.width(), picture.height()));
    EXPECT_NEAR(pane.pictureSize().width(), 2 * picture.width(), 1e-9);
    drag.release(corner + QPointF(picture.width(), picture.height()));
    EXPECT_EQ(record.resizes, 1);
    EXPECT_NEAR(record.delta, 1, 1e-9);
    EXPECT_NEAR(record.shift.width(), picture.width() / 2, 1e-9);
    EXPECT_NEAR(record.shift.height(), picture.height() / 2, 1e-9);
    EXPECT_EQ(pane.pictureSize(), picture);
}

// The scaled copy kept between paints keeps the still's transparency: a half-transparent red
// shows both checker squares through it, an opaque blue covers them.
TEST(PreviewPane, KeptPictureLetsTheCheckerThroughOnlyWhereTheStillIsTransparent) {
    PreviewPane pane(QStringLiteral("NEXT"), Qt::green);
    pane.setCanvas({1920, 1080});
    pane.resize(640, 420);
    auto still = [](QColor colour) {
        auto image = std::make_shared<QImage>(192, 108, QImage::Format_RGBA8888_Premultiplied);
        image->fill(colour);
        return image;
    };
    const QPointF c = pane.canvasRect().center();
    auto pixels = [&] {
        const QImage image = pane.grab().toImage();
        return std::pair{image.pixel(c.toPoint()), image.pixel((c + QPointF(10, 0)).toPoint())};
    };
    pane.setMedia(PlayoutMedia::still(still(QColor(255, 0, 0, 128))));
    const auto [a, b] = pixels();
    EXPECT_NE(a, b) << "the checker shows through";
    for (QRgb p : {a, b}) {
        EXPECT_GT(qRed(p), 140);
        EXPECT_LT(qGreen(p), 60);
    }
    pane.setMedia(PlayoutMedia::still(still(QColor(32, 128, 224))));
    const auto [d, e] = pixels();
    EXPECT_EQ(d, qRgb(32, 128, 224));
    EXPECT_EQ(e, d);
}

TEST(LivePreviewPane, WithoutCanvasEngineTheCanvasIsBlackWithTheBorderInTheAccent) {
    LivePreviewPane pane(QStringLiteral("PROGRAM"), nullptr, QColor(255, 0, 0));
    pane.resize(640, 420);
    const QImage image = pane.grab().toImage();
    const QRectF canvas = pane.canvasRect();
    ASSERT_FALSE(canvas.isEmpty());
    const QRgb border = image.pixel(int(canvas.center().x()), int(canvas.top()));
    EXPECT_GT(qRed(border), 120);
    EXPECT_LT(qGreen(border), 30);
    const QRgb inside = image.pixel(int(canvas.left()) + 8, int(canvas.top()) + 8);
    EXPECT_EQ(qRed(inside), 0);
    EXPECT_EQ(pane.canvasView(), nullptr);
}

// Mended: the border was drawn by the pane under the live view, which paints its whole
// rectangle opaquely, so the PROGRAM pane showed no border at all.
TEST(LivePreviewPane, TheAccentBorderIsDrawnOverTheLiveViewOfACanvasEngine) {
    test::ControlWindowHarness harness({});  // for its application state's canvas engine
    CanvasEngine* engine = harness.app.canvasEngine();
    ASSERT_NE(engine, nullptr);
    LivePreviewPane pane(QStringLiteral("PROGRAM"), engine, QColor(255, 0, 0));
    pane.resize(640, 420);
    ASSERT_NE(pane.canvasView(), nullptr);
    const QImage image = pane.grab().toImage();
    const QRect canvas = pane.canvasView()->geometry();
    ASSERT_FALSE(canvas.isEmpty());
    for (const QPoint edge :
         {QPoint(canvas.center().x(), canvas.top()), QPoint(canvas.center().x(), canvas.bottom()),
          QPoint(canvas.left(), canvas.center().y()),
          QPoint(canvas.right(), canvas.center().y())}) {
        const QRgb border = image.pixel(edge);
        EXPECT_GT(qRed(border), 120) << edge.x() << "," << edge.y();
        EXPECT_LT(qGreen(border), 30);
    }
    // Inside the border the live view's own (black, nothing on air) picture.
    EXPECT_EQ(qRed(image.pixel(canvas.center())), 0);
}

// The 16:9 box is cut at its rounded corners: a canvas that fills it loses its corner pixels,
// the live view as much as the drawn picture, while the border runs on along the edge.
TEST(PaneView, ACanvasFillingTheBoxIsCutAtTheRoundedCorners) {
    test::ControlWindowHarness harness({});
    LivePreviewPane live(QStringLiteral("PROGRAM"), harness.app.canvasEngine(), QColor(255, 0, 0));
    live.setCanvas({1920, 1080});
    live.resize(640, 421);
    ASSERT_NE(live.canvasView(), nullptr);
    PreviewPane next(QStringLiteral("NEXT"), QColor(255, 0, 0));
    next.setCanvas({1920, 1080});
    next.resize(640, 421);
    auto image = std::make_shared<QImage>(192, 108, QImage::Format_RGB32);
    image->fill(QColor(32, 128, 224));
    next.setMedia(PlayoutMedia::still(image));
    // 421 = header 24 + 6 + a box of 640 x 360 + 6 + file name 25: the box on whole pixels.
    for (PaneView* pane : {static_cast<PaneView*>(&live), static_cast<PaneView*>(&next)}) {
        const QImage shot = pane->grab().toImage();
        const QRect box = PaneView::canvasBox(QSizeF(pane->size())).toAlignedRect();
        ASSERT_EQ(pane->canvasRect().toAlignedRect(), box) << "the canvas fills the box";
        for (const QPoint corner :
             {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()}) {
            const QRgb p = shot.pixel(corner);
            EXPECT_FALSE(qRed(p) > 120 && qGreen(p) < 60) << corner.x() << "," << corner.y();
            EXPECT_NE(p, qRgb(32, 128, 224));
        }
        const QRgb edge = shot.pixel(box.left() + 4, box.top());
        EXPECT_GT(qRed(edge), 120) << "the border is there beside the corner";
    }
}

}  // namespace
}  // namespace velmar
