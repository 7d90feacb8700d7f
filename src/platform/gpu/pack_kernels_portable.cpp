// The portable packing rows, the choice between them and the AVX2 rows, and the two compute
// kernels that run them over the lines of a dispatch.
#include "platform/gpu/kernels.h"
#include "platform/gpu/pack_kernels.h"
#include "platform/gpu/pack_kernels_scalar.h"
#include "platform/gpu/texture.h"

#include <cmath>
#include <cstring>

namespace velmar::gpu::pack {

namespace {

void v210RowPortable(const uint32_t* src, int width, int units, const Coefficients& c,
                     uint32_t* dst) {
    for (int u = 0; u < units; ++u) {
        const int x = 6 * u;
        if (x >= width) {
            std::memset(dst + 4 * u, 0, 16);
            continue;
        }
        uint16_t s[12];
        for (int i = 0; i < 6; ++i) {
            const uint32_t v = scalar::sample(src, width, x + i, c);
            s[2 * i] = uint16_t(v & 0xffff);
            s[2 * i + 1] = uint16_t(v >> 16);
        }
        scalar::v210Group(s, dst + 4 * u);
    }
}

void ay10RowPortable(const uint32_t* src, int width, int units, const Coefficients& c,
                     uint32_t* dst) {
    scalar::ay10Units(src, width, 0, units, c, dst);
}

const PackTable kPortable{"portable", v210RowPortable, ay10RowPortable};

int16_t fixed(double v) { return int16_t(std::lround(v * double(1 << scalar::kShift))); }

enum class Layout { v210, ay10 };

// The body shared by both kernels: checks the bindings, then packs lines [yBegin, yEnd).
void run(const ComputeArguments& args, uint32_t yBegin, uint32_t yEnd, Layout layout) {
    if (args.buffers[1] == nullptr || args.bufferLengths[1] < sizeof(PackParameters)) return;
    PackParameters p;
    std::memcpy(&p, args.buffers[1], sizeof p);
    const Texture* source = args.textures[0];
    uint8_t* out = args.buffers[0];
    if (source == nullptr || out == nullptr || p.width == 0 || p.rowUnits == 0) return;
    if (source->pixelFormat() != PixelFormat::BGRA8Unorm || uint32_t(source->width()) < p.width ||
        uint32_t(source->height()) < p.height)
        return;
    Coefficients c;
    if (!makeCoefficients(p.kr, p.kb, c)) return;
    const size_t unitBytes = layout == Layout::v210 ? 16 : 8;
    const size_t rowBytes = size_t(p.rowUnits) * unitBytes;
    // Grid positions past the row units write nothing; a dispatch narrower than the row
    // writes only the units it covers.
    const int units = int(std::min<uint64_t>(p.rowUnits, args.gridSize.width));
    const PackTable& table = active();
    const auto row = layout == Layout::v210 ? table.v210Row : table.ay10Row;
    const uint32_t last = std::min(yEnd, p.height);
    for (uint32_t y = yBegin; y < last; ++y) {
        if ((size_t(y) + 1) * rowBytes > args.bufferLengths[0]) return;
        row(reinterpret_cast<const uint32_t*>(source->row(int(y))), int(p.width), units, c,
            reinterpret_cast<uint32_t*>(out + size_t(y) * rowBytes));
    }
}

}  // namespace

bool makeCoefficients(float kr, float kb, Coefficients& out) {
    if (!std::isfinite(kr) || !std::isfinite(kb) || kr < 0 || kb < 0 || !(kr + kb < 1))
        return false;
    const double r = kr, b = kb;
    const double sY = 876.0 / 255.0, sC = 896.0 / 255.0;
    Coefficients c;
    c.yR = fixed(r * sY);
    c.yB = fixed(b * sY);
    c.yG = int16_t(fixed(sY) - c.yR - c.yB);
    c.cbB = fixed(sC / 2);
    c.cbR = fixed(-sC / 2 * r / (1 - b));
    c.cbG = int16_t(-c.cbB - c.cbR);
    c.crR = fixed(sC / 2);
    c.crB = fixed(-sC / 2 * b / (1 - r));
    c.crG = int16_t(-c.crR - c.crB);
    out = c;
    return true;
}

const PackTable& portable() { return kPortable; }

const PackTable& active() {
    // One switch for every kernel: when the row kernels are held to the portable table, so
    // are the packers.
    if (&kernels::active() == &kernels::portable()) return kPortable;
    const PackTable* fast = avx2();
    return fast != nullptr ? *fast : kPortable;
}

void v210PackKernel(const ComputeArguments& args, uint32_t yBegin, uint32_t yEnd) {
    run(args, yBegin, yEnd, Layout::v210);
}

void ay10PackKernel(const ComputeArguments& args, uint32_t yBegin, uint32_t yEnd) {
    run(args, yBegin, yEnd, Layout::ay10);
}

}  // namespace velmar::gpu::pack
