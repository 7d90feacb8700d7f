#pragma once
// What the real-time soak programs share: a 1080p59.94 movie with sound on program, a lower-third
// keyer fading in and out every two seconds, the virtual SDI card on real time, and the canvas
// engine that renders them.
#include "canvas/canvas_engine.h"
#include "canvas/signal_probe.h"
#include "core/dsk_controller.h"
#include "core/movie_playback.h"
#include "platform/base/host_clock.h"
#include "platform/player/movie_player.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "render/still_texture_cache.h"
#include "sdi/deck_link_controller.h"
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
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace velmar::bench {

// A keyer still: a lower-third bar, opaque on the left, half transparent on the right.
inline ImageRef lowerThird(int width, int height) {
    QImage image(width, height, QImage::Format_RGBA8888_Premultiplied);
    image.fill(Qt::transparent);
    for (int y = height * 3 / 4; y < height * 7 / 8; ++y) {
        uchar* p = image.scanLine(y);
        for (int x = width / 10; x < width * 9 / 10; ++x) {
            const int a = x < width / 2 ? 255 : 128;
            p[4 * x + 0] = uchar(20 * a / 255);
            p[4 * x + 1] = uchar(60 * a / 255);
            p[4 * x + 2] = uchar(200 * a / 255);
            p[4 * x + 3] = uchar(a);
        }
    }
    return std::make_shared<const QImage>(std::move(image));
}

// Busy loops standing for other work on the same cores: `cores` = 1.5 runs one loop spinning
// all the time and one spinning half of every 10 ms.
class CompetingLoad {
  public:
    explicit CompetingLoad(double cores) {
        for (int i = 0; cores - i > 0; ++i) {
            const double duty = std::min(1.0, cores - i);
            threads_.emplace_back([this, duty] { spin(duty); });
        }
    }
    ~CompetingLoad() {
        stop_ = true;
        for (std::thread& t : threads_) t.join();
    }
    // The load VELMAR_SOAK_LOAD=x asks for (x cores' worth; none without it); *cores says x.
    static std::unique_ptr<CompetingLoad> fromEnvironment(double* cores) {
        const char* text = std::getenv("VELMAR_SOAK_LOAD");
        *cores = text != nullptr ? std::atof(text) : 0.0;
        return *cores > 0 ? std::make_unique<CompetingLoad>(*cores) : nullptr;
    }

  private:
    void spin(double duty) {
        using SteadyClock = std::chrono::steady_clock;
        const auto period = std::chrono::milliseconds(10);
        const auto busy = std::chrono::duration_cast<SteadyClock::duration>(period * duty);
        auto next = SteadyClock::now();
        volatile unsigned sink = 0;
        while (!stop_) {
            const auto until = next + busy;
            while (SteadyClock::now() < until) sink = sink + 1;
            next += period;
            if (duty < 1.0) std::this_thread::sleep_until(next);
        }
    }
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    const auto k = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

// The durations of the SDI frame requests (render, pack, probe offer): the completion thread
// appends into storage reserved for the run, the main thread prints after the controller
// stopped.
class FrameRequestTimes {
  public:
    FrameRequestTimes(DeckLinkController& controller, double seconds) {
        seconds_.reserve(static_cast<std::size_t>(seconds * 61) + 64);
        controller.bridge().setFrameRequestTimer([this](double s) {
            if (seconds_.size() < seconds_.capacity()) seconds_.push_back(s);
        });
    }
    void print() const {
        std::printf("frame request        p50 %.3f ms, p99 %.3f ms, max %.3f ms (%zu requests)\n",
                    percentile(seconds_, 0.5) * 1000, percentile(seconds_, 0.99) * 1000,
                    percentile(seconds_, 1.0) * 1000, seconds_.size());
    }

  private:
    std::vector<double> seconds_;
};

// The signal monitor's probe taking its samples from the SDI frames; counts its snapshots.
inline void attachSignalProbe(DeckLinkController& controller, int* snapshots) {
    SignalProbe& probe = SignalProbe::shared();
    controller.setProbeHook(
        {[&probe] { return probe.reserveCapture(); },
         [&probe](const std::shared_ptr<gpu::PixelBuffer>& buffer, KeyAlphaMode mode) {
             probe.capture(*buffer, mode, SignalProbe::Source::sdi);
         }});
    QObject::connect(&probe, &SignalProbe::snapshotChanged, [snapshots] { ++*snapshots; });
    probe.start();
}

class SoakProgram {
  public:
    HostClock& clock = HostClock::system();
    VirtualSdiCard card{realTimeConfig()};
    std::shared_ptr<SdiOutput> output = card.deviceAtIndex(0)->output();
    const CanvasFormat canvasFormat{1920, 1080, "HD 1080"};
    const FrameRate rate{60000, 1001};
    std::mutex mutex;  // guards state, published and keyer against the render thread
    std::shared_ptr<OutputState> state;
    std::shared_ptr<const OutputState> published;
    DSKController::Snapshot keyer;
    std::shared_ptr<MoviePlayback> playback;
    StillTextureCache stillCache;
    std::unique_ptr<CanvasEngine> canvas;
    QString moviePath;

    // Makes a 10 s movie with ffmpeg when none is given, prepares it and builds the canvas.
    // Prints why and answers false when something is missing.
    bool prepare(QString movie) {
        if (movie.isEmpty()) {
            test::TestMedia::MovieOptions options;
            options.width = 1920;
            options.height = 1080;
            options.frameRateNum = 60000;
            options.frameRateDen = 1001;
            options.seconds = 10;
            options.audio = true;
            options.codecArguments = {"-preset", "ultrafast"};
            movie = test::TestMedia::movie("mp4", options);
            if (movie.isEmpty()) {
                std::fprintf(stderr, "could not make a movie with ffmpeg\n");
                return false;
            }
        }
        moviePath = movie;
        state = std::make_shared<OutputState>();
        state->canvas = canvasFormat;
        state->motion = MotionKind::cut;
        state->opacity = 1;
        keyer.media = PlayoutMedia::still(lowerThird(canvasFormat.width, canvasFormat.height));

        playback = MoviePlayback::create(moviePath, false, 0, clock);
        playback->audioLevel().setOutput(1.0f, true);
        QElapsedTimer wait;
        wait.start();
        while (!playback->isPrepared() && wait.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(5);
        }
        if (!playback->isPrepared()) {
            std::fprintf(stderr, "the movie did not prepare: %s\n", moviePath.toUtf8().constData());
            return false;
        }
        state->media =
            PlayoutMedia::movie(playback, nullptr, QSizeF(canvasFormat.width, canvasFormat.height));
        published = state;

        CanvasEngine::Sources sources;
        sources.outputState = [this] {
            std::lock_guard lock(mutex);
            return OutputSnapshot{published, 1.0};
        };
        sources.keyerSnapshot = [this] {
            std::lock_guard lock(mutex);
            return keyer;
        };
        sources.frameRate = [r = rate] { return r; };
        CanvasEngine::Options options;
        options.clock = &clock;
        options.stillCache = &stillCache;
        canvas = CanvasEngine::create(std::move(sources), options);
        if (!canvas) {
            std::fprintf(stderr, "no canvas engine\n");
            return false;
        }
        return true;
    }

    // The keyer fades in over 0.5 s, stays, and fades out over 0.5 s: a change every 2 s.
    void startKeyerFades() {
        QObject::connect(&fader_, &QTimer::timeout, [this] {
            keyerOn_ = !keyerOn_;
            std::lock_guard lock(mutex);
            keyer.from = keyer.level(clock.now());
            keyer.to = keyerOn_ ? 1.0 : 0.0;
            keyer.started = clock.now();
            keyer.duration = 0.5;
        });
        fader_.start(2000);
    }

    // After the outputs have stopped: the canvas, then the pictures, then the player's threads.
    void release() {
        fader_.stop();
        canvas.reset();
        {
            std::lock_guard lock(mutex);
            published.reset();
            state.reset();
            keyer.media.reset();
        }
        playback.reset();
        MoviePlayer::waitForReleases();
    }

  private:
    static VirtualSdiConfig realTimeConfig() {
        VirtualSdiConfig config = VirtualSdiConfig::defaultConfig();
        config.clock = SdiClockMode::realTime;
        return config;
    }
    QTimer fader_;
    bool keyerOn_ = false;
};

}  // namespace velmar::bench
