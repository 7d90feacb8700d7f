// Runs a committed command buffer: rasterises each quad, shades it with the fragment kernels
// and runs compute dispatches, all in bands of rows on the device's thread pool.
//
// Rasterisation: corners are snapped to 1/256 pixel; a pixel is drawn when its centre lies
// inside the quad, with ties on an edge going to exactly one of two quads that share it (so a
// pixel is never drawn twice and never missed where quads meet). A quad whose corners form a
// parallelogram (every placement the renderer makes) is one polygon with one affine texture
// mapping; any other quad is drawn as the two triangles of its strip.
//
// Passes that only read earlier passes' results pixel for pixel (the composite pass reading
// the layer targets at the same size, placed 1:1) run band by band together with them, so a
// band's layer rows are still in cache when the composite reads them. Results do not depend
// on the band split or the number of threads.
//
// Frames at rest: a reusable pass (RenderPassDescriptor::reusable) whose target still holds
// its result is left out, and a 1:1 composite of two private layers that have not changed
// since the composite before it is copied from the result kept the second time
// (planMemo), as is a still sampled straight onto an output frame. A frame of stills at rest
// thus costs one copy of the frame; the bytes are those a full draw would give.
#include "platform/gpu/executor.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/device.h"
#include "platform/gpu/kernels.h"
#include "platform/gpu/kernels_scalar.h"
#include "platform/gpu/memory.h"
#include "platform/gpu/texture.h"
#include "platform/gpu/thread_pool.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace velmar::gpu {

namespace {

constexpr int kBandRows = 16;
constexpr int kTileColumns = 256;
constexpr double kMaxCoordinate = double(1 << 20);  // pixels; beyond this a draw is dropped

int64_t floorDiv(int64_t a, int64_t b) {  // b > 0
    int64_t q = a / b;
    if ((a % b != 0) && (a < 0)) --q;
    return q;
}
int64_t ceilDiv(int64_t a, int64_t b) {
    return -floorDiv(-a, b);
}

struct Map {
    // Texel coordinate at pixel position (px, py): t = a + b * px + c * py.
    double ax = 0, bx = 0, cx = 0;
    double ay = 0, by = 0, cy = 0;
};

struct Poly {
    int count = 0;
    int64_t x[4] = {}, y[4] = {};  // snapped corners, 1/256 pixel
    Map map[2];                    // for fragment textures 0 and 1
};

struct Setup {
    const CommandBuffer::DrawCommand* draw = nullptr;
    FragmentKind kind = FragmentKind::Canvas;
    int polyCount = 0;
    Poly polys[2];
    int yBegin = 0, yEnd = 0;
    bool direct = false;  // texture 0 (and 1) placed 1:1 at an integer offset
    int offX = 0, offY = 0;
    kernels::SampledTexture src[2];
    kernels::LayerParams layer;
    bool premultiplyOutput = false;
    float checkerSquare = 0;
    uint32_t solid = 0;
    const BlendDescriptor* blend = nullptr;
    bool blendsOver = false;  // blend is source-over: colour by source alpha, alpha added
    // A preview drawn as a layer of opacity 1, straight in and out (the fast row kernels): it
    // zeroes the colour of a fully transparent texel, which a blend that weights the source
    // colour by its alpha leaves out anyway.
    bool previewAsLayer = false;
    // A composite at rest: its result is written to (fill) or copied from (replay) the program
    // layer's memo instead of being composited again.
    enum class Memo { None, Fill, Replay } memo = Memo::None;
    uint8_t* memoPixels = nullptr;
    size_t memoBytesPerRow = 0;
    // A composite that reads texture t from the band rows of an intermediate layer drawn inside
    // it (see fuseLayers): the slot of those rows, or -1 when it reads the texture.
    int fusedSlot[2] = {-1, -1};
    // For a 1:1 composite: which rows of texture t are wholly transparent (null when unknown);
    // such rows are read as zeros, which composite exactly as they do.
    const uint8_t* transparentRows[2] = {nullptr, nullptr};
    // For a layer sampled along source rows (no turn): which rows of its still are wholly
    // transparent (null when unknown). A pixel row that reads only such rows is 0 in every
    // layer mode, so it is written without sampling.
    const uint8_t* clearSourceRows = nullptr;
};

struct PassInfo {
    const CommandBuffer::PassCommand* pass = nullptr;
    uint32_t firstSetup = 0;
    uint32_t clearPixel = 0;
    bool moving = false;                 // a reusable pass that draws something else than last time
    int fusedSlot = -1;                  // drawn into band rows rather than its target
    uint8_t* transparentRows = nullptr;  // where a stored reusable pass notes its clear rows
};

// Per-thread rows of intermediate layers drawn inside a composite: slot s, row y of the band
// starting at y0.
struct BandRows {
    uint32_t* rows = nullptr;
    int y0 = 0;
    int width = 0;
    const uint32_t* zeros = nullptr;  // a transparent row
    uint32_t* row(int slot, int y) const {
        return rows + (size_t(slot) * kBandRows + size_t(y - y0)) * size_t(width);
    }
};

uint8_t unitToByte(double v) {
    if (!(v > 0)) return 0;
    if (v >= 1) return 255;
    return uint8_t(int(v * 255.0 + 0.5));
}

kernels::SampledTexture sampled(const Texture& t) {
    return {t.bytes(), t.bytesPerRow(), t.width(), t.height(), t.pixelFormat()};
}

Map makeMap(const double px[3], const double py[3], const double u[3], const double v[3], double w,
            double h) {
    const double e1x = px[1] - px[0], e1y = py[1] - py[0];
    const double e2x = px[2] - px[0], e2y = py[2] - py[0];
    const double det = e1x * e2y - e1y * e2x;
    const double du1 = u[1] - u[0], du2 = u[2] - u[0];
    const double dv1 = v[1] - v[0], dv2 = v[2] - v[0];
    Map m;
    m.bx = w * (du1 * e2y - du2 * e1y) / det;
    m.cx = w * (du2 * e1x - du1 * e2x) / det;
    m.by = h * (dv1 * e2y - dv2 * e1y) / det;
    m.cy = h * (dv2 * e1x - dv1 * e2x) / det;
    m.ax = (u[0] * w - 0.5) - m.bx * px[0] - m.cx * py[0];
    m.ay = (v[0] * h - 0.5) - m.by * px[0] - m.cy * py[0];
    return m;
}

// Builds polygon `poly` from corners `idx` (in drawing order) of the quad.
bool makePoly(Poly& poly, const int64_t* X, const int64_t* Y, const int* idx, int count,
              const int* mapIdx, const Setup& s) {
    int64_t area2 = 0;
    for (int i = 0; i < count; ++i) {
        const int a = idx[i], b = idx[(i + 1) % count];
        area2 += X[a] * Y[b] - X[b] * Y[a];
    }
    if (area2 == 0) return false;
    poly.count = count;
    for (int i = 0; i < count; ++i) {
        const int k = area2 > 0 ? idx[i] : idx[count - 1 - i];
        poly.x[i] = X[k];
        poly.y[i] = Y[k];
    }
    // Texture coordinates of the corners: bottom-left, bottom-right, top-left, top-right.
    static constexpr double kU[4] = {0, 1, 0, 1};
    static constexpr double kV[4] = {1, 1, 0, 0};
    double px[3], py[3], u[3], v[3];
    for (int i = 0; i < 3; ++i) {
        px[i] = double(X[mapIdx[i]]) / 256.0;
        py[i] = double(Y[mapIdx[i]]) / 256.0;
        u[i] = kU[mapIdx[i]];
        v[i] = kV[mapIdx[i]];
    }
    for (int t = 0; t < 2; ++t) {
        const auto& src = s.src[t];
        const double w = src.base != nullptr ? src.width : 1,
                     h = src.base != nullptr ? src.height : 1;
        poly.map[t] = makeMap(px, py, u, v, w, h);
    }
    return true;
}

// The pixels [xs, xe) of row y whose centres lie inside the polygon.
void span(const Poly& p, int y, int width, int& xs, int& xe) {
    int64_t lo = 0, hi = width;
    const int64_t py = int64_t(y) * 256 + 128;
    for (int i = 0; i < p.count; ++i) {
        const int j = (i + 1) % p.count;
        const int64_t ax = p.x[i], ay = p.y[i];
        const int64_t dx = p.x[j] - ax, dy = p.y[j] - ay;
        const bool owns = dy > 0 || (dy == 0 && dx < 0);
        const int64_t t = owns ? 0 : 1;
        const int64_t K = dx * (py - ay) - dy * (128 - ax);
        const int64_t M = dy * 256;
        if (M == 0) {
            if (K < t) hi = lo;
        } else if (M > 0) {
            hi = std::min(hi, floorDiv(K - t, M) + 1);
        } else {
            lo = std::max(lo, ceilDiv(t - K, -M));
        }
        if (lo >= hi) break;
    }
    xs = int(lo);
    xe = int(std::max(lo, hi));
}

bool isIdentity(const Map& m) {
    return m.bx == 1 && m.cx == 0 && m.by == 0 && m.cy == 1 &&
           std::floor(m.ax + 0.5) == m.ax + 0.5 && std::floor(m.ay + 0.5) == m.ay + 0.5 &&
           std::fabs(m.ax) < 1e7 && std::fabs(m.ay) < 1e7;
}

bool prepare(Setup& s, const CommandBuffer::DrawCommand& d, const Texture& target) {
    s.draw = &d;
    s.kind = d.pipeline->fragmentKind();
    s.blend = d.pipeline->blending().enabled ? &d.pipeline->blending() : nullptr;
    s.blendsOver = s.blend != nullptr && s.blend->sourceRGB == BlendFactor::SourceAlpha &&
                   s.blend->destinationRGB == BlendFactor::OneMinusSourceAlpha &&
                   s.blend->sourceAlpha == BlendFactor::One &&
                   s.blend->destinationAlpha == BlendFactor::OneMinusSourceAlpha;
    s.previewAsLayer = false;
    s.polyCount = 0;
    s.direct = false;
    s.src[0] = s.src[1] = {};
    for (int i = 0; i < 2; ++i)
        if (d.textures[i]) s.src[i] = sampled(*d.textures[i]);
    float f[8] = {};
    std::memcpy(f, d.fragmentBytes, sizeof(f));
    switch (s.kind) {
        case FragmentKind::Canvas:
            s.layer.opacity = kernels::opacityToByte(f[0]);
            s.layer.sourcePremultiplied = f[1] >= 0.5f;
            s.layer.premultiplyOutput = f[2] >= 0.5f;
            s.layer.swapRedBlue = s.src[0].format != PixelFormat::BGRA8Unorm;
            break;
        case FragmentKind::Composite:
            s.premultiplyOutput = f[0] >= 0.5f;
            break;
        case FragmentKind::Checker:
            s.checkerSquare = std::isfinite(f[0]) && f[0] > 0 ? f[0] : 0;
            s.solid = 0xff000000u | uint32_t(unitToByte(f[1])) << 16 |
                      uint32_t(unitToByte(f[2])) << 8 | uint32_t(unitToByte(f[3]));
            break;
        case FragmentKind::Preview:
            s.previewAsLayer =
                s.blend != nullptr && (s.blend->sourceRGB == BlendFactor::SourceAlpha ||
                                       s.blend->sourceRGB == BlendFactor::Zero);
            s.layer = {};
            s.layer.swapRedBlue = s.src[0].format != PixelFormat::BGRA8Unorm;
            break;
    }
    // Corners to pixels (y down), snapped to 1/256.
    const double W = target.width(), H = target.height();
    int64_t X[4], Y[4];
    double minY = 1e30, maxY = -1e30;
    for (int i = 0; i < 4; ++i) {
        const double px = (double(d.vertices[i].x) + 1.0) * 0.5 * W;
        const double py = (1.0 - double(d.vertices[i].y)) * 0.5 * H;
        if (!std::isfinite(px) || !std::isfinite(py) || std::fabs(px) > kMaxCoordinate ||
            std::fabs(py) > kMaxCoordinate)
            return false;
        X[i] = std::llround(px * 256.0);
        Y[i] = std::llround(py * 256.0);
        minY = std::min(minY, py);
        maxY = std::max(maxY, py);
    }
    const bool parallelogram = X[0] + X[3] == X[1] + X[2] && Y[0] + Y[3] == Y[1] + Y[2];
    if (parallelogram) {
        static constexpr int order[4] = {0, 1, 3, 2};
        static constexpr int tri[3] = {0, 1, 2};
        if (makePoly(s.polys[0], X, Y, order, 4, tri, s)) s.polyCount = 1;
    } else {
        static constexpr int triA[3] = {0, 1, 2};
        static constexpr int triB[3] = {1, 3, 2};
        if (makePoly(s.polys[s.polyCount], X, Y, triA, 3, triA, s)) ++s.polyCount;
        if (makePoly(s.polys[s.polyCount], X, Y, triB, 3, triB, s)) ++s.polyCount;
    }
    if (s.polyCount == 0) return false;
    s.yBegin = std::max(0, int(std::floor(minY)) - 1);
    s.yEnd = std::min(int(H), int(std::ceil(maxY)) + 1);
    if (s.yBegin >= s.yEnd) return false;
    if (s.polyCount == 1 && isIdentity(s.polys[0].map[0])) {
        const bool eightBit = s.src[0].format != PixelFormat::RGBA16Float;
        const bool secondMatches =
            s.kind != FragmentKind::Composite ||
            (s.src[1].width == s.src[0].width && s.src[1].height == s.src[0].height);
        if (eightBit && secondMatches &&
            (s.kind == FragmentKind::Canvas || s.kind == FragmentKind::Composite ||
             s.previewAsLayer)) {
            s.direct = true;
            s.offX = int(s.polys[0].map[0].ax + 0.5);
            s.offY = int(s.polys[0].map[0].ay + 0.5);
        }
    }
    return true;
}

// Where pixel (x, y) of a draw's result is kept in its memo; null without a memo.
uint8_t* memoAt(const Setup& s, int y, int x) {
    if (s.memo == Setup::Memo::None) return nullptr;
    return s.memoPixels + size_t(y) * s.memoBytesPerRow + size_t(x) * 4;
}

inline float rowCoord(double a, double c, int y) {
    return float(a + c * (double(y) + 0.5));
}

// Asks memory for the source texels that pixels [x0, x1) of row y will read. A rotated or
// scaled source is read along slanted lines, which hardware prefetchers do not follow; rows are
// drawn top to bottom within a tile, so asking for a row a little below the one being drawn
// has its texels in cache by the time they are read. Only a hint: nothing is read or written.
// A prefetch the compiler keeps: a loop of __builtin_prefetch alone may be dropped as having
// no effect.
inline void prefetch(const uint8_t* p) {
#if defined(__x86_64__)
    asm volatile("prefetcht0 %0" : : "m"(*p));
#else
    __builtin_prefetch(p);
#endif
}

void prefetchSource(const kernels::SampledTexture& t, const Map& m, int y, int x0, int x1) {
    if (t.base == nullptr || t.width < 1 || t.height < 1 || x1 <= x0) return;
    const size_t texel = t.format == PixelFormat::RGBA16Float ? 8 : 4;
    // One probe per 64 bytes of a source row read, walked incrementally.
    const double advance = std::fabs(m.bx) + std::fabs(m.by);
    const int step = advance > 1.0 / 16 ? std::max(1, int(double(64 / texel) / advance)) : 64;
    double tx = m.ax + m.cx * (double(y) + 0.5) + m.bx * (double(x0) + 0.5);
    double ty = m.ay + m.cy * (double(y) + 0.5) + m.by * (double(x0) + 0.5);
    const double dx = m.bx * step, dy = m.by * step;
    const double ex = tx + dx * double((x1 - x0) / step + 1),
                 ey = ty + dy * double((x1 - x0) / step + 1);
    if (!(std::fabs(tx) < 1e7 && std::fabs(ty) < 1e7 && std::fabs(ex) < 1e7 && std::fabs(ey) < 1e7))
        return;
    const double maxX = t.width - 1, maxY = t.height - 1;
    for (int x = x0; x < x1; x += step, tx += dx, ty += dy) {
        const int ix = int(std::clamp(tx, 0.0, maxX)), iy = int(std::clamp(ty, 0.0, maxY));
        const uint8_t* p = t.base + size_t(iy) * t.bytesPerRow + size_t(ix) * texel;
        prefetch(p);
        if (iy + 1 < t.height) prefetch(p + t.bytesPerRow);
    }
}

constexpr int kPrefetchRows = 2;

// Whether row y of a layer reads only wholly transparent rows of its source: the two rows the
// sampler blends at this row's source coordinate (found as the sampler finds them), and for a
// 1:1 layer the row it copies.
bool readsOnlyClearRows(const Setup& s, const Map& m, int y) {
    const kernels::SampledTexture& t = s.src[0];
    const float ty =
        kernels::scalar::clampCoord(rowCoord(m.ay, m.cy, y), -0.5f, float(t.height) - 0.5f);
    const int iy = int(std::floor(ty * 32768.0f)) >> 15;
    const int y0 = iy > 0 ? iy : 0, y1 = iy + 1 < t.height - 1 ? iy + 1 : t.height - 1;
    if (s.clearSourceRows[y0] == 0 || s.clearSourceRows[y1] == 0) return false;
    const int direct = y + s.offY;
    return !s.direct || direct < 0 || direct >= t.height || s.clearSourceRows[direct] != 0;
}

// Fragment colours of pixels [x0, x1) of row y into out[0 .. x1 - x0).
void shade(const Setup& s, const Poly& p, int y, int x0, int x1, uint32_t* out,
           const kernels::KernelTable& k, const BandRows& band) {
    const Map& m = p.map[0];
    const FragmentKind kind = s.previewAsLayer ? FragmentKind::Canvas : s.kind;
    switch (kind) {
        case FragmentKind::Canvas: {
            uint8_t* memo = memoAt(s, y, x0);
            if (s.memo == Setup::Memo::Replay) {
                streamBytes(out, memo, size_t(x1 - x0) * 4);
                return;
            }
            if (s.clearSourceRows != nullptr && readsOnlyClearRows(s, m, y)) {
                std::memset(out, 0, size_t(x1 - x0) * 4);
                if (s.memo == Setup::Memo::Fill) std::memset(memo, 0, size_t(x1 - x0) * 4);
                return;
            }
            int a = x0, b = x0;
            const int ty = y + s.offY;
            if (s.direct && ty >= 0 && ty < s.src[0].height) {
                a = std::clamp(-s.offX, x0, x1);
                b = std::clamp(s.src[0].width - s.offX, a, x1);
            }
            if (a > x0 || x1 > b) prefetchSource(s.src[0], m, y + kPrefetchRows, x0, x1);
            const float rx = rowCoord(m.ax, m.cx, y), ry = rowCoord(m.ay, m.cy, y);
            if (a > x0)
                k.canvasSampledRow(s.src[0], rx, float(m.bx), ry, float(m.by), x0, a, s.layer, out);
            if (b > a) {
                const auto* src = reinterpret_cast<const uint32_t*>(
                                      s.src[0].base + size_t(ty) * s.src[0].bytesPerRow) +
                                  (a + s.offX);
                k.canvasDirectRow(src, b - a, s.layer, out + (a - x0));
            }
            if (x1 > b) {
                const int from = std::max(b, x0);
                k.canvasSampledRow(s.src[0], rx, float(m.bx), ry, float(m.by), from, x1, s.layer,
                                   out + (from - x0));
            }
            if (s.memo == Setup::Memo::Fill) std::memcpy(memo, out, size_t(x1 - x0) * 4);
            return;
        }
        case FragmentKind::Composite: {
            const int ty = y + s.offY;
            if (s.direct && ty >= 0 && ty < s.src[0].height && x0 + s.offX >= 0 &&
                x1 + s.offX <= s.src[0].width) {
                const uint32_t* rows[2];
                for (int t = 0; t < 2; ++t)
                    rows[t] = s.fusedSlot[t] >= 0 ? band.row(s.fusedSlot[t], y) + x0
                              : s.transparentRows[t] != nullptr && s.transparentRows[t][ty] != 0
                                  ? band.zeros + x0
                                  : reinterpret_cast<const uint32_t*>(
                                        s.src[t].base + size_t(ty) * s.src[t].bytesPerRow) +
                                        (x0 + s.offX);
                const uint32_t *P = rows[0], *K = rows[1];
                uint8_t* memo = memoAt(s, y, x0);
                if (s.memo == Setup::Memo::Replay) {
                    streamBytes(out, memo, size_t(x1 - x0) * 4);
                    return;
                }
                k.compositeRow(P, K, x1 - x0, s.premultiplyOutput, out);
                if (s.memo == Setup::Memo::Fill) std::memcpy(memo, out, size_t(x1 - x0) * 4);
                return;
            }
            const Map& m1 = p.map[1];
            for (int x = x0; x < x1; ++x) {
                const float xc = float(x) + 0.5f;
                const uint32_t P =
                    kernels::scalar::sample(s.src[0], rowCoord(m.ax, m.cx, y) + float(m.bx) * xc,
                                            rowCoord(m.ay, m.cy, y) + float(m.by) * xc);
                const uint32_t K =
                    kernels::scalar::sample(s.src[1], rowCoord(m1.ax, m1.cx, y) + float(m1.bx) * xc,
                                            rowCoord(m1.ay, m1.cy, y) + float(m1.by) * xc);
                out[x - x0] = kernels::scalar::compositePixel(P, K, s.premultiplyOutput);
            }
            return;
        }
        case FragmentKind::Checker: {
            if (s.checkerSquare <= 0) {
                std::fill(out, out + (x1 - x0), s.solid);
                return;
            }
            // Two greys, 0.20 and 0.30, starting with the lighter square at the top-left. The
            // pixel x lies in square floor((x + 0.5) / size); a row is filled square by square.
            // Rows differ only in the parity of their square, which swaps the greys: each thread
            // keeps its last rows of even and odd parity and copies rows of the same span.
            constexpr uint32_t kLight = 0xff4d4d4du, kDark = 0xff333333u;
            const double size = s.checkerSquare;
            const auto square = [size](int v) {
                return int64_t(std::floor((double(v) + 0.5) / size));
            };
            thread_local std::vector<uint32_t> evenRow, oddRow;
            thread_local double evenSize = 0;
            thread_local int evenX0 = 0, evenX1 = 0;
            const int n = x1 - x0;
            if (evenSize != size || evenX0 != x0 || evenX1 != x1) {
                evenRow.resize(size_t(n));
                int x = x0;
                while (x < x1) {
                    const int64_t cx = square(x);
                    // The first pixel of the next square, estimated, then settled by the rule.
                    const double next = std::ceil(double(cx + 1) * size - 0.5);
                    int e = next >= double(x1) ? x1 : std::max(x + 1, int(next));
                    while (e > x + 1 && square(e - 1) != cx) --e;
                    while (e < x1 && square(e) == cx) ++e;
                    std::fill(evenRow.begin() + (x - x0), evenRow.begin() + (e - x0),
                              (cx & 1) == 0 ? kLight : kDark);
                    x = e;
                }
                oddRow.resize(size_t(n));
                for (int i = 0; i < n; ++i) oddRow[size_t(i)] = evenRow[size_t(i)] ^ kLight ^ kDark;
                evenSize = size;
                evenX0 = x0;
                evenX1 = x1;
            }
            const auto& from = (square(y) & 1) == 0 ? evenRow : oddRow;
            std::memcpy(out, from.data(), size_t(n) * 4);
            return;
        }
        case FragmentKind::Preview: {
            const bool swap = s.src[0].format != PixelFormat::BGRA8Unorm;
            const float rx = rowCoord(m.ax, m.cx, y), ry = rowCoord(m.ay, m.cy, y);
            for (int x = x0; x < x1; ++x) {
                const float xc = float(x) + 0.5f;
                uint32_t v =
                    kernels::scalar::sample(s.src[0], rx + float(m.bx) * xc, ry + float(m.by) * xc);
                out[x - x0] = swap ? kernels::scalar::swapRB(v) : v;
            }
            return;
        }
    }
}

int factor(BlendFactor f, int srcAlpha) {
    switch (f) {
        case BlendFactor::Zero:
            return 0;
        case BlendFactor::One:
            return 255;
        case BlendFactor::SourceAlpha:
            return srcAlpha;
        case BlendFactor::OneMinusSourceAlpha:
            return 255 - srcAlpha;
    }
    return 0;
}

// out = src * Fs + dst * Fd per channel, in 8-bit units rounded.
void blendInto(const BlendDescriptor& b, const uint32_t* src, uint32_t* dst, int count) {
    using kernels::scalar::div255;
    for (int i = 0; i < count; ++i) {
        const uint32_t s = src[i], d = dst[i];
        const int sa = int(s >> 24);
        uint32_t out = 0;
        for (int c = 0; c < 4; ++c) {
            const int sh = 8 * c;
            const bool alpha = c == 3;
            const int fs = factor(alpha ? b.sourceAlpha : b.sourceRGB, sa);
            const int fd = factor(alpha ? b.destinationAlpha : b.destinationRGB, sa);
            const int v = div255(int((s >> sh) & 255) * fs) + div255(int((d >> sh) & 255) * fd);
            out |= uint32_t(std::min(v, 255)) << sh;
        }
        dst[i] = out;
    }
}

// Whether pixels [xs, xe) of row y of a preview blended over what is under it can blend the
// source texels as they are: placed 1:1 inside the source, in the target's byte order, the
// preview's colour stage only zeroes the colour of a fully transparent texel, which source-over
// weights by that texel's alpha (0) anyway.
bool blendsSourceDirectly(const Setup& s, int y, int xs, int xe) {
    if (!s.blendsOver || !s.previewAsLayer || !s.direct || s.layer.swapRedBlue) return false;
    const int ty = y + s.offY;
    return ty >= 0 && ty < s.src[0].height && xs + s.offX >= 0 && xe + s.offX <= s.src[0].width;
}

// Where the spans of a draw's polygons on the rows of a band are kept: polygon i, row y of the
// band starting at y0, as xs then xe.
inline size_t spanIndex(int poly, int y, int y0) {
    return (size_t(poly) * kBandRows + size_t(y - y0)) * 2;
}

// The spans of a draw's polygons on rows [y0, y1), found once for all the tiles of a band
// (empty outside the rows the draw covers).
void bandSpans(const Setup& s, int y0, int y1, int width, int* out) {
    for (int i = 0; i < s.polyCount; ++i)
        for (int y = y0; y < y1; ++y) {
            int* o = out + spanIndex(i, y, y0);
            o[0] = o[1] = 0;
            if (y >= s.yBegin && y < s.yEnd) span(s.polys[i], y, width, o[0], o[1]);
        }
}

// Draws the pixels of row y that lie in [xlo, xhi); `spans` holds the draw's spans on the band
// of rows starting at y0 (bandSpans).
void drawRow(const Setup& s, int y, int y0, const int* spans, uint32_t* row, int xlo, int xhi,
             const kernels::KernelTable& k, const BandRows& band) {
    if (y < s.yBegin || y >= s.yEnd) return;
    for (int i = 0; i < s.polyCount; ++i) {
        const Poly& p = s.polys[i];
        const int* o = spans + spanIndex(i, y, y0);
        const int xs = std::max(o[0], xlo);
        const int xe = std::min(o[1], xhi);
        if (xs >= xe) continue;
        if (s.blend == nullptr) {
            shade(s, p, y, xs, xe, row + xs, k, band);
            continue;
        }
        if (blendsSourceDirectly(s, y, xs, xe)) {
            const auto* src = reinterpret_cast<const uint32_t*>(
                                  s.src[0].base + size_t(y + s.offY) * s.src[0].bytesPerRow) +
                              (xs + s.offX);
            k.blendOverRow(src, row + xs, xe - xs);
            continue;
        }
        uint32_t tmp[256];
        for (int x = xs; x < xe; x += 256) {
            const int n = std::min(256, xe - x);
            shade(s, p, y, x, x + n, tmp, k, band);
            if (s.blendsOver)
                k.blendOverRow(tmp, row + x, n);  // same bytes as blendInto
            else
                blendInto(*s.blend, tmp, row + x, n);
        }
    }
}

void fillRow(uint32_t* row, int width, uint32_t v) {
    if (width <= 0) return;
    if (v == 0)
        std::memset(row, 0, size_t(width) * 4);
    else
        std::fill(row, row + width, v);
}

// What a reusable pass draws, as words to compare with what its target holds; all zero when
// the pass cannot be reused (see RenderPassDescriptor::reusable).
Texture::PassSignature signatureOf(const CommandBuffer::PassCommand& pass,
                                   const CommandBuffer::DrawCommand* draw, uint32_t clear) {
    Texture::PassSignature sig{};
    if (!pass.descriptor.reusable || pass.descriptor.loadAction != LoadAction::Clear ||
        pass.drawCount > 1 || pass.descriptor.texture->pixelBuffer() != nullptr)
        return sig;
    sig[1] = uint64_t(clear) | uint64_t(pass.drawCount) << 32;
    if (draw != nullptr) {
        const BlendDescriptor& blend = draw->pipeline->blending();
        sig[2] = uint64_t(draw->pipeline->fragmentKind()) | uint64_t(blend.enabled) << 8 |
                 uint64_t(blend.sourceRGB) << 16 | uint64_t(blend.sourceAlpha) << 24 |
                 uint64_t(blend.destinationRGB) << 32 | uint64_t(blend.destinationAlpha) << 40;
        static_assert(sizeof(draw->vertices) == 32 && sizeof(draw->fragmentBytes) == 32);
        std::memcpy(&sig[3], draw->vertices, 32);
        std::memcpy(&sig[7], draw->fragmentBytes, 32);
        for (int t = 0; t < 2; ++t) {
            const Texture* tex = draw->textures[t].get();
            if (tex == nullptr) continue;
            if (!tex->contentIsTracked()) return Texture::PassSignature{};
            sig[size_t(11 + 2 * t)] = tex->id();
            sig[size_t(12 + 2 * t)] = tex->contentVersion();
        }
    }
    sig[0] = 1;
    return sig;
}

// Decides whether a draw keeps or reuses its result. Two draws read what does not change
// between frames at rest: a 1:1 composite of two private layers, and a layer sampled from a
// still straight onto an output frame (the single-layer path). The first time such a draw reads
// the same, unchanged textures with the same placement as the one before it, its result is
// also kept in the memo of its texture 0; from then on, while nothing changes, it is copied
// from there. A draw of changing content (a moving program, a movie) runs every frame and keeps
// nothing.
void planMemo(Setup& s, const Texture& target, const void* queue) {
    s.memo = Setup::Memo::None;
    if (s.blend != nullptr) return;
    Texture* owner = s.draw->textures[0].get();
    Texture::PassSignature sig{};
    sig[5] = uint64_t(target.width()) | uint64_t(target.height()) << 32;
    std::memcpy(&sig[6], s.draw->vertices, sizeof(s.draw->vertices));
    if (s.kind == FragmentKind::Composite) {
        const Texture* keyer = s.draw->textures[1].get();
        if (!s.direct || s.offX != 0 || s.offY != 0 ||
            owner->storageMode() != StorageMode::Private ||
            keyer->storageMode() != StorageMode::Private || !owner->contentIsTracked() ||
            !keyer->contentIsTracked() || owner->width() != target.width() ||
            owner->height() != target.height())
            return;
        sig[0] = 1;
        sig[3] = keyer->id();
        sig[4] = keyer->contentVersion() << 1 | uint64_t(s.premultiplyOutput);
    } else if (s.kind == FragmentKind::Canvas) {
        // Layer targets are left to reusable passes; 1:1 draws are as cheap as a copy.
        if (s.direct || target.contentIsTracked() || !owner->contentIsTracked()) return;
        sig[0] = 2;
        std::memcpy(&sig[10], s.draw->fragmentBytes, sizeof(s.draw->fragmentBytes));
    } else {
        return;
    }
    sig[1] = owner->id();
    sig[2] = owner->contentVersion();
    if (!owner->claimState(queue)) return;
    Texture::CompositeMemo& memo = owner->compositeMemo();
    if (memo.signature != sig) {
        memo.signature = sig;
        memo.filled = false;
        return;
    }
    const size_t bytesPerRow = size_t(target.width()) * 4;
    const size_t bytes = bytesPerRow * size_t(target.height());
    if (memo.bytes != bytes) {
        memo.pixels = allocateAligned(bytes);  // once per target size
        memo.bytes = memo.pixels ? bytes : 0;
        memo.filled = false;
        if (!memo.pixels) return;
    }
    s.memo = memo.filled ? Setup::Memo::Replay : Setup::Memo::Fill;
    s.memoPixels = memo.pixels.get();
    s.memoBytesPerRow = bytesPerRow;
    memo.filled = true;
}

// Draws intermediate layers inside the composites that read them. A reusable clearing pass
// that draws something else than it did last time (a layer in motion) and whose target is read
// by nothing in the command buffer but one 1:1 composite of the same group is drawn, band by
// band, into rows the composite reads, and never stored: the layer's bytes are not written to
// memory and read back. Its target is marked written, so it holds no pass; a layer at rest
// (drawn as last time) is stored as before and skipped from then on.
// Whether a pass of the group other than `pass` draws into `target`.
bool drawnByAnotherPass(const std::vector<PassInfo>& passes, size_t pass, const Texture* target) {
    for (size_t i = 0; i < passes.size(); ++i)
        if (i != pass && passes[i].pass->descriptor.texture.get() == target) return true;
    return false;
}

void fuseLayers(std::vector<Setup>& setups, std::vector<PassInfo>& passes,
                const std::vector<CommandBuffer::DrawCommand>& draws,
                const std::vector<CommandBuffer::DispatchCommand>& dispatches) {
    for (size_t pi = 0; pi < passes.size(); ++pi) {
        const size_t end = pi + 1 < passes.size() ? passes[pi + 1].firstSetup : setups.size();
        for (size_t si = passes[pi].firstSetup; si < end; ++si) {
            Setup& c = setups[si];
            if (c.kind != FragmentKind::Composite || !c.direct || c.offX != 0 || c.offY != 0 ||
                c.blend != nullptr || c.memo != Setup::Memo::None)
                continue;
            for (int t = 0; t < 2; ++t) {
                const Texture* layer = c.draw->textures[t].get();
                if (layer == nullptr || layer == c.draw->textures[1 - t].get()) continue;
                size_t pj = 0;
                while (pj < pi && passes[pj].pass->descriptor.texture.get() != layer) ++pj;
                if (pj == pi || !passes[pj].moving || passes[pj].fusedSlot >= 0 ||
                    passes[pj].pass->descriptor.loadAction != LoadAction::Clear ||
                    drawnByAnotherPass(passes, pj, layer))
                    continue;
                int readers = 0;
                for (const auto& d : draws)
                    for (const auto& tex : d.textures) readers += tex.get() == layer;
                for (const auto& d : dispatches)
                    for (const auto& tex : d.textures) readers += tex.get() == layer;
                if (readers != 1) continue;
                passes[pj].fusedSlot = t;
                c.fusedSlot[t] = t;
                passes[pj].pass->descriptor.texture->markWritten();  // holds no pass now
            }
        }
    }
}

// Lets 1:1 composites skip the wholly transparent rows of layers stored by earlier command
// buffers (a keyer at rest that covers part of the frame, such as a lower third), and has the
// reusable passes stored in this group note theirs. Returns whether any composite skips rows.
bool planTransparentRows(std::vector<Setup>& setups, std::vector<PassInfo>& passes,
                         const void* queue) {
    for (size_t i = 0; i < passes.size(); ++i) {
        PassInfo& info = passes[i];
        Texture& target = *info.pass->descriptor.texture;
        info.transparentRows = nullptr;
        if (info.fusedSlot >= 0 || !info.pass->descriptor.reusable || !target.contentIsTracked() ||
            drawnByAnotherPass(passes, i, &target) || !target.claimState(queue))
            continue;
        auto& rows = target.transparentRows();
        rows.rows.assign(size_t(target.height()), 0);
        rows.version = target.contentVersion();
        info.transparentRows = rows.rows.data();
    }
    bool any = false;
    for (auto& s : setups) {
        if (s.kind != FragmentKind::Composite || !s.direct || s.offX != 0 || s.offY != 0) continue;
        for (int t = 0; t < 2; ++t) {
            Texture* layer = s.draw->textures[t].get();
            if (s.fusedSlot[t] >= 0 || layer == nullptr || !layer->contentIsTracked() ||
                !layer->claimState(queue))
                continue;
            bool drawnHere = false;
            for (const auto& info : passes)
                drawnHere = drawnHere || info.pass->descriptor.texture.get() == layer;
            const auto& rows = layer->transparentRows();
            if (drawnHere || rows.version != layer->contentVersion() ||
                rows.rows.size() != size_t(layer->height()))
                continue;
            s.transparentRows[t] = rows.rows.data();
            any = true;
        }
    }
    return any;
}

// Stops at the first group of pixels with any alpha, so a row of an opaque layer costs a few
// reads rather than the whole row.
bool rowIsTransparent(const uint32_t* row, int width) {
    constexpr int kGroup = 16;
    int x = 0;
    for (; x + kGroup <= width; x += kGroup) {
        uint32_t alpha = 0;
        for (int i = 0; i < kGroup; ++i) alpha |= row[x + i];
        if ((alpha >> 24) != 0) return false;
    }
    uint32_t alpha = 0;
    for (; x < width; ++x) alpha |= row[x];
    return (alpha >> 24) == 0;
}

// Gives layers sampled from a still along its rows the still's wholly transparent rows (see
// Setup::clearSourceRows). A still's rows are scanned once its content has been seen unchanged
// in a second command buffer, so a source written every frame is never scanned.
void planClearSourceRows(std::vector<Setup>& setups, const void* queue) {
    for (auto& s : setups) {
        s.clearSourceRows = nullptr;
        if (s.kind != FragmentKind::Canvas || s.memo == Setup::Memo::Replay) continue;
        bool alongRows = true;
        for (int i = 0; i < s.polyCount; ++i) alongRows = alongRows && s.polys[i].map[0].by == 0;
        Texture* source = s.draw->textures[0].get();
        if (!alongRows || source == nullptr || source->pixelFormat() == PixelFormat::RGBA16Float ||
            (source->usage() & TextureUsageRenderTarget) != 0 || !source->contentIsTracked() ||
            !source->claimState(queue))
            continue;
        auto& rows = source->transparentRows();
        const uint64_t version = source->contentVersion();
        if (rows.version != version || rows.rows.size() != size_t(source->height())) {
            if (rows.seenVersion != version) {
                rows.seenVersion = version;
                continue;
            }
            rows.rows.resize(size_t(source->height()));
            for (int y = 0; y < source->height(); ++y)
                rows.rows[size_t(y)] = rowIsTransparent(
                    reinterpret_cast<const uint32_t*>(source->row(y)), source->width());
            rows.version = version;
        }
        s.clearSourceRows = rows.rows.data();
    }
}

struct Scratch {
    std::vector<Setup> setups;
    std::vector<PassInfo> passes;
};

}  // namespace

void Executor::run(CommandBuffer& b, Device& device) {
    thread_local Scratch scratch;  // the queue's worker keeps its capacity between frames
    auto& setups = scratch.setups;
    auto& passes = scratch.passes;
    const kernels::KernelTable& k = kernels::active();
    ThreadPool& pool = device.pool();
    const int threads = pool.threadCount();

    size_t step = 0;
    while (step < b.steps_.size()) {
        const CommandBuffer::Step first = b.steps_[step];
        if (!first.isPass) {
            const auto& d = b.dispatches_[first.index];
            ComputeArguments args;
            for (int i = 0; i < ComputeArguments::kSlots; ++i) {
                args.textures[i] = d.textures[i].get();
                const auto& bind = d.buffers[i];
                if (bind.inlineBytes) {
                    args.buffers[i] = const_cast<uint8_t*>(bind.bytes);
                    args.bufferLengths[i] = bind.length;
                } else if (bind.buffer) {
                    args.buffers[i] = bind.buffer->contents() + bind.offset;
                    args.bufferLengths[i] = bind.buffer->length() - bind.offset;
                }
            }
            for (const auto& t : d.textures) {
                if (!t) continue;  // a kernel may write what it is given
                t->markWritten();
            }
            args.gridSize = d.grid;
            args.threadsPerThreadgroup = d.threadsPerThreadgroup;
            const uint32_t rows = d.grid.height;
            const int bands = int(std::min<uint32_t>(rows, uint32_t(threads) * 4));
            auto body = [&](int band) {
                const uint32_t y0 = uint32_t(uint64_t(rows) * band / bands);
                const uint32_t y1 = uint32_t(uint64_t(rows) * (band + 1) / bands);
                if (y1 > y0) d.pipeline->kernel()(args, y0, y1);
            };
            pool.run(bands, body);
            ++step;
            continue;
        }
        // Gather a group of passes that can run band by band together. A reusable pass whose
        // target still holds its result is left out.
        setups.clear();
        passes.clear();
        Texture* groupTarget = nullptr;
        while (step < b.steps_.size() && b.steps_[step].isPass) {
            const auto& pass = b.passes_[b.steps_[step].index];
            Texture& target = *pass.descriptor.texture;
            const auto& c = pass.descriptor.clearColor;
            const uint32_t clear =
                uint32_t(unitToByte(c.alpha)) << 24 | uint32_t(unitToByte(c.red)) << 16 |
                uint32_t(unitToByte(c.green)) << 8 | uint32_t(unitToByte(c.blue));
            const Texture::PassSignature signature =
                signatureOf(pass, pass.drawCount == 1 ? &b.draws_[pass.firstDraw] : nullptr, clear);
            const bool owned = signature[0] != 0 && target.claimState(&b.queue_);
            if (owned && target.holdsPass(signature)) {
                ++step;
                continue;
            }
            const bool moving = owned && target.lastPass() != signature;
            if (groupTarget != nullptr) {
                if (target.width() != groupTarget->width() ||
                    target.height() != groupTarget->height())
                    break;
            }
            const size_t setupStart = setups.size();
            for (uint32_t i = 0; i < pass.drawCount; ++i) {
                Setup& s = setups.emplace_back();
                if (!prepare(s, b.draws_[pass.firstDraw + i], target)) setups.pop_back();
            }
            bool joins = true;
            if (!passes.empty()) {
                // Reading what earlier passes of the group wrote is fine only pixel for pixel;
                // writing what they read is never fine.
                for (size_t i = setupStart; i < setups.size() && joins; ++i) {
                    const Setup& s = setups[i];
                    for (int t = 0; t < 2 && joins; ++t) {
                        const Texture* tex = s.draw->textures[t].get();
                        if (tex == nullptr) continue;
                        for (const auto& info : passes)
                            if (info.pass->descriptor.texture.get() == tex &&
                                !(s.direct && s.offX == 0 && s.offY == 0 &&
                                  tex->width() == target.width() &&
                                  tex->height() == target.height()))
                                joins = false;
                    }
                }
                for (size_t i = 0; i < setupStart && joins; ++i)
                    for (int t = 0; t < 2; ++t)
                        if (setups[i].draw->textures[t].get() == &target) joins = false;
            }
            if (!joins) {
                setups.resize(setupStart);
                break;
            }
            for (size_t i = setupStart; i < setups.size(); ++i)
                planMemo(setups[i], target, &b.queue_);
            target.markWritten();
            if (owned) target.setHeldPass(signature);
            if (groupTarget == nullptr) groupTarget = &target;
            passes.push_back({&pass, uint32_t(setupStart), clear, moving});
            ++step;
        }
        if (passes.empty()) continue;
        fuseLayers(setups, passes, b.draws_, b.dispatches_);
        bool anyFused = false;
        for (const auto& info : passes) anyFused = anyFused || info.fusedSlot >= 0;
        const bool skipsRows = planTransparentRows(setups, passes, &b.queue_);
        planClearSourceRows(setups, &b.queue_);
        const int height = groupTarget->height();
        const int bands = (height + kBandRows - 1) / kBandRows;
        const size_t passCount = passes.size();
        auto body = [&](int band) {
            const int y0 = band * kBandRows, y1 = std::min(height, y0 + kBandRows);
            BandRows rows{nullptr, y0, groupTarget->width()};
            if (anyFused) {
                thread_local std::vector<uint32_t> fusedRows;  // kept between frames
                const size_t need = size_t(2 * kBandRows) * size_t(rows.width);
                if (fusedRows.size() < need) fusedRows.resize(need);
                rows.rows = fusedRows.data();
            }
            if (skipsRows) {
                thread_local std::vector<uint32_t> zeros;
                if (zeros.size() < size_t(rows.width)) zeros.resize(size_t(rows.width));
                rows.zeros = zeros.data();
            }
            for (size_t pi = 0; pi < passCount; ++pi) {
                const PassInfo& info = passes[pi];
                const Texture& target = *info.pass->descriptor.texture;
                const size_t setupEnd =
                    pi + 1 < passCount ? passes[pi + 1].firstSetup : setups.size();
                // The spans of the pass's draws on the band's rows, shared by its tiles.
                thread_local std::vector<int> spans;  // kept between frames
                const size_t perSetup = spanIndex(2, y0, y0);
                const size_t spanCount = (setupEnd - info.firstSetup) * perSetup;
                if (spans.size() < spanCount) spans.resize(spanCount);
                for (size_t si = info.firstSetup; si < setupEnd; ++si)
                    bandSpans(setups[si], y0, y1, groupTarget->width(),
                              spans.data() + (si - info.firstSetup) * perSetup);
                if (info.pass->descriptor.loadAction == LoadAction::Clear) {
                    // The first draw overwrites what it covers (unblended), so only the rest of
                    // the row needs the clear colour: a full-frame layer clears nothing.
                    const Setup* first =
                        info.firstSetup < setupEnd ? &setups[info.firstSetup] : nullptr;
                    const bool covers =
                        first != nullptr && first->blend == nullptr && first->polyCount == 1;
                    for (int y = y0; y < y1; ++y) {
                        auto* row = info.fusedSlot >= 0
                                        ? rows.row(info.fusedSlot, y)
                                        : reinterpret_cast<uint32_t*>(target.row(y));
                        int xs = 0, xe = 0;
                        if (covers) {
                            xs = spans[spanIndex(0, y, y0)];
                            xe = spans[spanIndex(0, y, y0) + 1];
                        }
                        if (xs >= xe) {
                            fillRow(row, target.width(), info.clearPixel);
                        } else {
                            fillRow(row, xs, info.clearPixel);
                            fillRow(row + xe, target.width() - xe, info.clearPixel);
                        }
                    }
                }
                // Tiles of a band: a rotated source is read along slanted lines, and a tile
                // keeps the texels that neighbouring rows share in cache.
                const int w = target.width();
                bool allDirect = true;
                for (size_t si = info.firstSetup; si < setupEnd; ++si)
                    allDirect =
                        allDirect && (setups[si].direct || setups[si].memo == Setup::Memo::Replay);
                const int tile = allDirect ? w : kTileColumns;  // 1:1 reads need no tiles
                for (int x0 = 0; x0 < w; x0 += tile) {
                    const int x1 = std::min(w, x0 + tile);
                    for (int y = y0; y < y1; ++y) {
                        auto* row = info.fusedSlot >= 0
                                        ? rows.row(info.fusedSlot, y)
                                        : reinterpret_cast<uint32_t*>(target.row(y));
                        for (size_t si = info.firstSetup; si < setupEnd; ++si)
                            drawRow(setups[si], y, y0,
                                    spans.data() + (si - info.firstSetup) * perSetup, row, x0, x1,
                                    k, rows);
                    }
                }
                if (info.transparentRows != nullptr)
                    for (int y = y0; y < y1; ++y)
                        info.transparentRows[y] =
                            rowIsTransparent(reinterpret_cast<const uint32_t*>(target.row(y)), w);
            }
            streamFence();  // rows copied from memos are in memory before the band is done
        };
        pool.run(bands, body);
    }
    setups.clear();
    passes.clear();
}

}  // namespace velmar::gpu
