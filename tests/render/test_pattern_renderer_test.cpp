#include "render/test_pattern_renderer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <set>

namespace velmar {
namespace {

using Renderer = TestPatternRenderer;
using RGB = std::array<int, 3>;

RGB at(const QImage& image, int x, int y) {
    const uchar* p = image.constScanLine(y) + 4 * x;
    return {p[0], p[1], p[2]};
}

int alphaAt(const QImage& image, int x, int y) {
    return image.constScanLine(y)[4 * x + 3];
}

ImageRef make(TestPatternKind kind, int w, int h, LEDCabinetSize cabinet = {128, 128}) {
    ImageRef image = Renderer::makeImage(kind, w, h, cabinet);
    EXPECT_TRUE(image);
    return image;
}

// True when every pixel of the rectangle [x0, x1) x [y0, y1) has the colour.
bool uniform(const QImage& image, int x0, int y0, int x1, int y1, RGB colour) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (at(image, x, y) != colour) return false;
    return true;
}

constexpr RGB kWhite{255, 255, 255}, kBlack{0, 0, 0}, kRed{255, 0, 0}, kGreen{0, 255, 0},
    kYellow{255, 255, 0};

TEST(TestPatternRenderer, EveryPatternAtEverySizeFinishesOpaqueAndSized) {
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 2}, {3, 5}, {8, 4}, {4096, 2160}};
    for (TestPatternKind kind : TestPatternKind::allCases()) {
        for (auto [w, h] : sizes) {
            SCOPED_TRACE(kind.rawValue().toStdString() + " " + std::to_string(w) + "x" +
                         std::to_string(h));
            ImageRef image = make(kind, w, h);
            ASSERT_TRUE(image);
            EXPECT_EQ(image->size(), QSize(w, h));
            EXPECT_EQ(image->format(), QImage::Format_RGBA8888_Premultiplied);
            // Opaque everywhere: sample a grid (every pixel for the small sizes).
            const int sx = std::max(1, w / 61), sy = std::max(1, h / 37);
            for (int y = 0; y < h; y += sy)
                for (int x = 0; x < w; x += sx) ASSERT_EQ(alphaAt(*image, x, y), 255);
        }
        for (auto [w, h] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-4, -4}})
            EXPECT_FALSE(Renderer::makeImage(kind, w, h, {}));  // no image without pixels
    }
}

TEST(TestPatternRenderer, BarsAreTheSevenColoursAtFullAnd75PercentLevel) {
    // Levels written out, not computed: 100 % is 255, 75 % is round(0.75 x 255) = 191.
    const std::array<std::array<int, 3>, 7> unit = {
        {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0}, {1, 0, 1}, {1, 0, 0}, {0, 0, 1}}};
    const int hdEdges[] = {0, 274, 549, 823, 1097, 1371, 1646, 1920};
    for (auto [kind, level] : {std::pair{TestPatternKind::colorBars100, 255},
                               std::pair{TestPatternKind::colorBars75, 191}}) {
        ImageRef image = make(kind, 1920, 1080);
        for (int i = 0; i < 7; ++i) {
            SCOPED_TRACE(i);
            const RGB c{unit[i][0] * level, unit[i][1] * level, unit[i][2] * level};
            EXPECT_TRUE(uniform(*image, hdEdges[i], 0, hdEdges[i + 1], 1, c));
            EXPECT_TRUE(uniform(*image, hdEdges[i], 0, hdEdges[i] + 1, 1080, c));
        }
    }
}

TEST(TestPatternRenderer, EdgesTileTheLength) {
    EXPECT_EQ(Renderer::edges(1080, 4), (std::vector<int>{0, 270, 540, 810, 1080}));
    EXPECT_EQ(Renderer::edges(5, 2), (std::vector<int>{0, 3, 5}));  // 2.5 rounds away from zero
    EXPECT_EQ(Renderer::edges(2, 7), (std::vector<int>{0, 0, 1, 1, 1, 1, 2, 2}));
}

// Regions of one colour at reference points: [x0, x1) x [y0, y1), one pixel when x1 is 0.
TEST(TestPatternRenderer, PatternsAtReferencePoints) {
    using K = TestPatternKind;
    const ImageRef smpte = make(K::smpteBars, 1920, 1080), hatch = make(K::crosshatch, 1920, 1080),
                   frame = make(K::edgeFrame, 1920, 1080),
                   cabinets = make(K::ledCabinet, 1920, 1080);
    const struct {
        ImageRef image;
        int x0, y0;
        RGB colour;
        int x1 = 0, y1 = 0;
    } regions[] = {
        // SMPTE rows split at 2/3 and 3/4; bottom row x1 = round(1920 x 5 / 28); pluge at
        // 1372 + 91 ... 1372 + 183.
        {smpte, 300, 719, {191, 191, 0}},
        {smpte, 0, 720, {0, 0, 191}},
        {smpte, 300, 720, kBlack},
        {smpte, 600, 809, {191, 0, 191}},
        {smpte, 1919, 720, {191, 191, 191}},
        {smpte, 342, 810, {0, 33, 76}},
        {smpte, 343, 810, kWhite},
        {smpte, 686, 1079, {50, 0, 106}},
        {smpte, 1462, 900, kBlack},
        {smpte, 1463, 900, {10, 10, 10}, 1555},
        {smpte, 1555, 900, kBlack},
        {make(K::white, 64, 36), 0, 0, kWhite, 64, 36},
        {make(K::black, 64, 36), 0, 0, kBlack, 64, 36},
        {make(K::red, 64, 36), 0, 0, kRed, 64, 36},
        {make(K::green, 64, 36), 0, 0, kGreen, 64, 36},
        {make(K::blue, 64, 36), 0, 0, {0, 0, 255}, 64, 36},
        {make(K::gray50, 64, 36), 0, 0, {128, 128, 128}, 64, 36},
        // Step 120, thickness 2: the line at x covers x - 1 and x; the edge lines keep a half.
        // Red centre cross (960 - 4, 540 - 60, 8, 120).
        {hatch, 0, 5, kWhite},
        {hatch, 1, 5, kBlack},
        {hatch, 119, 5, kWhite, 121},
        {hatch, 121, 5, kBlack},
        {hatch, 1919, 5, kWhite},
        {hatch, 500, 59, kWhite, 501, 61},
        {hatch, 500, 61, kBlack},
        {hatch, 956, 480, kRed, 964, 600},
        {hatch, 964, 590, kBlack},
        // Rings; corner arms L = 86, t = 3, inset 8; centre cross arms of 86.
        {frame, 1919, 0, kWhite, 1920, 1080},
        {frame, 1, 1, kRed, 1919, 2},
        {frame, 2, 1077, kGreen, 1918, 1078},
        {frame, 3, 500, kBlack},
        {frame, 8, 8, kYellow, 94, 11},
        {frame, 94, 9, kBlack},
        {frame, 1909, 986, kYellow, 1912, 1072},
        {frame, 917, 540, kWhite, 1003, 541},
        {frame, 959, 530, kBlack},
        // Cell borders at 127 / 128; the bottom row is cut to 56 pixels and has its own colour.
        {cabinets, 5, 5, {26, 41, 82}},
        {cabinets, 133, 5, {51, 51, 51}},
        {cabinets, 127, 0, kWhite, 129, 1024},
        {cabinets, 0, 127, kWhite, 1920, 129},
        {cabinets, 1915, 1078, {115, 56, 0}},
        {cabinets, 0, 1079, kWhite, 1920, 1080},
        // A cabinet size of 0 counts as 1: every one-pixel cell is all border.
        {make(K::ledCabinet, 8, 4, {0, 0}), 0, 0, kWhite, 8, 4},
    };
    for (const auto& r : regions)
        EXPECT_TRUE(
            uniform(*r.image, r.x0, r.y0, r.x1 ? r.x1 : r.x0 + 1, r.y1 ? r.y1 : r.y0 + 1, r.colour))
            << r.x0 << "," << r.y0;
}

TEST(TestPatternRenderer, GrayscaleStepsAndTheirLabelsFromHeight240) {
    ImageRef image = make(TestPatternKind::grayscale11, 1100, 100);
    for (int i = 0; i <= 10; ++i) {
        // Grey i / 10 in 8 bits, half away from zero: 0, 26, 51, 77, 102, 128, ...
        const int level = (510 * i + 10) / 20;
        EXPECT_TRUE(uniform(*image, 100 * i, 0, 100 * i + 100, 100, RGB{level, level, level})) << i;
    }
    // A label sits around y = 0.94 h; count pixels in band 0 (black) that are not black.
    auto inked = [](int h) {
        ImageRef img = Renderer::makeImage(TestPatternKind::grayscale11, 1100, h, {});
        int count = 0;
        for (int y = h * 88 / 100; y < h; ++y)
            for (int x = 0; x < 100; ++x) count += at(*img, x, y) != kBlack;
        return count;
    };
    EXPECT_GT(inked(240), 0);
    EXPECT_EQ(inked(239), 0);
}

TEST(TestPatternRenderer, RampsReachFullLevelAtTheRightEdge) {
    ImageRef image = make(TestPatternKind::ramps, 256, 8);
    for (int x = 0; x < 256; ++x) {
        ASSERT_EQ(at(*image, x, 0), (RGB{x, x, x}));
        ASSERT_EQ(at(*image, x, 2), (RGB{x, 0, 0}));
        ASSERT_EQ(at(*image, x, 7), (RGB{0, 0, x}));
    }
    EXPECT_TRUE(uniform(*make(TestPatternKind::ramps, 1, 4), 0, 0, 1, 4, kBlack));
    ImageRef three = make(TestPatternKind::ramps, 3, 4);
    EXPECT_EQ(at(*three, 1, 0), (RGB{128, 128, 128}));
}

TEST(TestPatternRenderer, CheckerAndLinesAreOnePixelWide) {
    const int w = 11, h = 7, half = w / 2;
    ImageRef checker = make(TestPatternKind::pixelChecker, w, h);
    ImageRef lines = make(TestPatternKind::pixelLines, w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            ASSERT_EQ(at(*checker, x, y), (x + y) % 2 == 0 ? kWhite : kBlack) << x << "," << y;
            const bool lit = x < half ? x % 2 == 0 : y % 2 == 0;
            ASSERT_EQ(at(*lines, x, y), lit ? kWhite : kBlack) << x << "," << y;
        }
    }
    ImageRef single = make(TestPatternKind::pixelLines, 1, 3);
    EXPECT_EQ(at(*single, 0, 1), kBlack);
    EXPECT_EQ(at(*single, 0, 2), kWhite);
}

TEST(TestPatternRenderer, CrosshatchBelowOneStepDrawsOnlyTheCentreLines) {
    // step = round(4 / 9) = 0: stepping the grid by it would never end.
    ImageRef image = make(TestPatternKind::crosshatch, 200, 4);
    // cx = 100, cy = 2, thickness 1: column 99 and row 1 (the frames' coloured sides stay
    // near x = 10, 20, 180, 190).
    EXPECT_TRUE(uniform(*image, 30, 1, 170, 2, kWhite));
    EXPECT_TRUE(uniform(*image, 99, 1, 100, 3, kWhite));
    // No red centre cross: its size is the step.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 200; ++x) ASSERT_NE(at(*image, x, y), kRed);
}

TEST(TestPatternRenderer, EdgeFrameOnTinyCanvasesKeepsTheOuterRingWhite) {
    struct Case {
        int w, h;
        std::vector<const char*> rows;  // W white, R red, G green, . black
    };
    const Case cases[] = {
        {1, 1, {"W"}},
        {2, 2, {"WW", "WW"}},
        {3, 5, {"WWW", "WRW", "WRW", "WRW", "WWW"}},
        {4, 4, {"WWWW", "WRRW", "WRRW", "WWWW"}},
        {8, 4, {"WWWWWWWW", "WRRRRRRW", "WRRRRRRW", "WWWWWWWW"}},
        {5, 5, {"WWWWW", "WRRRW", "WRGRW", "WRRRW", "WWWWW"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        ImageRef image = make(TestPatternKind::edgeFrame, c.w, c.h);
        for (int y = 0; y < c.h; ++y) {
            for (int x = 0; x < c.w; ++x) {
                const char k = c.rows[y][x];
                const RGB want = k == 'W' ? kWhite : k == 'R' ? kRed : k == 'G' ? kGreen : kBlack;
                EXPECT_EQ(at(*image, x, y), want) << x << "," << y;
            }
        }
    }
}

TEST(TestPatternRenderer, CabinetLabelsOnlyInCellsLargeEnough) {
    // 40 x 28 cells: label size 0.22 x 28 = 6.16, drawn; 40 x 27: 5.94, left out.
    auto inkInCell = [](LEDCabinetSize cabinet) {
        ImageRef img = Renderer::makeImage(TestPatternKind::ledCabinet, 80, 60, cabinet);
        std::set<RGB> colours;
        for (int y = 1; y < cabinet.height - 1; ++y)
            for (int x = 1; x < cabinet.width - 1; ++x) colours.insert(at(*img, x, y));
        return colours.size();
    };
    EXPECT_GT(inkInCell({40, 28}), 1u);
    EXPECT_EQ(inkInCell({40, 27}), 1u);
}

TEST(TestPatternRenderer, CabinetSummaryTexts) {
    EXPECT_EQ(Renderer::cabinetSummary(1920, 1080, {128, 128}),
              QString::fromUtf8("128×128 px・15×9 枚・端数 右 0 px / 下 56 px"));
    EXPECT_EQ(Renderer::cabinetSummary(1920, 1080, {192, 108}),
              QString::fromUtf8("192×108 px・10×10 枚・端数なし"));
    EXPECT_EQ(Renderer::cabinetSummary(5, 3, {0, -2}),
              QString::fromUtf8("1×1 px・5×3 枚・端数なし"));
    EXPECT_EQ(Renderer::cabinetSummary(100, 50, {64, 64}),
              QString::fromUtf8("64×64 px・2×1 枚・端数 右 36 px / 下 50 px"));
}

TEST(TestPatternRenderer, ResolutionLabelFromAbout172Pixels) {
    // The label is centred on (w / 2, cy + L) of the edge frame; look for ink left of the
    // centre cross, below its horizontal arm.
    auto inked = [](int h) {
        ImageRef img = Renderer::makeImage(TestPatternKind::edgeFrame, 2 * h, h, {});
        const int L = (2 * h * 2 + 25) / 50;
        int count = 0;
        for (int y = h / 2 + 2; y < std::min(h - 3, h / 2 + 2 * L); ++y)
            for (int x = 3; x < h - 2; ++x) count += at(*img, x, y) != kBlack;
        return count;
    };
    EXPECT_GT(inked(172), 0);
    EXPECT_EQ(inked(171), 0);
}

TEST(TestPatternRenderer, RasterisingRuleTakesPixelCentres) {
    QImage image(4, 1, QImage::Format_RGBA8888_Premultiplied);
    auto run = [&](double x, double w) {
        image.fill(Qt::black);
        Renderer::fillRect(image, x, 0, w, 1, {255, 255, 255});
        std::string out;
        for (int i = 0; i < 4; ++i) out += at(image, i, 0) == kWhite ? 'W' : '.';
        return out;
    };
    EXPECT_EQ(run(1, 2), ".WW.");
    EXPECT_EQ(run(0.5, 1), "W...");  // centre 0.5 is inside [0.5, 1.5)
    EXPECT_EQ(run(0.6, 1), ".W..");
    EXPECT_EQ(run(1.5, 1), ".W..");
    EXPECT_EQ(run(-0.5, 1), "....");  // covers pixel -1 only
    EXPECT_EQ(run(3, -2), "....");    // a negative width covers nothing
    EXPECT_EQ(run(-10, 100), "WWWW");
}

}  // namespace
}  // namespace velmar
