// The renderer: corner placement, targets, textures from stills and pixel buffers, and drawn
// pixels checked against a plain double-precision model of placement, bilinear sampling and
// compositing written here independently of the kernels.
#include "render/metal_renderer.h"

#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/pixel_buffer.h"
#include "platform/gpu/texture.h"

#include <QImage>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

namespace velmar {
namespace {

using Corners = std::array<gpu::Float2, 4>;
using RGBA = std::array<double, 4>;  // 0..255

struct Point {
    double x, y;
};

// Corners in device coordinates, computed from the placement rules in plain doubles.
std::array<Point, 4> modelCorners(double cw, double ch, double tw, double th,
                                  const MotionTransform& t) {
    const double s = t.scale;
    const double cx = tw / 2 + tw * t.offsetX + cw / 2 * t.anchorX * (1 - s);
    const double cy = th / 2 + th * t.offsetY - ch / 2 * t.anchorY * (1 - s);
    const double hx = cw * s / 2, hy = ch * s / 2;
    const double c = std::cos(t.rotation), sn = std::sin(t.rotation);
    const double ex = std::abs(hx * c) + std::abs(hy * sn),
                 ey = std::abs(hx * sn) + std::abs(hy * c);
    const double fx = cx + t.slideX * ((t.slideX >= 0 ? tw - cx : cx) + ex + 0.02 * tw);
    const double fy = cy + t.slideY * ((t.slideY >= 0 ? th - cy : cy) + ey + 0.02 * th);
    std::array<Point, 4> out;
    const double sx[4] = {-1, 1, -1, 1}, sy[4] = {-1, -1, 1, 1};
    for (int i = 0; i < 4; ++i) {
        const double x = sx[i] * hx * c - sy[i] * hy * sn + fx;
        const double y = sx[i] * hx * sn + sy[i] * hy * c + fy;
        out[size_t(i)] = {2 * x / tw - 1, 2 * y / th - 1};
    }
    return out;
}

// Premultiplied RGBA of a still at texel coordinates, bilinear, clamped to the edge.
RGBA bilinear(const QImage& img, double tx, double ty) {
    tx = std::clamp(tx, -0.5, img.width() - 0.5);
    ty = std::clamp(ty, -0.5, img.height() - 0.5);
    const double fx = std::floor(tx), fy = std::floor(ty);
    const double wx = tx - fx, wy = ty - fy;
    auto at = [&](double x, double y) {
        const int ix = std::clamp(int(x), 0, img.width() - 1),
                  iy = std::clamp(int(y), 0, img.height() - 1);
        const uchar* p = img.constScanLine(iy) + ix * 4;
        return RGBA{double(p[0]), double(p[1]), double(p[2]), double(p[3])};
    };
    const RGBA a = at(fx, fy), b = at(fx + 1, fy), c = at(fx, fy + 1), d = at(fx + 1, fy + 1);
    RGBA out;
    for (int i = 0; i < 4; ++i)
        out[size_t(i)] =
            (a[i] * (1 - wx) + b[i] * wx) * (1 - wy) + (c[i] * (1 - wx) + d[i] * wx) * wy;
    return out;
}

// What a layer shows at a pixel centre: straight RGBA (0..255), or nullopt when the centre is
// within a pixel of the layer's edge (either side is acceptable there) ; `inside` tells which.
struct LayerSample {
    bool certain = false;
    bool inside = false;
    RGBA straight{};
};

LayerSample modelLayer(const QImage& img, const std::array<Point, 4>& ndc, double tw, double th,
                       double opacity, double px, double py, double certainMargin = 1) {
    auto toPixel = [&](Point p) { return Point{(p.x + 1) / 2 * tw, (1 - p.y) / 2 * th}; };
    const Point p0 = toPixel(ndc[0]), p1 = toPixel(ndc[1]), p2 = toPixel(ndc[2]);
    const double e1x = p1.x - p0.x, e1y = p1.y - p0.y, e2x = p2.x - p0.x, e2y = p2.y - p0.y;
    const double det = e1x * e2y - e1y * e2x;
    const double dx = px - p0.x, dy = py - p0.y;
    const double a = (dx * e2y - dy * e2x) / det, b = (e1x * dy - e1y * dx) / det;
    const double ha = std::abs(det) / std::hypot(e2x, e2y),
                 hb = std::abs(det) / std::hypot(e1x, e1y);
    const double margin = std::min({a * ha, (1 - a) * ha, b * hb, (1 - b) * hb});
    LayerSample s;
    s.inside = margin > 0;
    s.certain = std::abs(margin) > certainMargin;
    if (!s.inside) return s;
    const RGBA pm = bilinear(img, a * img.width() - 0.5, (1 - b) * img.height() - 0.5);
    const double alpha = pm[3] * opacity;
    for (int i = 0; i < 3; ++i) s.straight[size_t(i)] = pm[3] > 0 ? pm[i] / pm[3] * 255 : 0;
    s.straight[3] = alpha;
    return s;
}

ImageRef randomImage(int w, int h, uint32_t seed, bool withTransparency) {
    QImage img(w, h, QImage::Format_RGBA8888_Premultiplied);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        uchar* p = img.scanLine(y);
        for (int x = 0; x < w; ++x, p += 4) {
            // Smooth-ish content so that bilinear differences stay small, with alpha either
            // opaque, high, or zero.
            const int a = !withTransparency          ? 255
                          : (x / 5 + y / 5) % 3 == 0 ? 0
                          : (x / 7) % 2              ? 255
                                                     : 160;
            for (int c = 0; c < 3; ++c) {
                const int v = (x * (3 + c) + y * (5 - c) + int(rng() % 9)) % 256;
                p[c] = uchar(v * a / 255);
            }
            p[3] = uchar(a);
        }
    }
    return std::make_shared<const QImage>(img);
}

struct Rig {
    std::shared_ptr<MetalRenderer> renderer = MetalRenderer::create(gpu::Device::create(2));

    void layerPass(gpu::CommandBuffer& cb, const std::shared_ptr<gpu::Texture>& into,
                   const std::shared_ptr<gpu::Texture>& src, const Corners& corners, float opacity,
                   bool premultiplyOutput) {
        auto* enc = cb.renderCommandEncoder({into});
        enc->setRenderPipelineState(renderer->canvasPipeline());
        enc->setVertexBytes(corners.data(), sizeof(corners), 0);
        const float block[4] = {opacity, 1, premultiplyOutput ? 1.0f : 0.0f, 0};
        enc->setFragmentBytes(block, sizeof(block), 0);
        enc->setFragmentTexture(src, 0);
        enc->drawPrimitives(gpu::PrimitiveType::TriangleStrip, 0, 4);
        enc->endEncoding();
    }
    std::vector<uint32_t> read(const gpu::Texture& t) {
        std::vector<uint32_t> out(size_t(t.width() * t.height()));
        t.getBytes(out.data(), size_t(t.width()) * 4);
        return out;
    }
    std::vector<uint32_t> drawOne(const ImageRef& image, int tw, int th, const MotionTransform& m) {
        MetalRenderer::CanvasTarget target;
        target.ensure(QSizeF(tw, th), renderer->device());
        auto cb = renderer->commandQueue().commandBuffer();
        const auto corners =
            MetalRenderer::corners(QSizeF(image->width(), image->height()), QSizeF(tw, th), m);
        layerPass(*cb, target.texture, renderer->makeTexture(image), corners, float(m.opacity),
                  false);
        cb->commit();
        cb->waitUntilCompleted();
        EXPECT_EQ(cb->status(), gpu::CommandBufferStatus::Completed);
        return read(*target.texture);
    }
};

// BGRA bytes of a target pixel as R, G, B, A.
RGBA channels(uint32_t bgra) {
    return {double((bgra >> 16) & 255), double((bgra >> 8) & 255), double(bgra & 255),
            double(bgra >> 24)};
}

// Compares a drawn single layer with the model, pixel by pixel; returns the number compared.
int expectMatchesModel(const std::vector<uint32_t>& drawn, const ImageRef& image, int tw, int th,
                       const MotionTransform& m, double tolerance, double certainMargin = 1) {
    const auto ndc = modelCorners(image->width(), image->height(), tw, th, m);
    int compared = 0;
    for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x) {
            const LayerSample s =
                modelLayer(*image, ndc, tw, th, m.opacity, x + 0.5, y + 0.5, certainMargin);
            if (!s.certain) continue;
            const RGBA got = channels(drawn[size_t(y * tw + x)]);
            if (!s.inside || std::lround(s.straight[3]) == 0) {
                EXPECT_EQ(drawn[size_t(y * tw + x)], 0u) << x << "," << y;
                continue;
            }
            ++compared;
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(got[size_t(c)], s.straight[size_t(c)], tolerance)
                    << "pixel " << x << "," << y << " channel " << c;
        }
    return compared;
}

void expectCorners(const Corners& got, const std::array<Point, 4>& want) {
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(got[i].x, want[i].x, 1e-5) << "corner " << i;
        EXPECT_NEAR(got[i].y, want[i].y, 1e-5) << "corner " << i;
    }
}

TEST(CornersTest, PlacementCases) {
    // A target without area, or a picture filling it unmoved, uses the whole target.
    for (QSizeF target : {QSizeF(0, 1080), QSizeF(1920, -1)})
        EXPECT_EQ(MetalRenderer::corners({100, 100}, target, {}), MetalRenderer::fullTargetCorners);
    EXPECT_EQ(MetalRenderer::corners({1920, 1080}, {1920, 1080}, {}),
              MetalRenderer::fullTargetCorners);
    MotionTransform anchored;  // half size about the bottom-right, moved a quarter right
    anchored.scale = 0.5;
    anchored.anchorX = anchored.anchorY = 1;
    anchored.offsetX = 0.25;
    expectCorners(MetalRenderer::corners({1920, 1080}, {1920, 1080}, anchored),
                  {Point{0.5, -1}, Point{1.5, -1}, Point{0.5, 0}, Point{1.5, 0}});
    for (double rotation : {0.0, 0.5, -2.0}) {
        MotionTransform slide;
        slide.slideX = 1;
        slide.rotation = rotation;
        slide.scale = 0.7;
        float left = 10;
        for (const auto& p : MetalRenderer::corners({800, 600}, {1920, 1080}, slide))
            left = std::min(left, p.x);
        EXPECT_NEAR(left, 1 + 2 * 0.02, 1e-5)
            << rotation;  // 2 % of the width beyond the right edge
    }
}

TEST(CanvasTargetTest, EnsureRoundsAndKeepsTheTexture) {
    Rig rig;
    MetalRenderer::CanvasTarget target;
    auto sizeIs = [&](int w, int h) {
        return target.texture && target.texture->width() == w && target.texture->height() == h;
    };
    target.ensure(QSizeF(1919.7, 1080.3), rig.renderer->device());
    EXPECT_TRUE(sizeIs(1920, 1080));
    EXPECT_EQ(target.size, QSizeF(1920, 1080));
    const auto* before = target.texture.get();
    target.ensure(QSizeF(1920, 1080), rig.renderer->device());
    EXPECT_EQ(target.texture.get(), before);
    target.ensure(QSizeF(0, 0), rig.renderer->device());
    EXPECT_TRUE(sizeIs(1, 1));
    target.ensure(QSizeF(NAN, 5), rig.renderer->device());  // a size that is not a number: 1
    EXPECT_TRUE(sizeIs(1, 5));
    target.ensure(QSizeF(100000, 10), rig.renderer->device());  // refused by the device
    EXPECT_FALSE(target.texture);
}

// Image contents are seen drawn (RenderedLayerTest); pixel buffers of the output formats are
// seen through the SDI controller.
TEST(MetalRendererTest, TexturesFromImagesAndPixelBuffers) {
    Rig rig;
    EXPECT_FALSE(rig.renderer->makeTexture(ImageRef()));
    EXPECT_FALSE(rig.renderer->makeTexture(std::make_shared<const QImage>()));
    // A straight-alpha image is premultiplied on the way in.
    QImage straight(1, 1, QImage::Format_RGBA8888);
    straight.setPixelColor(0, 0, QColor(200, 100, 50, 128));
    auto fromStraight = rig.renderer->makeTexture(std::make_shared<const QImage>(straight));
    ASSERT_TRUE(fromStraight);
    EXPECT_NEAR(fromStraight->row(0)[0], 100, 1);
    EXPECT_FALSE(rig.renderer->makeSharedRenderTarget(0, 5));
    const std::pair<uint32_t, std::optional<gpu::PixelFormat>> cases[] = {
        {gpu::kPixelFormat32BGRA, gpu::PixelFormat::BGRA8Unorm},
        {gpu::kPixelFormat64RGBAHalf, gpu::PixelFormat::RGBA16Float},
        {gpu::kPixelFormat422YpCbCr10, std::nullopt},
        {gpu::kPixelFormat422YpCbCr8, std::nullopt}};
    for (const auto& [format, expected] : cases) {
        auto view =
            rig.renderer->makeTexture(gpu::PixelBuffer::create(64, 2, format), std::nullopt);
        EXPECT_EQ(view ? std::optional(view->texture->pixelFormat()) : std::nullopt, expected)
            << format;
    }
}

TEST(MetalRendererTest, FlushCounterWrapsAt120) {
    Rig rig;
    for (int i = 1; i < 120; ++i) ASSERT_FALSE(rig.renderer->countOutputFrame());
    EXPECT_TRUE(rig.renderer->countOutputFrame());
    EXPECT_EQ(rig.renderer->flushCounter(), 0);
}

TEST(RenderedLayerTest, IdentityIsExact) {
    Rig rig;
    auto image = randomImage(64, 36, 2, true);
    const auto drawn = rig.drawOne(image, 64, 36, {});
    int visible = 0;
    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 64; ++x) visible += image->constScanLine(y)[x * 4 + 3] != 0;
    // Every pixel is compared (each centre lies half a pixel inside) and matches to the byte:
    // the model's exact value rounded, with a tie allowed to go up.
    EXPECT_EQ(expectMatchesModel(drawn, image, 64, 36, {}, 0.5 + 1e-9, 0.4), visible);
}

TEST(RenderedLayerTest, RotatedScaledAnchoredAndFadedMatchTheModel) {
    Rig rig;
    struct Case {
        const char* name;
        int iw, ih, tw, th;
        MotionTransform m;
    };
    const Case cases[] = {
        {"quarter turn", 40, 24, 64, 64, {0, 0, 0, 0, 1, M_PI / 2, 1, 0, 0}},
        {"half scale about the bottom-right", 48, 32, 48, 32, {0, 0, 0, 0, 0.5, 0, 1, 1, 1}},
        {"rotated, enlarged, offset, faded",
         30,
         20,
         80,
         60,
         {0, 0, 0.1, -0.05, 1.7, 0.4, 0.6, 0, 0}},
        {"sliding part-way out", 30, 20, 60, 40, {0.3, -0.2, 0, 0, 1, -0.3, 1, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = randomImage(c.iw, c.ih, 5, false);
        const auto drawn = rig.drawOne(image, c.tw, c.th, c.m);
        EXPECT_GT(expectMatchesModel(drawn, image, c.tw, c.th, c.m, 2.0), 100);
    }
    // A quarter turn counter-clockwise puts the picture's top row on the left: the top-left
    // texel lands at the bottom-left of the turned picture.
    QImage marker(4, 2, QImage::Format_RGBA8888_Premultiplied);
    marker.fill(Qt::black);
    marker.setPixelColor(0, 0, Qt::red);
    const auto drawn = rig.drawOne(std::make_shared<const QImage>(marker), 8, 8,
                                   {0, 0, 0, 0, 1, M_PI / 2, 1, 0, 0});
    // Turned picture spans x 3..4, y 2..5 (y down); its bottom-left pixel is (3, 5).
    EXPECT_EQ(drawn[5 * 8 + 3], 0xffff0000u);
}

// The program is opaque, so the composite's straight colour equals its premultiplied one.
TEST(RenderedLayerTest, HalfOpacityLayerOverAnotherMatchesTheModel) {
    Rig rig;
    const int W = 72, H = 48;
    auto program = randomImage(W, H, 8, false);
    auto keyer = randomImage(40, 30, 9, true);
    const MotionTransform keyerPlace{0, 0, 0.05, 0.1, 0.9, 0.35, 0.5, 0, 0};
    MetalRenderer::CanvasTarget final;
    final.ensure(QSizeF(W, H), rig.renderer->device());
    auto& layers = final.layers();
    layers.program.ensure(final.size, rig.renderer->device());
    layers.dsk.ensure(final.size, rig.renderer->device());
    auto cb = rig.renderer->commandQueue().commandBuffer();
    rig.layerPass(*cb, layers.program.texture, rig.renderer->makeTexture(program),
                  MetalRenderer::corners(QSizeF(W, H), QSizeF(W, H), {}), 1, false);
    rig.layerPass(*cb, layers.dsk.texture, rig.renderer->makeTexture(keyer),
                  MetalRenderer::corners(QSizeF(40, 30), QSizeF(W, H), keyerPlace), 0.5f, false);
    auto* enc = cb->renderCommandEncoder({final.texture, gpu::LoadAction::DontCare});
    enc->setRenderPipelineState(rig.renderer->compositePipeline());
    enc->setVertexBytes(MetalRenderer::fullTargetCorners.data(), 32, 0);
    const float straight = 0;
    enc->setFragmentBytes(&straight, 4, 0);
    enc->setFragmentTexture(layers.program.texture, 0);
    enc->setFragmentTexture(layers.dsk.texture, 1);
    enc->drawPrimitives(gpu::PrimitiveType::TriangleStrip, 0, 4);
    enc->endEncoding();
    cb->commit();
    cb->waitUntilCompleted();
    ASSERT_EQ(cb->status(), gpu::CommandBufferStatus::Completed);
    const auto drawn = rig.read(*final.texture);

    const auto ndc = modelCorners(40, 30, W, H, keyerPlace);
    int exact = 0, blended = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint32_t got = drawn[size_t(y * W + x)];
            const uchar* p = program->constScanLine(y) + x * 4;
            const LayerSample k = modelLayer(*keyer, ndc, W, H, 0.5, x + 0.5, y + 0.5);
            if (!k.certain) continue;
            if (!k.inside || std::lround(k.straight[3]) == 0) {  // the program shows exactly
                ASSERT_EQ(got, 0xff000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2])
                    << x << "," << y;
                ++exact;
                continue;
            }
            const double ka = k.straight[3] / 255;
            const RGBA g = channels(got);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(g[size_t(c)], k.straight[size_t(c)] * ka + p[c] * (1 - ka), 2.0)
                    << x << "," << y;
            EXPECT_EQ(g[3], 255);
            ++blended;
        }
    EXPECT_GT(exact, 300);
    EXPECT_GT(blended, 300);
}

}  // namespace
}  // namespace velmar
