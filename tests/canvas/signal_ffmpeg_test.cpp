// The analyzer against ffmpeg's own measurements of the same frames: signalstats for the luma and
// colour-difference extremes, the waveform filter for the traces.
#include "canvas/signal_analyzer.h"
#include "render/test_pattern_renderer.h"
#include "signal_test_support.h"
#include "support/test_media.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

namespace velmar::test {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;

QString path(const QString& name) {
    return QDir(TestMedia::directory()).filePath(name);
}

// One BGRA frame of an ffmpeg source (and filters), as raw bytes.
QByteArray bgraFrame(const QString& name, const QString& graph) {
    const QString file = path("signal-" + name + ".bgra");
    if (!QFile::exists(file)) {
        const bool ok = TestMedia::run(
            "ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i", graph,
                       "-frames:v", "1", "-pix_fmt", "bgra", "-f", "rawvideo", "-y", file});
        if (!ok) return {};
    }
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::shared_ptr<const SignalSnapshot> analyzeFrame(const QByteArray& bytes) {
    auto buffer = bgraBuffer(kWidth, kHeight, [&](int x, int y) {
        const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + 4 * (y * kWidth + x);
        return Pixel{p[2], p[1], p[0], p[3]};
    });
    return SignalAnalyzer::analyze(captureOf(*buffer), KeyAlphaMode::straight, SignalSource::sdi);
}

// ffmpeg's filter graph over the raw frame; the rawvideo output, or the metadata it printed.
QByteArray ffmpegOver(const QString& name, const QString& filters, bool metadata) {
    const QString out = path("signal-" + name + (metadata ? ".txt" : ".out"));
    QFile::remove(out);
    QStringList args{"-hide_banner",
                     "-loglevel",
                     "error",
                     "-sws_flags",
                     "accurate_rnd+full_chroma_int+bitexact",
                     "-f",
                     "rawvideo",
                     "-pix_fmt",
                     "bgra",
                     "-s",
                     QString("%1x%2").arg(kWidth).arg(kHeight),
                     "-i",
                     path("signal-" + name + ".bgra")};
    if (metadata)
        args << "-vf" << filters + ",metadata=mode=print:file=" + out << "-f"
             << "null"
             << "-";
    else
        args << "-vf" << filters << "-f"
             << "rawvideo"
             << "-pix_fmt"
             << "gray"
             << "-y" << out;
    if (!TestMedia::run("ffmpeg", args)) return {};
    QFile f(out);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::map<QString, double> signalstats(const QString& name) {
    const QByteArray text = ffmpegOver(
        name, "scale=out_color_matrix=bt709:out_range=tv,format=yuv444p10le,signalstats=stat=brng",
        true);
    std::map<QString, double> values;
    static const QRegularExpression line(R"(lavfi\.signalstats\.(\w+)=([-\d.]+))");
    for (const auto& m : line.globalMatch(QString::fromUtf8(text)))
        values[m.captured(1)] = m.captured(2).toDouble();
    return values;
}

struct Source {
    const char* name;
    const char* graph;
};
const Source kSources[] = {
    {"hdbars", "smptehdbars=s=640x360"},
    {"bars75", "pal75bars=s=640x360"},
    {"bars100", "pal100bars=s=640x360"},
    {"ramp-white", "gradients=s=640x360:c0=black:c1=white:x0=0:y0=0:x1=639:y1=0:n=2"},
    {"ramp-red", "gradients=s=640x360:c0=black:c1=red:x0=0:y0=0:x1=639:y1=0:n=2"},
    {"ramp-green", "gradients=s=640x360:c0=black:c1=lime:x0=0:y0=0:x1=639:y1=0:n=2"},
    {"ramp-blue", "gradients=s=640x360:c0=black:c1=blue:x0=0:y0=0:x1=639:y1=0:n=2"},
    {"grey", "color=c=gray:s=640x360"},
};

long long code(double base, double scale, double v) {
    return std::llround(base + scale * v);
}

TEST(SignalAnalyzerFfmpegTest, LumaAndColourDifferenceExtremesMatchSignalstats) {
    for (const Source& source : kSources) {
        SCOPED_TRACE(source.name);
        const QByteArray frame = bgraFrame(source.name, source.graph);
        ASSERT_EQ(frame.size(), 4 * kWidth * kHeight);
        const auto snapshot = analyzeFrame(frame);
        ASSERT_TRUE(snapshot);
        ASSERT_EQ(snapshot->sampleColumns, kWidth) << "every pixel is sampled at 640 wide";
        const SignalStats& s = snapshot->stats;
        auto stats = signalstats(source.name);
        ASSERT_TRUE(stats.count("YMIN") && stats.count("BRNG"));
        EXPECT_NEAR(code(64, 876, s.lumaMin), stats["YMIN"], 1);
        EXPECT_NEAR(code(64, 876, s.lumaMax), stats["YMAX"], 1);
        EXPECT_NEAR(64 + 876 * s.lumaAverage, stats["YAVG"], 1);
        EXPECT_NEAR(code(512, 896, s.cbMin), stats["UMIN"], 1);
        EXPECT_NEAR(code(512, 896, s.cbMax), stats["UMAX"], 1);
        EXPECT_NEAR(code(512, 896, s.crMin), stats["VMIN"], 1);
        EXPECT_NEAR(code(512, 896, s.crMax), stats["VMAX"], 1);
        EXPECT_EQ(stats["BRNG"], 0);
    }
}

// Rows lit per column of a 256-high trace image (ours: alpha > 0; ffmpeg's: grey > 0).
std::vector<std::set<int>> litRows(const QImage& image) {
    std::vector<std::set<int>> rows(std::size_t(image.width()));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.constScanLine(y)[4 * x + 3] > 0) rows[std::size_t(x)].insert(y);
    return rows;
}
std::vector<std::set<int>> litRows(const QByteArray& gray) {
    std::vector<std::set<int>> rows(kWidth);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (uchar(gray[y * kWidth + x]) > 0) rows[std::size_t(x)].insert(y);
    return rows;
}

// Every lit row of one set has a lit row of the other within one level, both ways.
int mismatches(const std::vector<std::set<int>>& a, const std::vector<std::set<int>>& b) {
    auto covered = [](const std::set<int>& rows, int y) {
        return rows.count(y) || rows.count(y - 1) || rows.count(y + 1);
    };
    int bad = 0;
    for (std::size_t x = 0; x < a.size() && x < b.size(); ++x) {
        for (int y : a[x]) bad += !covered(b[x], y);
        for (int y : b[x]) bad += !covered(a[x], y);
    }
    return bad;
}

TEST(SignalAnalyzerFfmpegTest, LumaAndKeyWaveformsLightTheRowsFfmpegsWaveformLights) {
    const QString waveform = "waveform=m=column:d=overlay:e=none:g=none:fl=none";
    // A fill with an alpha ramp across and a soft gradient down, so that both traces are busy.
    const QByteArray frame =
        bgraFrame("alpha",
                  "smptehdbars=s=640x360,format=bgra,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)*Y/359':"
                  "a='X*255/639'");
    ASSERT_EQ(frame.size(), 4 * kWidth * kHeight);
    const auto snapshot = analyzeFrame(frame);
    ASSERT_TRUE(snapshot);
    const QByteArray luma = ffmpegOver(
        "alpha", "scale=out_color_matrix=bt709:out_range=pc,format=gray," + waveform, false);
    const QByteArray key = ffmpegOver("alpha", "alphaextract,format=gray," + waveform, false);
    ASSERT_EQ(luma.size(), 256 * kWidth);
    ASSERT_EQ(key.size(), 256 * kWidth);
    EXPECT_EQ(mismatches(litRows(snapshot->lumaWaveform), litRows(luma)), 0);
    EXPECT_EQ(mismatches(litRows(snapshot->keyWaveform), litRows(key)), 0);
}

// Our own 75 % bars (ffmpeg's come from YUV and are a few codes off the exact colours).
TEST(SignalAnalyzerFfmpegTest, SeventyFivePercentBarsHitTheirVectorscopeTargets) {
    const ImageRef bars =
        TestPatternRenderer::makeImage(TestPatternKind::colorBars75, kWidth, kHeight, {128, 128});
    ASSERT_TRUE(bars);
    auto buffer = bgraBuffer(kWidth, kHeight, [&](int x, int y) {
        const uchar* p = bars->constScanLine(y) + 4 * x;  // premultiplied RGBA, opaque
        return Pixel{p[0], p[1], p[2], p[3]};
    });
    const auto snapshot = SignalAnalyzer::analyze(captureOf(*buffer), KeyAlphaMode::straight,
                                                  SignalSource::composite);
    ASSERT_TRUE(snapshot);
    struct Target {
        const char* label;
        double x, y;
    } targets[] = {{"R", 0.4141, 0.1250},  {"Mg", 0.7891, 0.1594}, {"B", 0.8750, 0.5344},
                   {"Cy", 0.5859, 0.8750}, {"G", 0.2109, 0.8406},  {"Yl", 0.1250, 0.4656}};
    for (const Target& t : targets) {
        // A bin's own cell is at least 0.82 ln(1 + n) / ln(1 + M) + 0.18 bright; the spread
        // around it only 0.7 of that.
        int best = 0;
        const int u = int(std::lround(t.x * 256)), v = int(std::lround(t.y * 256));
        for (int dv = -1; dv <= 1; ++dv)
            for (int du = -1; du <= 1; ++du)
                best = std::max(best, rgbaAt(snapshot->vectorscope, u + du, v + dv).g);
        EXPECT_GE(best, 200) << t.label;
    }
}

}  // namespace
}  // namespace velmar::test
