// The signal monitor on the SDI road: 1080p59.94 v210 played through the virtual card with the
// probe on, the card's recording measured by ffmpeg's signalstats, and the monitor's figures
// for the frame the SDI path offered it held to those measurements within one code.
#include "canvas/canvas_fixture.h"
#include "canvas/signal_probe.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "sdi/deck_link_controller.h"
#include "support/event_loop.h"
#include "support/test_media.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <map>

namespace velmar::test {
namespace {

constexpr int W = 1920, H = 1080;

// One frame of an ffmpeg source as an opaque still.
ImageRef sourceFrame(const QTemporaryDir& dir, const QString& graph) {
    const QString file = dir.filePath("source.bgra");
    if (!TestMedia::run("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i", graph, "-frames:v",
                                   "1", "-pix_fmt", "bgra", "-f", "rawvideo", "-y", file}))
        return nullptr;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return nullptr;
    const QByteArray bytes = f.readAll();
    if (bytes.size() != 4 * W * H) return nullptr;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    return makeImage(W, H, [data](int x, int y) {
        const uchar* p = data + 4 * (size_t(y) * W + x);
        return Bgra{p[0], p[1], p[2], 255};
    });
}

// signalstats of the first frame of a v210 recording: name -> value.
std::map<QString, double> signalstatsOf(const QString& v210, const QString& text) {
    TestMedia::run("ffmpeg", {"-loglevel", "error", "-f", "v210", "-video_size", "1920x1080", "-i",
                              v210, "-frames:v", "1", "-vf",
                              "signalstats,metadata=mode=print:file=" + text, "-f", "null", "-"});
    QFile f(text);
    std::map<QString, double> values;
    if (!f.open(QIODevice::ReadOnly)) return values;
    static const QRegularExpression line(R"(lavfi\.signalstats\.(\w+)=([-\d.]+))");
    for (const auto& m : line.globalMatch(QString::fromUtf8(f.readAll())))
        values[m.captured(1)] = m.captured(2).toDouble();
    return values;
}

struct SdiSignalTest : CanvasFixture {
    QTemporaryDir dir;
    std::unique_ptr<SignalProbe> probe;
    std::unique_ptr<VirtualSdiCard> card;
    std::unique_ptr<DeckLinkController> controller;

    void SetUp() override {
        CanvasFixture::SetUp();
        state.canvas = CanvasFormat{W, H, "HD 1080"};
        makeCanvas();
        probe = std::make_unique<SignalProbe>(clock, clock);
    }
    void TearDown() override {
        controller.reset();
        card.reset();
        probe.reset();
        drainMainQueue();
    }

    // Plays the program for a few frames with the probe taking the first; returns the monitor's
    // snapshot and leaves the card's v210 recording in `folder`.
    std::shared_ptr<const SignalSnapshot> play(const QString& folder) {
        VirtualSdiConfig config;
        config.clock = SdiClockMode::manual;
        config.devices.push_back(SdiDeviceConfig{});
        config.recordDirectory = folder.toStdString();
        card = std::make_unique<VirtualSdiCard>(config);
        controller = std::make_unique<DeckLinkController>(*canvas, card.get());
        SignalProbe* p = probe.get();
        controller->setProbeHook(
            {[p] { return p->reserveCapture(); },
             [p](const std::shared_ptr<gpu::PixelBuffer>& buffer, KeyAlphaMode mode) {
                 p->capture(*buffer, mode, SignalProbe::Source::sdi);
             }});
        clock.advance(SignalProbe::kMinimumSpacing);
        probe->start();
        controller->start(0, state.canvas, {60000, 1001}, false, false,
                          SDIBitDepth::tenBitFillOnly);
        card->deviceAtIndex(0)->output()->step(2);
        probe->waitForAnalysis();
        drainMainQueue();
        auto snapshot = probe->snapshot();
        probe->stop();
        controller.reset();  // the recording is complete once the output is gone
        card.reset();
        return snapshot;
    }
};

TEST_F(SdiSignalTest, TheMonitorsFiguresMatchSignalstatsOnTheRecordedV210) {
    const QString ramp = "gradients=s=1920x1080:c0=black:x0=0:y0=0:x1=1919:y1=0:n=2:c1=";
    const std::pair<const char*, QString> sources[] = {{"hdbars", "smptehdbars=s=1920x1080"},
                                                       {"ramp-magenta", ramp + "magenta"}};
    for (const auto& [name, graph] : sources) {
        SCOPED_TRACE(name);
        const ImageRef image = sourceFrame(dir, graph);
        ASSERT_TRUE(image);
        setProgram(image);
        const QString folder = dir.filePath(name);
        ASSERT_TRUE(QDir().mkpath(folder));
        const auto snapshot = play(folder);
        ASSERT_TRUE(snapshot) << "the SDI path offered the probe a frame";
        EXPECT_EQ(snapshot->source, SignalSource::sdi);

        auto theirs = signalstatsOf(folder + "/sdi0.v210", folder + "/stats.txt");
        ASSERT_TRUE(theirs.count("YMIN") && theirs.count("VMAX")) << "ffmpeg read the recording";
        const SignalStats& s = snapshot->stats;
        auto y = [](double v) { return 64 + 876 * v; };
        auto c = [](double v) { return 512 + 896 * v; };
        EXPECT_NEAR(y(s.lumaMin), theirs["YMIN"], 1);
        EXPECT_NEAR(y(s.lumaMax), theirs["YMAX"], 1);
        EXPECT_NEAR(y(s.lumaAverage), theirs["YAVG"], 1);
        EXPECT_NEAR(c(s.cbMin), theirs["UMIN"], 1);
        EXPECT_NEAR(c(s.cbMax), theirs["UMAX"], 1);
        EXPECT_NEAR(c(s.crMin), theirs["VMIN"], 1);
        EXPECT_NEAR(c(s.crMax), theirs["VMAX"], 1);
    }
}

}  // namespace
}  // namespace velmar::test
