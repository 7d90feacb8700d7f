#pragma once
// What the real-time soak programs share: a 1080p59.94 movie with sound on program, a lower-third
// keyer fading in and out every two seconds, the virtual SDI card on real time, and the canvas
// engine that renders them.
#include "canvas/canvas_engine.h"
#include "core/dsk_controller.h"
#include "core/movie_playback.h"
#include "platform/base/host_clock.h"
#include "platform/player/movie_player.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "render/still_texture_cache.h"
#include "support/test_media.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <mutex>

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
