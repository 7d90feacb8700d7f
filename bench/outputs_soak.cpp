// A soak run of every output at once, in real time:
//   the virtual SDI card at 1080p59.94 (the SDI output controller renders every frame through
//   the canvas engine, a movie on program and a keyer fading in and out every two seconds),
//   the output window on the second screen, the network-video feed with one ffmpeg receiver,
//   the texture feed with one receiver, the signal monitor's probe on the SDI frames, and the
//   PROGRAM pane.
//
//   xvfb-run -s "-screen 0 1280x720x24 -screen 1 1920x1080x24"
//       taskset -c 0,1 velmar_bench_outputs_soak [--sdi-alone] [seconds] [movie]
//   (one command line; --sdi-alone: the SDI output only, the figure to compare against;
//   VELMAR_SOAK_LOAD=x: x cores' worth of busy loops inside the process)
//
// Prints SDI frames played, late and dropped, the percentiles of the SDI frame request, the
// feed frames the runtime accepted while the receiver was connected beside the frames the
// receiver decoded (ffmpeg's own count), and the texture frames the receiver saw.
// Needs an X server with a 1920 x 1080 second screen and the ffmpeg program.
#include "canvas/canvas_engine.h"
#include "core/movie_playback.h"
#include "output/canvas_metal_view.h"
#include "output/ndi_output_controller.h"
#include "output/output_window_controller.h"
#include "output/syphon_output_controller.h"
#include "platform/base/host_clock.h"
#include "platform/netvideo/netvideo_api.h"
#include "platform/player/movie_player.h"
#include "platform/screens/screen_provider.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "platform/texshare/texture_client.h"
#include "render/still_texture_cache.h"
#include "sdi/deck_link_controller.h"
#include "soak_program.h"
#include "support/test_media.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

using namespace velmar;

namespace {

// The runtime's counters, through its test hook (the module the bridge loaded).
VelmarNetVideoStats runtimeStats(const std::string& path) {
    VelmarNetVideoStats stats{};
    if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
        if (auto hook =
                reinterpret_cast<VelmarNetVideoStatsFunction>(::dlsym(handle, kNetVideoStatsHook)))
            hook(&stats);
        ::dlclose(handle);
    }
    return stats;
}

// The last "frame=N" ffmpeg wrote to its progress file.
long long decodedFrames(const QString& progressFile) {
    std::ifstream in(progressFile.toStdString());
    long long frames = 0;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("frame=", 0) == 0) frames = std::atoll(line.c_str() + 6);
    return frames;
}

int run(double seconds, QString moviePath, bool sdiAlone) {
    QTemporaryDir scratch;  // the address file of the feed
    setenv("XDG_RUNTIME_DIR", scratch.path().toUtf8().constData(), 1);
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    const std::string runtimeDir = (exe.parent_path().parent_path() / "src").string();
    setenv("NDI_RUNTIME_DIR_V6", runtimeDir.c_str(), 1);

    QString wideScreen;
    for (const ScreenInfo& s : ScreenProvider::system().screens())
        if (s.geometry.size() == QSize(1920, 1080) && s.geometry.topLeft() != QPoint(0, 0))
            wideScreen = s.identity;
    if (wideScreen.isEmpty())
        for (const ScreenInfo& s : ScreenProvider::system().screens())
            if (s.geometry.size() == QSize(1920, 1080)) wideScreen = s.identity;

    bench::SoakProgram program;
    if (!program.prepare(moviePath)) return 1;
    VirtualSdiCard& card = program.card;
    const std::shared_ptr<SdiOutput>& output = program.output;
    const CanvasFormat canvasFormat = program.canvasFormat;
    CanvasEngine& canvasEngine = *program.canvas;

    // The PROGRAM pane on the first screen, at the size it has in a full-size window.
    std::unique_ptr<CanvasMetalView> pane;
    if (!sdiAlone) {
        pane = std::make_unique<CanvasMetalView>(canvasEngine, CanvasEngine::Client::programPane);
        pane->setFitsCanvas(true);
        pane->setGeometry(40, 40, 960, 540);
        pane->show();
    }

    // Every output below is ended before the canvas it renders through is released.
    auto ownedController = std::make_unique<DeckLinkController>(canvasEngine, &card);
    DeckLinkController& controller = *ownedController;
    bench::FrameRequestTimes requests(controller, seconds);
    double load = 0;
    std::unique_ptr<bench::CompetingLoad> competing = bench::CompetingLoad::fromEnvironment(&load);
    int probeSnapshots = 0;
    if (!sdiAlone) bench::attachSignalProbe(controller, &probeSnapshots);
    program.playback->play();
    try {
        controller.start(0, canvasFormat, program.rate, true, true,
                         SDIBitDepth(SDIBitDepth::eightBit));
    } catch (const DeckLinkController::StartError& error) {
        std::fprintf(stderr, "SDI start failed: %s\n",
                     error.localizedDescription().toUtf8().constData());
        return 1;
    }
    const auto started = std::chrono::steady_clock::now();

    auto ownedWindow = std::make_unique<OutputWindowController>(canvasEngine);
    OutputWindowController& window = *ownedWindow;
    const bool windowOpen = !sdiAlone && !wideScreen.isEmpty() && window.open(wideScreen);
    if (!sdiAlone && !windowOpen)
        std::fprintf(stderr, "no second 1920 x 1080 screen: no output window\n");

    auto ownedFeed = std::make_unique<NDIOutputController>(
        canvasEngine, [canvasFormat] { return canvasFormat; }, NDIOutputController::Options{});
    NDIOutputController& feed = *ownedFeed;
    long long acceptedAtJoin = -1;
    const std::string runtimePath = runtimeDir + "/" + kNetVideoLibraryName;
    feed.onClientChange = [&](int count) {
        if (count > 0 && acceptedAtJoin < 0)
            acceptedAtJoin = runtimeStats(runtimePath).videoFramesAccepted;
    };
    if (!sdiAlone && !feed.start()) {
        std::fprintf(stderr, "the network-video feed did not start\n");
        return 1;
    }
    std::string address;
    std::getline(
        std::ifstream(
            scratch.filePath(QString::fromLatin1(NDIOutputController::kSourceName) + ".netvideo")
                .toStdString()),
        address);
    const QString progress = scratch.filePath("progress");
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.setStandardOutputFile(QProcess::nullDevice());
    if (!sdiAlone)
        ffmpeg.start("ffmpeg", {"-nostdin", "-v", "error", "-f", "nut", "-i",
                                QString::fromStdString("tcp://" + address), "-map", "0:v", "-f",
                                "null", "-", "-progress", progress});

    // The texture feed with one receiver that looks for a new frame every 4 ms.
    auto ownedTextureFeed = std::make_unique<SyphonOutputController>(canvasEngine);
    SyphonOutputController& textureFeed = *ownedTextureFeed;
    std::unique_ptr<texshare::TextureClient> receiver;
    std::uint64_t firstTexture = 0, lastTexture = 0, texturesSeen = 0;
    QTimer texturePoll;
    if (!sdiAlone) {
        if (!textureFeed.start()) std::fprintf(stderr, "the texture feed did not start\n");
        receiver = std::make_unique<texshare::TextureClient>("DOVRINE");
        QObject::connect(&texturePoll, &QTimer::timeout, [&] {
            const auto frame = receiver->latestFrame();
            if (!frame || frame->number == lastTexture) return;
            if (firstTexture == 0) firstTexture = frame->number;
            lastTexture = frame->number;
            ++texturesSeen;
        });
        texturePoll.start(4);
    }

    program.startKeyerFades();
    QTimer::singleShot(int(seconds * 1000), [] { QCoreApplication::quit(); });
    QCoreApplication::exec();

    texturePoll.stop();
    textureFeed.stop();
    receiver.reset();
    const long long acceptedAtEnd = runtimeStats(runtimePath).videoFramesAccepted;
    // Let the last frames through, then end the receiver so it writes its final count.
    QThread::msleep(500);
    feed.stop();
    ffmpeg.waitForFinished(10000);
    if (ffmpeg.state() != QProcess::NotRunning) {
        ffmpeg.terminate();
        ffmpeg.waitForFinished(10000);
    }
    const long long decoded = decodedFrames(progress);

    long long onAir = 0;
    const SdiDisplayMode mode = *output->displayMode(controller.runningMode()->displayMode());
    output->scheduledStreamTime(mode.timeScale, &onAir);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const SdiOutputCounters c = output->counters();
    const std::uint64_t dropped = controller.droppedFrameCount();
    const bool stalled = controller.isStalled();
    const quint64 paneFrames = pane ? pane->drawnFrames() : 0;
    controller.stop();
    competing.reset();
    window.close();
    ownedWindow.reset();
    ownedTextureFeed.reset();
    ownedFeed.reset();
    ownedController.reset();
    pane.reset();
    program.release();

    const long long sentToReceiver = acceptedAtJoin < 0 ? 0 : acceptedAtEnd - acceptedAtJoin;
    std::printf("mode                 %s (%lldx%lld @ %lld/%lld), keyer fading\n",
                mode.name.c_str(), mode.width, mode.height, mode.timeScale, mode.frameDuration);
    std::printf("cores                %d\n", QThread::idealThreadCount());
    std::printf("run                  %.3f s\n", elapsed);
    std::printf("SDI frame times      %lld (%.0f expected for the run)\n", c.ticks,
                elapsed * double(mode.timeScale) / double(mode.frameDuration));
    std::printf("SDI frames played    %lld (on time %lld, late %lld)\n",
                c.framesCompleted + c.framesDisplayedLate, c.framesCompleted,
                c.framesDisplayedLate);
    std::printf("SDI frames dropped   %lld (card), controller dropped count %llu\n",
                c.framesDropped, static_cast<unsigned long long>(dropped));
    std::printf("SDI repeated         %lld\n", c.underruns);
    std::printf("SDI stalled          %s\n", stalled ? "yes" : "no");
    requests.print();
    std::printf("competing load       %.2f cores\n", load);
    if (sdiAlone) {
        std::printf("other outputs        none (SDI alone)\n");
        return 0;
    }
    std::printf("probe snapshots      %d\n", probeSnapshots);
    std::printf("texture feed         frames %llu ... %llu served, %llu seen by the receiver\n",
                static_cast<unsigned long long>(firstTexture),
                static_cast<unsigned long long>(lastTexture),
                static_cast<unsigned long long>(texturesSeen));
    std::printf("output window        %s\n", windowOpen ? "open" : "not open");
    std::printf("PROGRAM pane         %llu frames drawn\n",
                static_cast<unsigned long long>(paneFrames));
    std::printf(
        "feed frames          %lld sent while the receiver was connected, %lld decoded "
        "by ffmpeg (%.2f %%)\n",
        sentToReceiver, decoded,
        sentToReceiver > 0 ? 100.0 * double(decoded) / double(sentToReceiver) : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
    QApplication app(argc, argv);
    const bool sdiAlone = argc > 1 && std::strcmp(argv[1], "--sdi-alone") == 0;
    const int first = sdiAlone ? 2 : 1;
    const double seconds = argc > first ? std::atof(argv[first]) : 600.0;
    if (!(seconds > 0)) {
        std::fprintf(stderr, "usage: %s [--sdi-alone] [seconds] [movie]\n", argv[0]);
        return 2;
    }
    return run(seconds, argc > first + 1 ? QString::fromLocal8Bit(argv[first + 1]) : QString(),
               sdiAlone);
}
