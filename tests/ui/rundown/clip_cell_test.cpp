// The clip cell's drawing caches.
#include "ui/rundown/clip_cell.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace velmar {
namespace {

// Mended: every scale a resized window passed through added border images that were never
// dropped.
TEST(ClipCellTest, BorderImagesOfEarlierScalesAreDropped) {
    Clip clip;
    clip.isMissing = true;  // the warning tile: no picture to compose
    ClipCell cell;
    cell.clip = &clip;
    QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
    auto paintAt = [&](double scale, bool selected) {
        cell.isSelected = selected;
        QPainter p(&image);
        p.scale(scale, scale);
        cell.paint(p, 0);
        ClipCell::paintEnd(p, 120, true);
    };
    paintAt(1.0, false);
    paintAt(1.0, true);
    const int perScale = ClipCell::borderImageCount();
    EXPECT_GE(perScale, 2);  // the cell's borders and the END cell's
    for (int step = 0; step < 200; ++step) paintAt(0.5 + step * 0.0025, step % 2 == 0);
    EXPECT_LE(ClipCell::borderImageCount(), perScale);
    // Painting again at one scale finds its images and makes no more.
    paintAt(1.0, false);
    paintAt(1.0, true);
    const int again = ClipCell::borderImageCount();
    paintAt(1.0, false);
    EXPECT_EQ(ClipCell::borderImageCount(), again);
}

}  // namespace
}  // namespace velmar
