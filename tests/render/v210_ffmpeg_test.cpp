// Packed frames checked with a decoder we did not write: colour bars and a keyed picture are
// packed to v210, written out raw and decoded by the ffmpeg program to planar 4:2:2 10-bit,
// then compared with the Rec. 709 / Rec. 601 limited-range values of the bar colours. The Ay10
// packing of the keyed picture is compared with the decoded v210 fill, and its key with alpha.
#include "render/ay10_packer.h"
#include "render/test_pattern_renderer.h"
#include "render/v210_packer.h"

#include "render/pack_test_support.h"
#include "support/test_media.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace velmar {
namespace {

using test::PackRig;
using test::Ycc;

// The planes of a yuv422p10le frame as ffmpeg wrote it.
struct Planes {
    int w = 0, h = 0;
    std::vector<uint16_t> y, u, v;
    Ycc at(int x, int line) const {
        const size_t c = size_t(line) * size_t(w / 2) + size_t(x / 2);
        return {y[size_t(line) * size_t(w) + size_t(x)], u[c], v[c]};
    }
};

std::optional<Planes> decodeWithFfmpeg(const QString& name, const uint8_t* rows, size_t bytes,
                                       int w, int h) {
    const QString in = test::TestMedia::file(
        name + ".v210", QByteArray(reinterpret_cast<const char*>(rows), qsizetype(bytes)));
    const QString out = test::TestMedia::directory() + "/" + name + ".yuv";
    const QString size = QString("%1x%2").arg(w).arg(h);
    QByteArray log;
    // The v210 demuxer knows the padded row length; a plain rawvideo input would cut the frame.
    if (!test::TestMedia::run("ffmpeg",
                              {"-v", "error", "-y", "-f", "v210", "-s", size, "-i", in, "-f",
                               "rawvideo", "-pix_fmt", "yuv422p10le", out},
                              &log)) {
        ADD_FAILURE() << "ffmpeg failed: " << log.toStdString();
        return std::nullopt;
    }
    QFile file(out);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray data = file.readAll();
    const size_t luma = size_t(w) * size_t(h), chroma = size_t(w / 2) * size_t(h);
    if (size_t(data.size()) != 2 * (luma + 2 * chroma)) {
        ADD_FAILURE() << "decoded size " << data.size();
        return std::nullopt;
    }
    Planes p{w, h, std::vector<uint16_t>(luma), std::vector<uint16_t>(chroma),
             std::vector<uint16_t>(chroma)};
    std::memcpy(p.y.data(), data.constData(), 2 * luma);
    std::memcpy(p.u.data(), data.constData() + 2 * luma, 2 * chroma);
    std::memcpy(p.v.data(), data.constData() + 2 * (luma + chroma), 2 * chroma);
    return p;
}

// Limited-range 10-bit Y'CbCr of an 8-bit R'G'B' colour, in doubles.
std::array<double, 3> reference(int r, int g, int b, bool rec709) {
    const double kr = rec709 ? 0.2126 : 0.299, kb = rec709 ? 0.0722 : 0.114;
    const double y = (kr * r + (1 - kr - kb) * g + kb * b) / 255;
    return {64 + 876 * y, 512 + 896 * (b / 255.0 - y) / (2 * (1 - kb)),
            512 + 896 * (r / 255.0 - y) / (2 * (1 - kr))};
}

struct Packed {
    std::shared_ptr<V210Packer> packer;
    std::shared_ptr<gpu::Buffer> rows;
};

Packed packV210(PackRig& rig, const std::shared_ptr<gpu::Texture>& texture) {
    Packed p;
    p.packer = V210Packer::create(rig.device, texture->width(), texture->height());
    p.rows = rig.buffer(p.packer->rowBytes() * size_t(texture->height()), 0xFF);
    EXPECT_TRUE(rig.pack(*p.packer, texture, p.rows));
    return p;
}

// Every decoded sample equals the field we packed (layout, padding groups and partial groups
// read the same way by both).
void expectDecoderReadsOurLayout(const Packed& p, const Planes& planes) {
    for (int line = 0; line < planes.h; line += 7) {
        const uint8_t* row = p.rows->contents() + size_t(line) * p.packer->rowBytes();
        for (int x = 0; x < planes.w; ++x) {
            const Ycc ours = test::v210Pixel(row, x), theirs = planes.at(x, line);
            ASSERT_TRUE(ours.y == theirs.y && ours.cb == theirs.cb && ours.cr == theirs.cr)
                << "x " << x << " line " << line;
        }
    }
}

TEST(V210Ffmpeg, ColourBarsDecodeToTheLimitedRangeValues) {
    const struct {
        TestPatternKind kind;
        int w, h;
        bool rec709;
    } cases[] = {
        {TestPatternKind::colorBars75, 1280, 720, true},
        {TestPatternKind::colorBars100, 710, 719,
         false},  // ends inside a group; Rec. 601 below 720
    };
    PackRig rig;
    for (const auto& c : cases) {
        const std::string what =
            c.kind.rawValue().toStdString() + " " + std::to_string(c.w) + "x" + std::to_string(c.h);
        SCOPED_TRACE(what);
        const ImageRef image = TestPatternRenderer::makeImage(c.kind, c.w, c.h, {128, 128});
        ASSERT_TRUE(image);
        const Packed p = packV210(rig, rig.texture(*image));
        const auto planes = decodeWithFfmpeg(QString::fromStdString(what).replace(' ', '_'),
                                             p.rows->contents(), p.rows->length(), c.w, c.h);
        ASSERT_TRUE(planes);
        expectDecoderReadsOurLayout(p, *planes);
        const std::vector<int> edges = TestPatternRenderer::edges(c.w, 7);
        const int line = c.h / 2;
        for (int bar = 0; bar < 7; ++bar) {
            const int x = (edges[size_t(bar)] + edges[size_t(bar) + 1]) / 2 & ~1;
            const uchar* px = image->constScanLine(line) + 4 * x;
            const auto ideal = reference(px[0], px[1], px[2], c.rec709);
            const Ycc got = planes->at(x, line);
            EXPECT_NEAR(got.y, ideal[0], 1.0) << "bar " << bar;
            EXPECT_NEAR(got.cb, ideal[1], 1.0) << "bar " << bar;
            EXPECT_NEAR(got.cr, ideal[2], 1.0) << "bar " << bar;
        }
    }
}

// A keyed picture in premultiplied colour: transparent background, an opaque red box, a
// half-transparent white box and an alpha ramp of blue.
QImage keyedPicture(int w, int h) {
    QImage image(w, h, QImage::Format_RGBA8888_Premultiplied);
    image.fill(Qt::transparent);
    for (int y = 0; y < h; ++y) {
        uchar* p = image.scanLine(y);
        for (int x = 0; x < w; ++x, p += 4) {
            if (x >= 100 && x < 400 && y >= 100 && y < 300) {
                p[0] = 255, p[3] = 255;  // red
            } else if (x >= 500 && x < 800 && y >= 100 && y < 300) {
                p[0] = p[1] = p[2] = p[3] = 128;  // 50 % white
            } else if (y >= 400 && y < 500) {
                const int a = x * 255 / (w - 1);
                p[2] = uchar(a), p[3] = uchar(a);  // blue ramp
            }
        }
    }
    return image;
}

TEST(V210Ffmpeg, KeyedPictureAy10FillMatchesDecodedV210AndKeyIsAlpha) {
    PackRig rig;
    const int w = 1280, h = 720;
    const QImage image = keyedPicture(w, h);
    auto texture = rig.texture(image);
    const Packed p = packV210(rig, texture);
    const auto planes = decodeWithFfmpeg("keyed", p.rows->contents(), p.rows->length(), w, h);
    ASSERT_TRUE(planes);
    expectDecoderReadsOurLayout(p, *planes);

    auto ay10 = AY10Packer::create(rig.device, w, h);
    auto words = rig.buffer(ay10->rowBytes() * size_t(h), 0xFF);
    ASSERT_TRUE(rig.pack(*ay10, texture, words));
    for (int line = 0; line < h; line += 3) {
        const uint8_t* row = words->contents() + size_t(line) * ay10->rowBytes();
        for (int x = 0; x < w; ++x) {
            const uint32_t word = test::wordAt(row, size_t(x));
            const Ycc decoded = planes->at(x, line);
            ASSERT_EQ(int(word & 1023), decoded.y) << x << "," << line;
            ASSERT_EQ(int((word >> 10) & 1023), x % 2 == 0 ? decoded.cb : decoded.cr)
                << x << "," << line;
            const int alpha = image.constScanLine(line)[4 * x + 3];
            ASSERT_EQ(int((word >> 20) & 1023), int(std::lround(alpha * 1023.0 / 255)))
                << x << "," << line;
            ASSERT_EQ(word >> 30, 0u);
        }
    }
    // Transparent is black with key 0; opaque red has the full key; premultiplied 50 % white
    // is fill 504 (colour 128, as given) with key 514.
    EXPECT_EQ(test::wordAt(words->contents(), 0), 64u | 512u << 10);
    const auto at = [&](int x, int line) {
        return test::wordAt(words->contents() + size_t(line) * ay10->rowBytes(), size_t(x));
    };
    EXPECT_EQ(at(200, 200) >> 20, 1023u);
    EXPECT_NEAR(double(at(200, 200) & 1023), 250, 1);
    EXPECT_EQ(at(600, 200), 504u | 512u << 10 | 514u << 20);
}

}  // namespace
}  // namespace velmar
