#pragma once

#include "models/image_ref.h"
#include "render/led_cabinet_size.h"
#include "render/test_pattern_kind.h"

#include <QImage>
#include <QRect>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <vector>

namespace velmar {

// Draws the line-up test patterns at canvas size. Stateless: every routine touches only the
// image it is given, so it may run on any thread (the engine draws off the main thread).
//
// Images are RGBA8888 premultiplied, sRGB, opaque; the origin is the top-left pixel, x to the
// right and y downward.
//
// Rasterising rule for filled rectangles (anti-aliasing off): a rectangle (x, y, w, h) covers
// pixel (i, j) when the pixel's centre (i + 0.5, j + 0.5) lies in [x, x + w) x [y, y + h).
// A rectangle with an integral origin and size covers exactly the pixels x ... x + w - 1; a
// rectangle whose width or height is zero or negative covers nothing (it is never flipped);
// whatever falls outside the image is clipped. Colours are converted to 8 bits as
// round(c x 255), half away from zero (0.75 -> 191, 0.5 -> 128).
//
// Stroked shapes (the crosshatch's circle, diagonals and frames) and text are drawn with
// anti-aliasing. Labels use DejaVu Sans Mono Bold (any bold monospaced font when it is not
// installed), sized in pixels; a label smaller than 6 is left out.
class TestPatternRenderer {
  public:
    // An 8-bit opaque colour, bytes in memory order R, G, B, A.
    struct Colour {
        std::uint8_t r = 0, g = 0, b = 0;
        // From components in 0 ... 1.
        static Colour fromUnit(double r, double g, double b);
        friend bool operator==(const Colour&, const Colour&) = default;
    };

    // The image of a pattern at width x height, or nothing when a side is below 1 or the
    // bitmap cannot be allocated. The cabinet size is used by `ledCabinet` only.
    static ImageRef makeImage(TestPatternKind kind, int width, int height, LEDCabinetSize cabinet);

    // How the cabinets divide the canvas, e.g. "128×128 px・15×9 枚・端数 右 0 px / 下 56 px"
    // or "192×108 px・10×10 枚・端数なし". Not translated.
    static QString cabinetSummary(int width, int height, LEDCabinetSize cabinet);

    // The drawing routines. `image` is the whole canvas (RGBA8888 premultiplied, already filled
    // black); w and h are its size.
    static void drawBars(QImage& image, const QRect& rect, double level);
    static void drawSMPTEBars(QImage& image, int w, int h);
    static void drawGrayscale(QImage& image, int w, int h);
    static void drawRamps(QImage& image, int width, int height);
    static void drawCrosshatch(QImage& image, int w, int h);
    static void drawEdgeFrame(QImage& image, int w, int h);
    static void drawPixelLines(QImage& image, int width, int height);
    static void drawPixelChecker(QImage& image, int width, int height);
    static void drawCabinets(QImage& image, int width, int height, LEDCabinetSize cabinet);

    // The count + 1 positions round(length x i / count), i = 0 ... count: bands between them
    // tile the length, their widths differing by at most one.
    static std::vector<int> edges(int length, int count);

    // Fills a rectangle by the rasterising rule above.
    static void fillRect(QImage& image, double x, double y, double w, double h, Colour colour);
    // Fills the pixels [x0, x1) x [y0, y1), clipped to the image.
    static void fillPixels(QImage& image, long long x0, long long y0, long long x1, long long y1,
                           Colour colour);
    // Draws one line of text centred (on its ink bounds) on (cx, cy); nothing below size 6.
    static void drawLabel(QImage& image, const QString& text, double size, double cx, double cy,
                          Colour colour);
    // The resolution label "w × h" at size h x 0.035, centred on (w / 2, y).
    static void resolutionLabel(QImage& image, int w, int h, double y);
};

}  // namespace velmar
