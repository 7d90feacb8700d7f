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

#include <map>

namespace velmar::test {
namespace {

constexpr int kFrameW = 640, kFrameH = 360;  // step 1: every pixel is a sample

QString path(const QString& name) {
    return QDir(TestMedia::directory()).filePath("signal-" + name);
}

QByteArray readFile(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One frame of an ffmpeg source as raw BGRA, and our snapshot of it.
std::shared_ptr<const SignalSnapshot> analyzeSource(const QString& name, const QString& graph) {
    const QString file = path(name + ".bgra");
    TestMedia::run("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i", graph, "-frames:v", "1",
                              "-pix_fmt", "bgra", "-f", "rawvideo", "-y", file});
    const QByteArray bytes = readFile(file);
    if (bytes.size() != 4 * kFrameW * kFrameH) return nullptr;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    auto buffer = bgraBuffer(kFrameW, kFrameH, [&](int x, int y) {
        const uchar* p = data + 4 * (y * kFrameW + x);
        return Pixel{p[2], p[1], p[0], p[3]};
    });
    return SignalAnalyzer::analyze(captureOf(*buffer), KeyAlphaMode::straight, SignalSource::sdi);
}

// ffmpeg's filters over that frame: the text they print with `metadata`, else the gray output.
QByteArray ffmpegOver(const QString& name, const QString& filters, bool metadata = false) {
    const QString out = path(name + (metadata ? ".txt" : ".gray"));
    QFile::remove(out);
    QStringList args{"-loglevel", "error",    "-sws_flags", "accurate_rnd+full_chroma_int+bitexact",
                     "-f",        "rawvideo", "-pix_fmt",   "bgra",
                     "-s",        "640x360",  "-i",         path(name + ".bgra"),
                     "-vf"};
    if (metadata)
        args << filters + ",metadata=mode=print:file=" + out << "-f"
             << "null"
             << "-";
    else
        args << filters << "-f"
             << "rawvideo"
             << "-pix_fmt"
             << "gray"
             << "-y" << out;
    TestMedia::run("ffmpeg", args);
    return readFile(out);
}

TEST(SignalAnalyzerFfmpegTest, LumaAndColourDifferenceExtremesMatchSignalstats) {
    const QString ramp = "gradients=s=640x360:c0=black:x0=0:y0=0:x1=639:y1=0:n=2:c1=";
    const std::pair<const char*, QString> sources[] = {
        {"hdbars", "smptehdbars=s=640x360"}, {"bars75", "pal75bars=s=640x360"},
        {"bars100", "pal100bars=s=640x360"}, {"ramp-white", ramp + "white"},
        {"ramp-red", ramp + "red"},          {"ramp-green", ramp + "lime"},
        {"ramp-blue", ramp + "blue"},        {"grey", "color=c=gray:s=640x360"}};
    for (const auto& [name, graph] : sources) {
        SCOPED_TRACE(name);
        const auto snapshot = analyzeSource(name, graph);
        ASSERT_TRUE(snapshot);
        const QString text = QString::fromUtf8(ffmpegOver(
            name,
            "scale=out_color_matrix=bt709:out_range=tv,format=yuv444p10le,signalstats=stat=brng",
            true));
        std::map<QString, double> theirs;
        static const QRegularExpression line(R"(lavfi\.signalstats\.(\w+)=([-\d.]+))");
        for (const auto& m : line.globalMatch(text))
            theirs[m.captured(1)] = m.captured(2).toDouble();
        ASSERT_TRUE(theirs.count("YMIN") && theirs.count("BRNG"));
        const SignalStats& s = snapshot->stats;
        auto y = [](double v) { return std::llround(64 + 876 * v); };
        auto c = [](double v) { return std::llround(512 + 896 * v); };
        EXPECT_NEAR(y(s.lumaMin), theirs["YMIN"], 1);
        EXPECT_NEAR(y(s.lumaMax), theirs["YMAX"], 1);
        EXPECT_NEAR(64 + 876 * s.lumaAverage, theirs["YAVG"], 1);
        EXPECT_NEAR(c(s.cbMin), theirs["UMIN"], 1);
        EXPECT_NEAR(c(s.cbMax), theirs["UMAX"], 1);
        EXPECT_NEAR(c(s.crMin), theirs["VMIN"], 1);
        EXPECT_NEAR(c(s.crMax), theirs["VMAX"], 1);
        EXPECT_EQ(theirs["BRNG"], 0);
    }
}

// Samples whose lit rows in one trace have no lit row within one level in the other, both ways
// (ours lit where alpha > 0; ffmpeg's 640 x 256 grey output where the value is above 0).
int mismatches(const QImage& ours, const QByteArray& theirs) {
    auto lit = [&](bool mine, int x, int y) {
        if (y < 0 || y > 255) return false;
        return mine ? ours.constScanLine(y)[4 * x + 3] > 0 : uchar(theirs[y * kFrameW + x]) > 0;
    };
    int bad = 0;
    for (int x = 0; x < kFrameW; ++x)
        for (int y = 0; y < 256; ++y)
            for (bool mine : {true, false})
                bad += lit(mine, x, y) && !lit(!mine, x, y - 1) && !lit(!mine, x, y) &&
                       !lit(!mine, x, y + 1);
    return bad;
}

TEST(SignalAnalyzerFfmpegTest, LumaAndKeyWaveformsLightTheRowsFfmpegsWaveformLights) {
    // Bars darkened downwards in blue, with an alpha ramp across.
    const auto snapshot = analyzeSource(
        "alpha",
        "smptehdbars=s=640x360,format=bgra,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)*Y/359':"
        "a='X*255/639'");
    ASSERT_TRUE(snapshot);
    const QString waveform = ",waveform=m=column:d=overlay:e=none:g=none:fl=none";
    const QByteArray luma =
        ffmpegOver("alpha", "scale=out_color_matrix=bt709:out_range=pc,format=gray" + waveform);
    const QByteArray key = ffmpegOver("alpha", "alphaextract,format=gray" + waveform);
    ASSERT_EQ(luma.size(), 256 * kFrameW);
    ASSERT_EQ(key.size(), 256 * kFrameW);
    EXPECT_EQ(mismatches(snapshot->lumaWaveform, luma), 0);
    EXPECT_EQ(mismatches(snapshot->keyWaveform, key), 0);
}

// Our own 75 % bars (ffmpeg's are made in YUV and come out a few codes off the exact colours).
TEST(SignalAnalyzerFfmpegTest, SeventyFivePercentBarsHitTheirVectorscopeTargets) {
    const ImageRef bars =
        TestPatternRenderer::makeImage(TestPatternKind::colorBars75, kFrameW, kFrameH, {128, 128});
    ASSERT_TRUE(bars);
    auto buffer = bgraBuffer(kFrameW, kFrameH, [&](int x, int y) {
        const uchar* p = bars->constScanLine(y) + 4 * x;  // opaque RGBA
        return Pixel{p[0], p[1], p[2], p[3]};
    });
    const auto s = SignalAnalyzer::analyze(captureOf(*buffer), KeyAlphaMode::straight,
                                           SignalSource::composite);
    ASSERT_TRUE(s);
    const std::pair<double, double> targets[] = {{0.4141, 0.1250}, {0.7891, 0.1594},
                                                 {0.8750, 0.5344}, {0.5859, 0.8750},
                                                 {0.2109, 0.8406}, {0.1250, 0.4656}};
    for (const auto& [x, y] : targets) {
        // A hit bin's own cell is far brighter than the 0.7 spread around it.
        int best = 0;
        const int u = int(std::lround(x * 256)), v = int(std::lround(y * 256));
        for (int dv = -1; dv <= 1; ++dv)
            for (int du = -1; du <= 1; ++du)
                best = std::max(best, rgbaAt(s->vectorscope, u + du, v + dv).g);
        EXPECT_GE(best, 200) << x << ", " << y;
    }
}

}  // namespace
}  // namespace velmar::test
