// Soak runs of the SDI output on the virtual card in real time at 1080p59.94.
//
//   velmar_bench_sdi_soak [seconds] [uhdFillKey]
//       The playback bridge alone: BGRA with embedded audio, a trivial frame provider that
//       stamps each ring buffer, and a counting audio source. With uhdFillKey: 2160p59.94 in
//       10-bit fill and key (the bridge copies each frame). VELMAR_SOAK_RECORD=DIR: the card
//       records what it plays into DIR, as record=DIR does.
//   velmar_bench_sdi_soak --controller [seconds] [eightBit|tenBitFillKey|tenBit] [movie]
//       (VELMAR_SOAK_PROBE=1: with the signal probe taking its samples from the SDI frames.
//       VELMAR_SOAK_LOAD=x: x cores' worth of busy loops inside the process, each spinning for
//       its share of every 10 ms, so they compete for the cores `taskset` allows.)
//       The whole output: the SDI output controller renders every frame through the canvas
//       engine, with a movie on program (a 1080p59.94 movie with sound is generated with the
//       ffmpeg program when none is given) and a keyer fading in and out every two seconds;
//       program audio goes from the movie's tap through the SDI audio ring into the card.
//
// Both print frames played, late and dropped, audio underruns, and the drift of the video and
// audio timelines against the host clock; the controller run also prints each stretch of
// program-audio underrun with its time and the movie's loop points, and the percentiles of
// the frame request (render, pack, probe offer). Restrict the cores with `taskset -c 0,1`.
#include "canvas/canvas_engine.h"
#include "canvas/signal_probe.h"
#include "core/movie_playback.h"
#include "core/sdi_audio_bridge.h"
#include "platform/audio/audio_output.h"
#include "platform/base/host_clock.h"
#include "platform/player/movie_player.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "render/still_texture_cache.h"
#include "sdi/deck_link_controller.h"
#include "sdi/zr_deck_link_output.h"
#include "soak_program.h"
#include "support/test_media.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

using namespace velmar;

namespace {

using SteadyClock = std::chrono::steady_clock;

// Watches the program-audio ring and the movie's position every 2 ms from a thread of its own:
// stretches of underrun (consecutive samples with a growing count) and loop points (the
// position going back), both as seconds since `started`. With each stretch it keeps how long
// the local mixer, which runs the tap that feeds the ring, had mixed nothing when it began,
// and how many frames the ring held at the sample before. With each stretch it keeps how long
// the local mixer, which runs the tap that feeds the ring, had mixed nothing before it, and how
// many frames the ring held at the last sample before it.
class AudioWatch {
  public:
    struct Stretch {
        double from = 0;
        double to = 0;
        long long frames = 0;
        double mixerIdle = 0;  // seconds the mixer had not mixed when the stretch began
        int storedBefore = 0;  // frames in the ring at the sample before
    };

    AudioWatch(SteadyClock::time_point started, const MoviePlayer& player)
        : started_(started), player_(player), thread_([this] { run(); }) {}
    ~AudioWatch() { stop(); }
    void stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }

    void print(double skipBefore) const {
        long long counted = 0;
        for (const Stretch& s : stretches_) {
            if (s.to < skipBefore) continue;
            counted += s.frames;
            double loop = -1;
            for (double l : loops_)
                if (l <= s.to + 0.5) loop = l;
            std::printf(
                "  underrun %8.3f ... %8.3f s  %6lld frames, mixer idle %5.1f ms, ring "
                "held %5d",
                s.from, s.to, s.frames, s.mixerIdle * 1000, s.storedBefore);
            if (loop >= 0) std::printf("  (last loop point %.3f s)", loop);
            std::printf("\n");
        }
        std::printf("underrun stretches   %lld frames after %.1f s\n", counted, skipBefore);
        std::printf("loop points         ");
        for (double l : loops_) std::printf(" %.3f", l);
        std::printf("\n");
    }

  private:
    void run() {
        long long last = SDIAudioBridge::shared().underrunFrames();
        double lastPosition = player_.currentTime();
        std::uint64_t lastMixed = AudioOutput::shared().framesMixed();
        double lastMixAt = 0;
        int lastStored = 0;
        bool open = false;
        while (!stop_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const double at = std::chrono::duration<double>(SteadyClock::now() - started_).count();
            const long long count = SDIAudioBridge::shared().underrunFrames();
            const std::uint64_t mixed = AudioOutput::shared().framesMixed();
            if (mixed != lastMixed) {
                lastMixed = mixed;
                lastMixAt = at;
            }
            if (count > last) {
                if (!open) stretches_.push_back({at, at, 0, at - lastMixAt, lastStored});
                stretches_.back().to = at;
                stretches_.back().frames += count - last;
                open = true;
            } else {
                open = false;
            }
            last = count;
            lastStored = SDIAudioBridge::shared().storedFrames();
            const double position = player_.currentTime();
            if (position + 0.5 < lastPosition) loops_.push_back(at);
            lastPosition = position;
        }
    }

    SteadyClock::time_point started_;
    const MoviePlayer& player_;
    std::vector<Stretch> stretches_;
    std::vector<double> loops_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

int runBridgeSoak(double seconds, bool uhdFillKey) {
    VirtualSdiConfig config = VirtualSdiConfig::defaultConfig();
    config.clock = SdiClockMode::realTime;
    if (const char* folder = std::getenv("VELMAR_SOAK_RECORD")) config.recordDirectory = folder;
    VirtualSdiCard card(config);
    const std::uint32_t modeCode = fourCC(uhdFillKey ? "U59p" : "F59p");
    std::shared_ptr<SdiOutput> output = card.deviceAtIndex(0)->output();
    const std::optional<SdiDisplayMode> mode = output->displayMode(modeCode);
    if (!mode) {
        std::fprintf(stderr, "no such 59.94 mode on the virtual card\n");
        return 1;
    }

    std::vector<ZRFrameBuffer> ring;
    for (int i = 0; i < 4; ++i) {
        ring.push_back(ZRFrameBuffer::allocate(
            mode->width, mode->height,
            ZRDeckLinkOutput::rowBytesFor(SdiPixelFormat::bgra8, mode->width),
            SdiPixelFormat::bgra8));
    }
    std::atomic<long long> requests{0};
    auto frameRequest = [&]() -> long long {
        const long long n = requests++;
        const long long slot = n % 4;
        std::memcpy(ring[static_cast<size_t>(slot)].bytes(), &n, sizeof n);
        return slot;
    };
    std::atomic<long long> audioFrames{0};
    auto audioRequest = [&](std::int32_t* samples, long long frames) {
        const long long base = audioFrames.fetch_add(frames);
        for (long long i = 0; i < frames; ++i) {
            samples[2 * i] = samples[2 * i + 1] = static_cast<std::int32_t>(base + i);
        }
    };

    ZRDeckLinkOutput bridge(&card);
    ZRDeckLinkError error;
    const auto started = std::chrono::steady_clock::now();
    if (!bridge.start(0, modeCode, ring, uhdFillKey, uhdFillKey, frameRequest, audioRequest,
                      &error)) {
        std::fprintf(stderr, "start failed: %d %s\n", error.code,
                     error.message.toUtf8().constData());
        return 1;
    }
    const auto until = started + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

    long long onAir = 0;
    output->scheduledStreamTime(mode->timeScale, &onAir);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const SdiOutputCounters c = output->counters();
    const bool stalled = bridge.isStalled();
    const std::uint64_t dropped = bridge.droppedFrameCount();
    bridge.stop();

    const double videoSeconds = static_cast<double>(onAir) / static_cast<double>(mode->timeScale);
    std::printf("mode                 %s (%lldx%lld @ %lld/%lld)\n", mode->name.c_str(),
                mode->width, mode->height, mode->timeScale, mode->frameDuration);
    std::printf("run                  %.3f s\n", elapsed);
    std::printf(
        "frame times          %lld (%lld passed over by a late wake; %.0f by the host "
        "clock)\n",
        c.ticks, c.ticksMissed,
        elapsed * static_cast<double>(mode->timeScale) / static_cast<double>(mode->frameDuration));
    std::printf("frames played        %lld (on time %lld, late %lld)\n",
                c.framesCompleted + c.framesDisplayedLate, c.framesCompleted,
                c.framesDisplayedLate);
    std::printf("frames dropped       %lld (card), bridge dropped count %llu\n", c.framesDropped,
                static_cast<unsigned long long>(dropped));
    std::printf("repeated pictures    %lld\n", c.underruns);
    std::printf("schedules refused    %lld\n", c.schedulesRefused);
    std::printf("audio scheduled      %lld sample frames, played %lld, underruns %lld, gaps %lld\n",
                c.audioSamplesScheduled, c.audioSamplesPlayed, c.audioSamplesMissing,
                c.audioDiscontinuities);
    std::printf("audio vs video       %lld sample frames (expected %lld for the frames played)\n",
                c.audioSamplesPlayed, mode->audioSamplesThrough(c.ticks));
    std::printf(
        "video drift          %+.3f ms (frame on air vs host clock, within one frame is normal)\n",
        (videoSeconds - elapsed) * 1000.0);
    std::printf("stalled              %s\n", stalled ? "yes" : "no");
    if (!config.recordDirectory.empty()) {
        const SdiOutputCounters r = output->counters();
        std::printf(
            "recorded             %lld frames, %lld left out, %lld sample frames left out\n",
            r.recordedFrames, r.recordFramesDropped, r.recordAudioDropped);
    }
    return 0;
}

int runControllerSoak(double seconds, SDIBitDepth depth, QString moviePath) {
    bench::SoakProgram program;
    if (!program.prepare(moviePath)) return 1;
    VirtualSdiCard& card = program.card;
    const std::shared_ptr<SdiOutput>& output = program.output;
    std::shared_ptr<MoviePlayback>& playback = program.playback;
    CanvasEngine& canvas = *program.canvas;

    // Ended before the canvas it renders through is released.
    auto owned = std::make_unique<DeckLinkController>(canvas, &card);
    DeckLinkController& controller = *owned;
    bench::FrameRequestTimes requests(controller, seconds);
    double load = 0;
    std::unique_ptr<bench::CompetingLoad> competing = bench::CompetingLoad::fromEnvironment(&load);
    int probeSnapshots = 0;
    const bool withProbe = std::getenv("VELMAR_SOAK_PROBE") != nullptr;
    if (withProbe) bench::attachSignalProbe(controller, &probeSnapshots);
    playback->play();
    try {
        controller.start(0, program.canvasFormat, program.rate, true, true, depth);
    } catch (const DeckLinkController::StartError& error) {
        std::fprintf(stderr, "start failed: %s\n",
                     error.localizedDescription().toUtf8().constData());
        return 1;
    }
    // Playback starts as start() returns (after the three preroll frames were rendered).
    const auto started = std::chrono::steady_clock::now();
    AudioWatch watch(started, playback->player());
    const std::uint64_t mixedAtStart = AudioOutput::shared().framesMixed();
    // The ring runs empty until the movie's first audio arrives; count what comes after.
    long long startupUnderruns = -1;
    QTimer::singleShot(1000, [&] { startupUnderruns = SDIAudioBridge::shared().underrunFrames(); });

    program.startKeyerFades();
    QTimer::singleShot(int(seconds * 1000), [] { QCoreApplication::quit(); });
    QCoreApplication::exec();

    long long onAir = 0;
    const SdiDisplayMode mode = *output->displayMode(controller.runningMode()->displayMode());
    output->scheduledStreamTime(mode.timeScale, &onAir);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const SdiOutputCounters c = output->counters();
    const bool stalled = controller.isStalled();
    const std::uint64_t dropped = controller.droppedFrameCount();
    const long long ringUnderruns = SDIAudioBridge::shared().underrunFrames();
    const long long ringDropped = SDIAudioBridge::shared().droppedFrames();
    const double movieFps = playback->health().measuredFPS;
    const std::uint64_t mixed = AudioOutput::shared().framesMixed() - mixedAtStart;
    controller.stop();
    owned.reset();
    watch.stop();
    competing.reset();
    program.release();

    const double videoSeconds = static_cast<double>(onAir) / static_cast<double>(mode.timeScale);
    std::printf("mode                 %s (%lldx%lld @ %lld/%lld), %s, keyer on\n",
                mode.name.c_str(), mode.width, mode.height, mode.timeScale, mode.frameDuration,
                depth.rawValue().toUtf8().constData());
    std::printf("cores                %d\n", QThread::idealThreadCount());
    std::printf("movie                %s (delivered %.2f fps)\n",
                program.moviePath.toUtf8().constData(), movieFps);
    std::printf("run                  %.3f s\n", elapsed);
    std::printf("frame times          %lld\n", c.ticks);
    std::printf("frames played        %lld (on time %lld, late %lld)\n",
                c.framesCompleted + c.framesDisplayedLate, c.framesCompleted,
                c.framesDisplayedLate);
    std::printf("frames dropped       %lld (card), controller dropped count %llu\n",
                c.framesDropped, static_cast<unsigned long long>(dropped));
    std::printf("repeated pictures    %lld\n", c.underruns);
    std::printf("schedules refused    %lld\n", c.schedulesRefused);
    std::printf("audio played         %lld sample frames, silence for missing %lld, gaps %lld\n",
                c.audioSamplesPlayed, c.audioSamplesMissing, c.audioDiscontinuities);
    std::printf(
        "audio ring           underrun %lld sample frames (%lld after the first second), dropped "
        "%lld\n",
        ringUnderruns, ringUnderruns - std::max(0LL, startupUnderruns), ringDropped);
    std::printf("audio vs video       %lld sample frames (expected %lld for the frame times)\n",
                c.audioSamplesPlayed, mode.audioSamplesThrough(c.ticks));
    std::printf(
        "video drift          %+.3f ms (frame on air vs host clock, within one frame is normal)\n",
        (videoSeconds - elapsed) * 1000.0);
    std::printf("stalled              %s\n", stalled ? "yes" : "no");
    if (withProbe) std::printf("probe snapshots      %d\n", probeSnapshots);
    std::printf("local audio device   %s, %.1f sample frames a second\n",
                AudioOutput::shared().hasDevice() ? "SDL" : "paced by the steady clock",
                static_cast<double>(mixed) / elapsed);
    std::printf("competing load       %.2f cores\n", load);
    requests.print();
    watch.print(1.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--controller") == 0) {
        if (std::getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
        QCoreApplication app(argc, argv);
        const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
        const std::optional<SDIBitDepth> depth =
            argc > 3 ? SDIBitDepth::fromRawValue(QString::fromUtf8(argv[3]))
                     : SDIBitDepth(SDIBitDepth::eightBit);
        if (!(seconds > 0) || !depth) {
            std::fprintf(
                stderr,
                "usage: %s --controller [seconds] [eightBit|tenBitFillKey|tenBit] [movie]\n",
                argv[0]);
            return 2;
        }
        return runControllerSoak(seconds, *depth,
                                 argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString());
    }
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const bool uhdFillKey = argc > 2 && std::strcmp(argv[2], "uhdFillKey") == 0;
    if (!(seconds > 0) || (argc > 2 && !uhdFillKey)) {
        std::fprintf(stderr,
                     "usage: %s [seconds] [uhdFillKey] | --controller [seconds] [depth] [movie]\n",
                     argv[0]);
        return 2;
    }
    return runBridgeSoak(seconds, uhdFillKey);
}
