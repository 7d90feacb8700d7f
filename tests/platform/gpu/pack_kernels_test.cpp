// The 10-bit packing kernels: the AVX2 rows against the portable rows on random input (bit for
// bit, checkasm style), the portable rows against a plain floating-point model of the
// conversion, and the compute kernels' bounds (nothing written outside the row units, the
// lines, a short buffer or for unusable parameters).
#include "platform/gpu/pack_kernels.h"
#include "platform/gpu/command_buffer.h"
#include "platform/gpu/command_queue.h"
#include "platform/gpu/device.h"
#include "platform/gpu/kernels.h"
#include "platform/gpu/texture.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace velmar::gpu::pack {
namespace {

constexpr uint32_t kSentinel = 0xdeadbeef;

// Random BGRA pixels in runs: flat colour (where the [1 2 1] filter is exact), random noise,
// extremes 0 / 255, and transparent or opaque alpha.
std::vector<uint32_t> randomRow(std::mt19937& rng, size_t n) {
    std::vector<uint32_t> out(n);
    uint32_t flat = rng();
    int mode = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i % 7 == 0) {
            mode = int(rng() % 4);
            flat = rng();
        }
        switch (mode) {
            case 0:
                out[i] = flat;
                break;
            case 1:
                out[i] = rng();
                break;
            case 2:
                out[i] =
                    (rng() % 2 ? 0xffffffffu : 0xff000000u) ^ (rng() & 0x00ff00ffu ? 0 : 0xffu);
                break;
            default:
                out[i] = rng() & (rng() % 2 ? 0x00ffffffu : 0xffffffffu);
                break;
        }
    }
    return out;
}

std::vector<uint32_t> randomFrame(std::mt19937& rng, int w, int h) {
    std::vector<uint32_t> px;
    for (int y = 0; y < h; ++y) {
        const auto row = randomRow(rng, size_t(w));
        px.insert(px.end(), row.begin(), row.end());
    }
    return px;
}

struct Matrix {
    float kr, kb;
};
constexpr Matrix kRec709{0.2126f, 0.0722f}, kRec601{0.299f, 0.114f};

class PackAvx2AgreesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (avx2() == nullptr) GTEST_SKIP() << "no AVX2 on this processor";
    }
    std::mt19937 rng{20261206};
};

TEST_F(PackAvx2AgreesTest, RowsMatchPortableBitForBitOnRandomInput) {
    for (int round = 0; round < 600; ++round) {
        // Mostly short odd widths (edges, partial groups, vector tails), sometimes HD rows.
        const int width = round % 50 == 0 ? 1920 + int(rng() % 3) : 1 + int(rng() % 140);
        const Matrix m = round % 3 == 0 ? kRec601
                         : round % 3 == 1
                             ? kRec709
                             : Matrix{float(rng() % 400) / 1000, float(rng() % 400) / 1000};
        Coefficients c;
        ASSERT_TRUE(makeCoefficients(m.kr, m.kb, c));
        const auto src = randomRow(rng, size_t(width));
        for (const bool v210 : {true, false}) {
            const int unitPixels = v210 ? 6 : 2, unitWords = v210 ? 4 : 2;
            const int needed = (width + unitPixels - 1) / unitPixels;
            // Fewer units than the picture needs, exactly enough, or padding beyond it.
            const int units = std::max(0, needed - 3 + int(rng() % 12));
            std::vector<uint32_t> a(size_t(units + 2) * size_t(unitWords), kSentinel), b = a;
            const auto row = v210 ? &PackTable::v210Row : &PackTable::ay10Row;
            (portable().*row)(src.data(), width, units, c, a.data());
            (avx2()->*row)(src.data(), width, units, c, b.data());
            ASSERT_EQ(a, b) << (v210 ? "v210" : "Ay10") << " round " << round << " width " << width
                            << " units " << units;
            for (size_t i = size_t(units) * size_t(unitWords); i < a.size(); ++i)
                ASSERT_EQ(a[i], kSentinel) << "written past the units";
        }
    }
}

// ---- Reads stay inside the source row --------------------------------------------------

// Room for a row between two pages the process may not touch, so that a read before the row's
// first pixel or past its last faults.
class GuardedRow {
  public:
    explicit GuardedRow(size_t maxPixels)
        : page_(size_t(::sysconf(_SC_PAGESIZE))),
          room_((maxPixels * 4 + page_ - 1) / page_ * page_),
          length_(room_ + 2 * page_) {
        void* p =
            ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return;
        base_ = static_cast<uint8_t*>(p);
        if (::mprotect(base_, page_, PROT_NONE) != 0 ||
            ::mprotect(base_ + page_ + room_, page_, PROT_NONE) != 0) {
            ::munmap(base_, length_);
            base_ = nullptr;
        }
    }
    ~GuardedRow() {
        if (base_ != nullptr) ::munmap(base_, length_);
    }
    GuardedRow(const GuardedRow&) = delete;
    GuardedRow& operator=(const GuardedRow&) = delete;

    bool ok() const { return base_ != nullptr; }
    // The pixels copied to start right after the first guard page, or to end right at the
    // second.
    const uint32_t* place(const std::vector<uint32_t>& pixels, bool againstEnd) {
        const size_t bytes = pixels.size() * 4;
        uint8_t* first = againstEnd ? base_ + page_ + room_ - bytes : base_ + page_;
        std::memcpy(first, pixels.data(), bytes);
        return reinterpret_cast<const uint32_t*>(first);
    }

  private:
    size_t page_, room_, length_;
    uint8_t* base_ = nullptr;
};

// The vector loops read each pixel's neighbours, so they must stop while the last right
// neighbour is still inside the row. Widths around every vector step (8k + 2 has a vector end
// exactly at the row end) and the 384-pixel chunks of the v210 rows, each row against a guard
// page at either end; the words are those of the same row in ordinary memory.
TEST(PackRowsTest, RowsReadNothingOutsideTheSourceRow) {
    std::mt19937 rng{20261207};
    Coefficients c;
    ASSERT_TRUE(makeCoefficients(kRec709.kr, kRec709.kb, c));
    std::vector<const PackTable*> tables{&portable()};
    if (avx2() != nullptr) tables.push_back(avx2());
    GuardedRow guarded(8 * 97 + 7);
    ASSERT_TRUE(guarded.ok());
    for (const int eights : {0, 1, 2, 3, 47, 48, 49, 95, 96, 97}) {
        for (const int rest : {0, 1, 2, 7}) {
            const int width = 8 * eights + rest;
            if (width == 0) continue;
            const auto pixels = randomRow(rng, size_t(width));
            for (const PackTable* table : tables) {
                for (const bool v210 : {true, false}) {
                    const int units = v210 ? (width + 5) / 6 : (width + 1) / 2;
                    const auto row = v210 ? table->v210Row : table->ay10Row;
                    std::vector<uint32_t> want(size_t(units) * (v210 ? 4 : 2));
                    row(pixels.data(), width, units, c, want.data());
                    for (const bool againstEnd : {true, false}) {
                        std::vector<uint32_t> got(want.size());
                        row(guarded.place(pixels, againstEnd), width, units, c, got.data());
                        EXPECT_EQ(got, want)
                            << table->name << (v210 ? " v210" : " Ay10") << " width " << width;
                    }
                }
            }
        }
    }
}

// ---- The portable rows against a floating-point model -------------------------------------

struct Fields {
    int y, cb, cr;
};

// The conversion in doubles: limited range, chroma of pair p from [1 2 1] about pixel 2p.
double idealLuma(uint32_t p, Matrix m) {
    const double r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
    const double kg = 1.0 - m.kr - m.kb;
    return 64 + 876 * (m.kr * r + kg * g + m.kb * b) / 255;
}

void idealChroma(const std::vector<uint32_t>& px, int e, Matrix m, double& cb, double& cr) {
    const int w = int(px.size());
    const uint32_t q[3] = {px[size_t(std::max(e - 1, 0))], px[size_t(e)],
                           px[size_t(std::min(e + 1, w - 1))]};
    double r = 0, g = 0, b = 0;
    const double weight[3] = {0.25, 0.5, 0.25};
    for (int i = 0; i < 3; ++i) {
        r += weight[i] * ((q[i] >> 16) & 255);
        g += weight[i] * ((q[i] >> 8) & 255);
        b += weight[i] * (q[i] & 255);
    }
    const double y = m.kr * r + (1.0 - m.kr - m.kb) * g + m.kb * b;
    cb = 512 + 896 * (b - y) / (2 * (1 - m.kb)) / 255;
    cr = 512 + 896 * (r - y) / (2 * (1 - m.kr)) / 255;
}

TEST(PackPortableTest, RowsFollowTheLimitedRangeModelWithinRounding) {
    std::mt19937 rng(7);
    for (const Matrix m : {kRec709, kRec601}) {
        Coefficients c;
        ASSERT_TRUE(makeCoefficients(m.kr, m.kb, c));
        for (int round = 0; round < 40; ++round) {
            const int width = 1 + int(rng() % 61);
            const auto px = randomRow(rng, size_t(width));
            const int units = (width + 5) / 6;
            std::vector<uint32_t> v210(size_t(units) * 4), ay10(size_t(width + 1) / 2 * 2);
            portable().v210Row(px.data(), width, units, c, v210.data());
            portable().ay10Row(px.data(), width, int(ay10.size() / 2), c, ay10.data());
            // Unpack v210 into (Y, Cb, Cr) per pixel.
            std::vector<int> samples;
            for (uint32_t w : v210) {
                EXPECT_EQ(w >> 30, 0u);
                for (int k = 0; k < 3; ++k) samples.push_back(int((w >> (10 * k)) & 1023));
            }
            for (int x = 0; x < width; ++x) {
                const int e = x & ~1;
                double cb, cr;
                idealChroma(px, e, m, cb, cr);
                const int y = samples[size_t(2 * x + 1)];
                const int cbGot = samples[size_t(2 * e)], crGot = samples[size_t(2 * e + 2)];
                // Exact rounding of the ideal value, give or take the 2^-13 coefficient step.
                EXPECT_NEAR(y, idealLuma(px[size_t(x)], m), 0.56) << "x " << x;
                EXPECT_NEAR(cbGot, cb, 0.56) << "x " << x;
                EXPECT_NEAR(crGot, cr, 0.56) << "x " << x;
                // Ay10 carries the same fill, and the alpha as the key.
                const uint32_t word = ay10[size_t(x)];
                EXPECT_EQ(int(word & 1023), y);
                EXPECT_EQ(int((word >> 10) & 1023), x % 2 == 0 ? cbGot : crGot);
                EXPECT_EQ((word >> 20) & 1023, keyFromAlpha(px[size_t(x)] >> 24));
                EXPECT_EQ(word >> 30, 0u);
            }
        }
    }
}

// Weights far beyond any real matrix (gains above 1, negative weights) drive the arithmetic past
// both ends of the code range: whatever it gives, no sample takes a code the wire reserves for
// timing (0-3, 1020-1023), and each is the exact value held to 4...1019.
TEST(PackPortableTest, CodesOutsideTheVideoRangeAreHeldClearOfTheReservedCodes) {
    Coefficients hot;
    hot.yR = 20000, hot.yG = 20000, hot.yB = -20000;
    hot.cbR = 30000, hot.cbG = 0, hot.cbB = -30000;
    hot.crR = -30000, hot.crG = 30000, hot.crB = 0;
    auto code = [](double v) { return std::clamp(std::floor(v + 0.5), 4.0, 1019.0); };
    std::mt19937 rng(5);
    std::vector<const PackTable*> tables{&portable()};
    if (avx2() != nullptr) tables.push_back(avx2());
    int clampedLow = 0, clampedHigh = 0;
    for (const PackTable* table : tables) {
        SCOPED_TRACE(table->name);
        const int width = 53;  // vector bodies and a scalar tail
        const auto px = randomRow(rng, size_t(width));
        const int units = (width + 5) / 6;
        std::vector<uint32_t> v210(size_t(units) * 4);
        table->v210Row(px.data(), width, units, hot, v210.data());
        std::vector<uint32_t> ay10(size_t(width + 1));
        table->ay10Row(px.data(), width, (width + 1) / 2, hot, ay10.data());
        std::vector<int> samples;
        for (uint32_t w : v210)
            for (int k = 0; k < 3; ++k) samples.push_back(int((w >> (10 * k)) & 1023));
        auto channel = [&](int i, int shift) { return double((px[size_t(i)] >> shift) & 255); };
        for (int x = 0; x < width; ++x) {
            const double y =
                64 +
                (hot.yR * channel(x, 16) + hot.yG * channel(x, 8) + hot.yB * channel(x, 0)) / 8192;
            EXPECT_EQ(samples[size_t(2 * x + 1)], code(y)) << "Y' of " << x;
            EXPECT_EQ(ay10[size_t(x)] & 1023, code(y)) << "Ay10 Y' of " << x;
            clampedLow += y < 4;
            clampedHigh += y > 1019;
            if (x % 2 != 0) continue;
            double sum[3] = {};  // R, G, B filtered [1 2 1] about x
            for (int k = 0; k < 3; ++k)
                for (int d = -1; d <= 1; ++d)
                    sum[k] +=
                        (d == 0 ? 2 : 1) * channel(std::clamp(x + d, 0, width - 1), 16 - 8 * k);
            const double cb =
                512 + (hot.cbR * sum[0] + hot.cbG * sum[1] + hot.cbB * sum[2]) / 32768;
            const double cr =
                512 + (hot.crR * sum[0] + hot.crG * sum[1] + hot.crB * sum[2]) / 32768;
            EXPECT_EQ(samples[size_t(2 * x)], code(cb)) << "Cb of " << x;
            EXPECT_EQ(samples[size_t(2 * x + 2)], code(cr)) << "Cr of " << x;
            EXPECT_EQ((ay10[size_t(x)] >> 10) & 1023, code(cb)) << "Ay10 Cb of " << x;
            EXPECT_EQ((ay10[size_t(x + 1)] >> 10) & 1023, code(cr)) << "Ay10 Cr of " << x;
        }
    }
    EXPECT_GT(clampedLow, 0) << "the row reaches below the range";
    EXPECT_GT(clampedHigh, 0) << "and above it";
}

TEST(PackPortableTest, KeyIsTheNearestTenBitCodeOfTheAlpha) {
    for (uint32_t a = 0; a < 256; ++a)
        EXPECT_EQ(keyFromAlpha(a), uint32_t(std::lround(a * 1023.0 / 255.0))) << a;
}

TEST(PackPortableTest, GreysAreNeutralAndPaddingFollowsTheRules) {
    Coefficients c;
    ASSERT_TRUE(makeCoefficients(kRec709.kr, kRec709.kb, c));
    // Width 7: one full group, one group with a single pixel, then two padding groups.
    const std::vector<uint32_t> px = {0xff000000, 0xffffffff, 0xff808080, 0x00000000,
                                      0xff404040, 0xffc0c0c0, 0xff000000};
    std::vector<uint32_t> v(16, kSentinel);
    portable().v210Row(px.data(), 7, 4, c, v.data());
    // Group 1: pixel 6 black, pixels 7-11 past the width: Y' 64, pair 3 has real chroma
    // (grey: 512), pairs 4 and 5 are neutral.
    const uint32_t black[4] = {0x20010200, 0x04080040, 0x20010200, 0x04080040};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(v[size_t(4 + k)], black[k]) << k;
    for (int k = 8; k < 16; ++k) EXPECT_EQ(v[size_t(k)], 0u) << k;
    // Transparent black packs as black; greys have exactly neutral chroma.
    EXPECT_EQ((v[2] >> 10) & 1023, 64u);
    for (uint32_t w : {v[0], v[2]}) EXPECT_EQ((w & 1023), 512u);

    // Ay10, odd width 3: pixel 3 is black with the pair's Cr and key 0; pair 2 is zero words.
    std::vector<uint32_t> a(6, kSentinel);
    const std::vector<uint32_t> three = {0x80ffffff, 0x00000000, 0xff101010};
    portable().ay10Row(three.data(), 3, 3, c, a.data());
    EXPECT_EQ(a[0], 940u | 512u << 10 | keyFromAlpha(0x80) << 20);
    EXPECT_EQ(a[1], 64u | 512u << 10);
    EXPECT_EQ(a[3], 64u | 512u << 10);
    EXPECT_EQ(a[4], 0u);
    EXPECT_EQ(a[5], 0u);
}

TEST(PackPortableTest, UnusableLumaCoefficientsAreRefused) {
    Coefficients c;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const Matrix m : {Matrix{nan, 0.1f}, Matrix{0.2f, INFINITY}, Matrix{-0.1f, 0.1f},
                           Matrix{0.6f, 0.4f}, Matrix{0.9f, 0.2f}})
        EXPECT_FALSE(makeCoefficients(m.kr, m.kb, c)) << m.kr << " " << m.kb;
    EXPECT_TRUE(makeCoefficients(0, 0, c));
}

// ---- The compute kernels -------------------------------------------------------------------

struct KernelFixture {
    std::shared_ptr<Device> device = Device::create(3);
    std::shared_ptr<CommandQueue> queue = device->newCommandQueue();
    std::shared_ptr<Library> library = device->newDefaultLibrary();

    std::shared_ptr<Texture> source(int w, int h, const std::vector<uint32_t>& px,
                                    PixelFormat format = PixelFormat::BGRA8Unorm) {
        auto t = device->newTexture({format, w, h, TextureUsageShaderRead, StorageMode::Managed});
        t->replaceRegion(px.data(), size_t(w) * 4);
        return t;
    }

    // Runs `name` over a grid of gridW x gridH; the buffer starts filled with the sentinel.
    std::vector<uint32_t> run(const char* name, const std::shared_ptr<Texture>& texture,
                              const PackParameters& p, size_t bufferBytes, uint32_t gridW,
                              uint32_t gridH) {
        auto function = library->newFunction(name);
        EXPECT_TRUE(function && function->functionType() == FunctionType::Kernel) << name;
        auto pipeline = device->newComputePipelineState(function);
        EXPECT_TRUE(pipeline);
        auto buffer = device->newBuffer(bufferBytes);
        auto* words = reinterpret_cast<uint32_t*>(buffer->contents());
        std::fill(words, words + bufferBytes / 4, kSentinel);
        auto cb = queue->commandBuffer();
        auto* enc = cb->computeCommandEncoder();
        enc->setComputePipelineState(pipeline);
        enc->setTexture(texture, 0);
        enc->setBuffer(buffer, 0, 0);
        enc->setBytes(&p, sizeof p, 1);
        enc->dispatchThreads({gridW, gridH, 1}, {8, 8, 1});
        enc->endEncoding();
        cb->commit();
        cb->waitUntilCompleted();
        EXPECT_EQ(cb->status(), CommandBufferStatus::Completed);
        return {words, words + bufferBytes / 4};
    }
};

TEST(PackKernelTest, DispatchPacksEveryLineAsTheRowFunctionAndNothingElse) {
    KernelFixture f;
    std::mt19937 rng(99);
    const int w = 53, h = 29;
    const auto px = randomFrame(rng, w, h);
    auto texture = f.source(w, h, px);
    Coefficients c;
    ASSERT_TRUE(makeCoefficients(kRec601.kr, kRec601.kb, c));
    struct Case {
        const char* name;
        uint32_t units;
        int unitWords;
    };
    for (const Case k : {Case{"v210_pack", 16, 4}, Case{"ay10_pack", 32, 2}}) {
        SCOPED_TRACE(k.name);
        const size_t rowWords = size_t(k.units) * size_t(k.unitWords);
        const PackParameters p{uint32_t(w), uint32_t(h), k.units, kRec601.kr, kRec601.kb};
        // A padded grid and two spare lines in the buffer: neither may be touched.
        const auto out =
            f.run(k.name, texture, p, rowWords * 4 * size_t(h + 2), k.units + 13, uint32_t(h + 11));
        std::vector<uint32_t> expect(rowWords);
        for (int y = 0; y < h; ++y) {
            const auto row =
                std::string(k.name) == "v210_pack" ? portable().v210Row : portable().ay10Row;
            row(px.data() + size_t(y) * size_t(w), w, int(k.units), c, expect.data());
            ASSERT_TRUE(
                std::equal(expect.begin(), expect.end(), out.begin() + long(size_t(y) * rowWords)))
                << "line " << y;
        }
        for (size_t i = rowWords * size_t(h); i < out.size(); ++i) ASSERT_EQ(out[i], kSentinel);

        // A grid narrower than the row writes only the units it covers.
        const auto narrow = f.run(k.name, texture, p, rowWords * 4 * size_t(h), 5, uint32_t(h));
        EXPECT_NE(narrow[4 * size_t(k.unitWords) + 1], kSentinel);
        EXPECT_EQ(narrow[5 * size_t(k.unitWords)], kSentinel);
    }
}

TEST(PackKernelTest, BadBindingsWriteNothing) {
    KernelFixture f;
    const int w = 12, h = 4;
    const std::vector<uint32_t> px(size_t(w * h), 0xff336699);
    auto texture = f.source(w, h, px);
    const PackParameters good{uint32_t(w), uint32_t(h), 2, kRec709.kr, kRec709.kb};
    const size_t bytes = 2 * 16 * size_t(h);
    auto untouched = [](const std::vector<uint32_t>& v, size_t from = 0) {
        for (size_t i = from; i < v.size(); ++i)
            if (v[i] != kSentinel) return false;
        return true;
    };
    // Unusable coefficients, a picture wider or taller than the source.
    for (auto spoil :
         {+[](PackParameters& p) { p.kr = std::numeric_limits<float>::quiet_NaN(); },
          +[](PackParameters& p) { ++p.width; }, +[](PackParameters& p) { ++p.height; }}) {
        PackParameters bad = good;
        spoil(bad);
        EXPECT_TRUE(untouched(f.run("v210_pack", texture, bad, bytes + 32, 2, bad.height)));
    }
    auto rgba = f.source(w, h, px, PixelFormat::RGBA8Unorm);
    EXPECT_TRUE(untouched(f.run("v210_pack", rgba, good, bytes, 2, h)));
    // A buffer one byte short of the last line: every earlier line is packed, the last is not.
    const auto shortOut = f.run("v210_pack", texture, good, bytes - 4, 2, h);
    EXPECT_FALSE(untouched(shortOut));
    EXPECT_TRUE(untouched(shortOut, 2 * 4 * size_t(h - 1)));
}

}  // namespace
}  // namespace velmar::gpu::pack
