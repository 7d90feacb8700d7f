// Rendered pixels checked against values computed here, independently of the renderer: the
// placement of a layer from the corner formula in double precision, inverted per pixel,
// bilinear sampling with clamping to the edge, and the alpha rules in plain arithmetic.
#include "canvas_fixture.h"

#include <cmath>
#include <numbers>
#include <random>

namespace velmar::test {
namespace {

constexpr double kPi = std::numbers::pi;

// A placement as the corner formula takes it (slides, offsets, scale, rotation in radians
// counter-clockwise, anchor), and its inverse for one target pixel.
struct Placement {
    double slideX = 0, slideY = 0, offsetX = 0, offsetY = 0, scale = 1, rotation = 0, anchorX = 0,
           anchorY = 0;
};

struct Placed {
    double fx = 0, fy = 0, hx = 0, hy = 0, rot = 0;

    // Content coordinates (0..1 left to right, 0..1 top to bottom) of the target pixel centre
    // (x, y counted from the top-left), and its distance inside the content's edge in pixels.
    void locate(int x, int y, double th, double& u, double& v, double& inside) const {
        const double px = x + 0.5 - fx, py = (th - (y + 0.5)) - fy;
        const double lx = px * std::cos(rot) + py * std::sin(rot);
        const double ly = -px * std::sin(rot) + py * std::cos(rot);
        u = lx / (2 * hx) + 0.5;
        v = 0.5 - ly / (2 * hy);
        inside = std::min(hx - std::fabs(lx), hy - std::fabs(ly));
    }
};

Placed place(double cw, double ch, double tw, double th, const Placement& t) {
    Placed p;
    p.hx = cw / 2 * t.scale;
    p.hy = ch / 2 * t.scale;
    const double cx = tw / 2 + tw * t.offsetX + cw / 2 * t.anchorX * (1 - t.scale);
    const double cy = th / 2 + th * t.offsetY - ch / 2 * t.anchorY * (1 - t.scale);
    const double ex =
        std::fabs(p.hx * std::cos(t.rotation)) + std::fabs(p.hy * std::sin(t.rotation));
    const double ey =
        std::fabs(p.hx * std::sin(t.rotation)) + std::fabs(p.hy * std::cos(t.rotation));
    const double travelX = (t.slideX >= 0 ? tw - cx : cx) + ex + 0.02 * tw;
    const double travelY = (t.slideY >= 0 ? th - cy : cy) + ey + 0.02 * th;
    p.fx = cx + t.slideX * travelX;
    p.fy = cy + t.slideY * travelY;
    p.rot = t.rotation;
    return p;
}

// Bilinear sample of the premultiplied image at content coordinates (u, v): {r, g, b, a}.
std::array<double, 4> sample(const QImage& image, double u, double v) {
    const int w = image.width(), h = image.height();
    const double tx = std::clamp(u * w - 0.5, -0.5, w - 0.5);
    const double ty = std::clamp(v * h - 0.5, -0.5, h - 0.5);
    const double x0 = std::floor(tx), y0 = std::floor(ty);
    const double wx = tx - x0, wy = ty - y0;
    auto at = [&](double x, double y, int c) {
        const int xi = std::clamp(int(x), 0, w - 1), yi = std::clamp(int(y), 0, h - 1);
        return double(image.constScanLine(yi)[xi * 4 + c]);
    };
    std::array<double, 4> out{};
    for (int c = 0; c < 4; ++c) {
        const double top = at(x0, y0, c) * (1 - wx) + at(x0 + 1, y0, c) * wx;
        const double bottom = at(x0, y0 + 1, c) * (1 - wx) + at(x0 + 1, y0 + 1, c) * wx;
        out[size_t(c)] = top * (1 - wy) + bottom * wy;
    }
    return out;
}

// Straight colour of a premultiplied sample at an opacity: the key is the alpha times the
// opacity, the colour is unchanged.
Bgra straightAt(const std::array<double, 4>& s, double opacity) {
    if (s[3] * opacity < 0.5) return {};
    auto colour = [&](double c) { return int(std::lround(std::min(255.0, c * 255 / s[3]))); };
    return {colour(s[2]), colour(s[1]), colour(s[0]), int(std::lround(s[3] * opacity))};
}

// Compares every pixel clearly inside the placed content with the reference (within
// `tolerance` per channel) and every pixel clearly outside with transparent black.
void expectPlaced(const gpu::Texture& out, const QImage& source, const Placed& placed,
                  double opacity, int tolerance = 2) {
    int inside = 0, outside = 0, mismatches = 0;
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            double u, v, d;
            placed.locate(x, y, out.height(), u, v, d);
            const Bgra got = pixelAt(out, x, y);
            if (d > 1.0) {
                ++inside;
                const Bgra want = straightAt(sample(source, u, v), opacity);
                if (!nearly(got, want, tolerance) && ++mismatches <= 5)
                    ADD_FAILURE() << "at " << x << "," << y << " got " << got << " want " << want;
            } else if (d < -1.0) {
                ++outside;
                if (!(got == Bgra{}) && ++mismatches <= 5)
                    ADD_FAILURE() << "outside at " << x << "," << y << ": " << got;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(inside + outside, out.width() * out.height() / 2) << "too few pixels checked";
}

// A smooth opaque picture: red rises to the right, green downward, blue along the diagonal.
ImageRef gradient(int w, int h) {
    return makeImage(w, h, [w, h](int x, int y) {
        return Bgra{40 + 150 * (x + y) / (w + h), 20 + 220 * y / (h - 1), 10 + 240 * x / (w - 1),
                    255};
    });
}

using CanvasPixels = CanvasFixture;

TEST_F(CanvasPixels, IdentityPlacementGivesTheSourceExactlyInStraightColour) {
    std::mt19937 random(7);
    const ImageRef image = makeImage(96, 64, [&](int, int) {
        const int a = int(random() % 4) == 0 ? 0 : int(random() % 256);
        return Bgra{int(random() % 256), int(random() % 256), int(random() % 256), a};
    });
    setProgram(image);
    const auto out = outputFrame();
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x)
            ASSERT_EQ(pixelAt(*out, x, y), straightOf(image->constScanLine(y) + x * 4))
                << x << "," << y;
}

TEST_F(CanvasPixels, RotationScaleAndAnchorPlaceTheLayerAsTheCornerFormulaSays) {
    const ImageRef image = gradient(48, 32);
    struct Case {
        const char* name;
        double degrees, scale, anchorX, anchorY, offsetX, offsetY;
    };
    for (const Case& c : {Case{"quarter turn clockwise", 90, 1, 0, 0, 0, 0},
                          Case{"half size about the bottom-right", 0, 0.5, 1, 1, 0, 0},
                          Case{"turned, scaled and offset", -30, 1.3, -0.5, 0.25, 0.1, -0.05}}) {
        SCOPED_TRACE(c.name);
        state.transform.rotation = c.degrees;
        state.transform.scale = c.scale;
        state.transform.offsetX = c.offsetX;
        state.transform.offsetY = c.offsetY;
        state.contentAnchor = QPointF(c.anchorX, c.anchorY);
        setProgram(image);
        const auto out = outputFrame();
        Placement t;
        t.rotation = -c.degrees * kPi / 180;  // clip rotation is clockwise on screen
        t.scale = c.scale;
        t.anchorX = c.anchorX;
        t.anchorY = c.anchorY;
        t.offsetX = c.offsetX;
        t.offsetY = c.offsetY;
        expectPlaced(*out, *image, place(48, 32, 96, 64, t), 1.0);
    }
}

TEST_F(CanvasPixels, EveryMotionAtHalfPresenceMatchesItsCurve) {
    const ImageRef image = gradient(48, 32);
    setProgram(image);
    presence = 0.5;
    // The curves at presence 0.5 entering: eased e = 1 - 0.5^3, smoothstep s = 0.5.
    const double e = 0.875, s = 0.5;
    struct Case {
        MotionKind motion;
        Placement t;
        double opacity;
    };
    const Case cases[] = {
        {MotionKind::cut, {}, 0},
        {MotionKind::fade, {}, 0.5},
        {MotionKind::slideLeft, {.slideX = 1 - s}, 1},
        {MotionKind::slideRight, {.slideX = s - 1}, 1},
        {MotionKind::slideUp, {.slideY = s - 1}, 1},
        {MotionKind::slideDown, {.slideY = 1 - s}, 1},
        {MotionKind::zoom, {.scale = e}, 0.5},
        {MotionKind::dive, {.scale = 3 - 2 * e}, 0.5},
        {MotionKind::rotate, {.scale = 0.6 + 0.4 * e, .rotation = (1 - e) * kPi / 4}, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.motion.rawValue().toStdString());
        state.motion = c.motion;
        state.entering = true;
        const auto out = outputFrame();
        if (c.opacity == 0) {
            EXPECT_TRUE(allPixels(*out, Bgra{}));
        } else {
            expectPlaced(*out, *image, place(48, 32, 96, 64, c.t), c.opacity);
        }
    }
}

TEST_F(CanvasPixels, ContentLargerThanTheCanvasShrinksToFitAndSmallerKeepsItsSize) {
    for (QSize size : {QSize(192, 64), QSize(40, 20)}) {
        const ImageRef image = gradient(size.width(), size.height());
        setProgram(image);
        const auto out = outputFrame();
        const double f = std::min({96.0 / size.width(), 64.0 / size.height(), 1.0});
        expectPlaced(*out, *image, place(size.width() * f, size.height() * f, 96, 64, {}), 1.0);
    }
}

// The keyer: three columns over a smooth program: opaque, fully transparent, half transparent.
ImageRef keyerColumns() {
    return makeImage(96, 64, [](int x, int) {
        if (x < 32) return Bgra{90, 40, 200, 255};
        if (x < 64) return Bgra{255, 255, 255, 0};
        return Bgra{60, 220, 10, 128};
    });
}

TEST_F(CanvasPixels, KeyerAtHalfLevelOverTheProgramFollowsTheCompositeRule) {
    const ImageRef program = gradient(96, 64);
    const ImageRef key = keyerColumns();
    for (KeyAlphaMode mode : KeyAlphaMode::allCases()) {
        SCOPED_TRACE(mode.rawValue().toStdString());
        state.keyAlphaMode = mode;
        setProgram(program);
        setKeyer(key, 0.5);
        expectKeyed(
            *outputFrame(), *key, 0.5,
            [&](int x, int y) { return straightOf(program->constScanLine(y) + x * 4); },
            mode == KeyAlphaMode::premultiplied);
    }
}

// White over white, an opaque keyer and colour-independent keys are checked on the row kernels
// (kernels_test); here what the canvas adds on the way to them.
TEST_F(CanvasPixels, AlphaRulesHoldExactly) {
    const ImageRef program = makeImage(96, 64, [](int x, int y) {
        return Bgra{(x * 37) % 256, (y * 11) % 256, (x * y) % 256, (x + 3 * y) % 256};
    });
    for (KeyAlphaMode mode : KeyAlphaMode::allCases()) {
        SCOPED_TRACE(mode.rawValue().toStdString());
        state.keyAlphaMode = mode;
        // Where the keyer is transparent a translucent program comes through exactly as
        // without a keyer.
        setProgram(program);
        setKeyer(nullptr, 0, true);
        const auto alone = outputFrame();
        setKeyer(keyerColumns(), 0.5, true);
        const auto out = outputFrame();
        for (int y = 0; y < 64; ++y)
            for (int x = 32; x < 64; ++x)
                ASSERT_EQ(pixelAt(*out, x, y), pixelAt(*alone, x, y)) << x << "," << y;

        // The key is the alpha, never the fill's luma: half-keyed white over nothing keys at half.
        {
            std::lock_guard lock(mutex);
            state.media.reset();
        }
        setKeyer(solidImage(96, 64, {255, 255, 255, 255}), 0.5, true);
        const int fill = mode == KeyAlphaMode::premultiplied ? 128 : 255;
        EXPECT_EQ(pixelAt(*outputFrame(), 5, 5), (Bgra{fill, fill, fill, 128}));
    }
}

TEST_F(CanvasPixels, PremultipliedKeyModeScalesTheSingleLayerColourByItsKey) {
    state.keyAlphaMode = KeyAlphaMode::premultiplied;
    state.transform.opacity = 0.5;
    setProgram(solidImage(96, 64, {200, 100, 50, 255}));
    const auto out = outputFrame();
    // Opacity 0.5 is 128 of 255: colour and key are scaled alike.
    EXPECT_EQ(pixelAt(*out, 48, 32), (Bgra{(200 * 128 + 127) / 255, (100 * 128 + 127) / 255,
                                           (50 * 128 + 127) / 255, 128}));
}

}  // namespace
}  // namespace velmar::test
