// Decode-to-BGRA throughput of the movie player beside the ffmpeg program doing the same work
// (`ffmpeg -i F -pix_fmt bgra -f null -`) on the same 1080p files, timed in the same run.
// The player is driven by a clock that jumps to each next frame as soon as the previous one
// was taken, so it runs as fast as it can decode and convert.
#include "platform/player/movie_player.h"
#include "support/test_media.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <map>
#include <thread>

namespace {

using velmar::test::TestMedia;

class JumpClock final : public velmar::HostClock {
  public:
    double now() const override { return now_.load(); }
    std::chrono::system_clock::time_point wallNow() const override { return {}; }
    void set(double t) { now_ = t; }

  private:
    std::atomic<double> now_{0.0};
};

constexpr int kSeconds = 4;
constexpr int kFrameRate = 25;

QString makeMovie(const QString& name, const QStringList& codecArgs) {
    const QString path = TestMedia::directory() + "/" + name;
    if (QFile::exists(path)) return path;
    QStringList args{
        "-hide_banner",
        "-loglevel",
        "error",
        "-y",
        "-f",
        "lavfi",
        "-i",
        QString("testsrc2=size=1920x1080:rate=%1:duration=%2").arg(kFrameRate).arg(kSeconds)};
    args << codecArgs << path;
    if (!TestMedia::run("ffmpeg", args)) return {};
    return path;
}

QString movieFor(int kind) {
    static std::map<int, QString> made;
    if (!made.count(kind)) {
        made[kind] =
            kind == 0 ? makeMovie("bench-1080p-h264.mp4",
                                  {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"})
                      : makeMovie("bench-1080p-prores.mov", {"-c:v", "prores_ks", "-profile:v", "2",
                                                             "-pix_fmt", "yuv422p10le"});
    }
    return made[kind];
}

// Frames per second of the ffmpeg program decoding the file to BGRA (process start included).
double ffmpegFps(const QString& path) {
    static std::map<QString, double> measured;
    if (measured.count(path)) return measured[path];
    double best = 0;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        TestMedia::run("ffmpeg", {"-hide_banner", "-loglevel", "error", "-i", path, "-pix_fmt",
                                  "bgra", "-f", "null", "-"});
        best = std::max(best, kSeconds * kFrameRate / (timer.nsecsElapsed() / 1e9));
    }
    return measured[path] = best;
}

// Opens the file and takes every frame in order; returns the number of frames taken.
int decodeAll(const QString& path) {
    JumpClock clock;
    velmar::MoviePlayer player(path.toStdString(), clock);
    while (player.status() == velmar::MoviePlayer::Status::Unknown) std::this_thread::yield();
    if (player.status() != velmar::MoviePlayer::Status::ReadyToPlay) return 0;
    player.setRate(1.0f);
    const double step = player.nominalFrameDuration();
    auto& output = player.videoOutput();
    int taken = 0;
    const int total = kSeconds * kFrameRate;
    for (int i = 0; i < total; ++i) {
        const double t = i * step + step * 0.5;
        clock.set(t);
        while (!output.hasNewFrameForItemTime(t)) std::this_thread::yield();
        velmar::VideoFrameRef frame = output.copyFrameForItemTime(t);
        benchmark::DoNotOptimize(frame->data()[0]);
        ++taken;
    }
    return taken;
}

void BM_PlayerDecodeToBGRA(benchmark::State& state) {
    const QString path = movieFor(static_cast<int>(state.range(0)));
    if (path.isEmpty()) {
        state.SkipWithError("could not make the movie");
        return;
    }
    const double peer = ffmpegFps(path);
    long frames = 0;
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        frames += decodeAll(path);
        seconds += timer.nsecsElapsed() / 1e9;
    }
    const double fps = frames / seconds;
    state.SetLabel(state.range(0) == 0 ? "1080p h264" : "1080p ProRes 422");
    state.counters["player_fps"] = fps;
    state.counters["ffmpeg_fps"] = peer;
    state.counters["ratio"] = fps / peer;
}
BENCHMARK(BM_PlayerDecodeToBGRA)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
