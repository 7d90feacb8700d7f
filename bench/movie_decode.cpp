// Decode-to-BGRA throughput of the movie player beside the ffmpeg program doing the same work
// (`ffmpeg -i F -pix_fmt bgra -f null -`) on the same file, in the same run.
//
//   velmar_bench_movie_decode [file ...] [benchmark options]
//
// Without files, two 10-second 1080p59.94 movies are made with ffmpeg (h264 and ProRes 422).
// Each benchmark iteration runs the player once and the ffmpeg program once, alternating, so
// both meet the same load; the counters are the medians over the iterations. Arg 0 uses every
// core of the affinity mask; arg 2 pins the process (and so the ffmpeg child) to the first two
// cores of it. The player sizes its decoder and converter threads from the mask it sees.
// The player is driven by a clock that jumps to each next frame as soon as the previous one
// was taken, so it runs as fast as it can decode and convert.
#include "platform/player/movie_player.h"
#include "support/test_media.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

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

constexpr int kSeconds = 10;

QString makeMovie(const QString& name, const QStringList& codecArgs) {
    const QString path = TestMedia::directory() + "/" + name;
    if (QFile::exists(path)) return path;
    QStringList args{"-hide_banner",
                     "-loglevel",
                     "error",
                     "-y",
                     "-f",
                     "lavfi",
                     "-i",
                     QString("testsrc2=size=1920x1080:rate=60000/1001:duration=%1").arg(kSeconds)};
    args << codecArgs << path;
    if (!TestMedia::run("ffmpeg", args)) return {};
    return path;
}

std::vector<QString>& files() {
    static std::vector<QString> list;
    return list;
}

// Restricts the calling thread (and every thread and process it starts afterwards) to the
// first `cores` cores of its mask (0: the whole mask); restores the mask when destroyed.
class Pinning {
  public:
    explicit Pinning(int cores) {
        CPU_ZERO(&saved_);
        sched_getaffinity(0, sizeof saved_, &saved_);
        if (cores <= 0) return;
        cpu_set_t pinned;
        CPU_ZERO(&pinned);
        int taken = 0;
        for (int c = 0; c < CPU_SETSIZE && taken < cores; ++c) {
            if (!CPU_ISSET(c, &saved_)) continue;
            CPU_SET(c, &pinned);
            ++taken;
        }
        sched_setaffinity(0, sizeof pinned, &pinned);
    }
    ~Pinning() { sched_setaffinity(0, sizeof saved_, &saved_); }
    static int count() {
        cpu_set_t set;
        CPU_ZERO(&set);
        sched_getaffinity(0, sizeof set, &set);
        return CPU_COUNT(&set);
    }

  private:
    cpu_set_t saved_;
};

// Seconds the ffmpeg program takes to decode the file to BGRA (process start included).
double ffmpegSeconds(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    if (!TestMedia::run("ffmpeg", {"-hide_banner", "-loglevel", "error", "-i", path, "-pix_fmt",
                                   "bgra", "-f", "null", "-"}))
        return NAN;
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// Opens the file and takes every frame in order, timed from the player's construction (the
// file's opening included, as ffmpeg's is); returns the frames taken.
int playerFrames(const QString& path, double* seconds) {
    QElapsedTimer timer;
    timer.start();
    JumpClock clock;
    velmar::MoviePlayer player(path.toStdString(), clock);
    // Polled with short sleeps, not spun: a spinning taker would steal a core from the decoder
    // it waits for (the ffmpeg program has no such thread).
    const auto pause = std::chrono::microseconds(100);
    while (player.status() == velmar::MoviePlayer::Status::Unknown)
        std::this_thread::sleep_for(pause);
    if (player.status() != velmar::MoviePlayer::Status::ReadyToPlay) return 0;
    player.setRate(1.0f);
    const double step = player.nominalFrameDuration();
    const double duration = player.duration();
    auto& output = player.videoOutput();
    const int total = static_cast<int>(std::floor(duration / step + 0.5));
    int taken = 0;
    for (int i = 0; i < total; ++i) {
        const double t = i * step + step * 0.5;
        clock.set(t);
        while (!output.hasNewFrameForItemTime(t)) std::this_thread::sleep_for(pause);
        velmar::VideoFrameRef frame = output.copyFrameForItemTime(t);
        benchmark::DoNotOptimize(frame->data()[0]);
        ++taken;
    }
    *seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    return taken;
}

double median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void BM_PlayerVersusFfmpeg(benchmark::State& state) {
    const auto fileIndex = static_cast<std::size_t>(state.range(0));
    const QString path = fileIndex < files().size() ? files()[fileIndex] : QString();
    if (path.isEmpty()) {
        state.SkipWithError("no movie");
        return;
    }
    const Pinning pinning(static_cast<int>(state.range(1)));
    std::vector<double> playerFps, ffmpegFps, ratios;
    for (auto _ : state) {
        double seconds = 0;
        const int frames = playerFrames(path, &seconds);
        const double peer = ffmpegSeconds(path);
        if (frames < 1 || !(peer > 0)) {
            state.SkipWithError("the player or ffmpeg failed");
            return;
        }
        playerFps.push_back(frames / seconds);
        ffmpegFps.push_back(frames / peer);
        ratios.push_back(peer / seconds);
    }
    state.SetLabel(QString("%1, %2 cores")
                       .arg(QFileInfo(path).fileName())
                       .arg(Pinning::count())
                       .toStdString());
    state.counters["player_fps"] = median(playerFps);
    state.counters["ffmpeg_fps"] = median(ffmpegFps);
    state.counters["ratio"] = median(ratios);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Leading arguments that are not benchmark options are the files to decode.
    int first = 1;
    while (first < argc && std::strncmp(argv[first], "--", 2) != 0) {
        files().push_back(QString::fromLocal8Bit(argv[first]));
        ++first;
    }
    if (files().empty()) {
        files().push_back(
            makeMovie("bench-1080p5994-h264.mp4",
                      {"-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"}));
        files().push_back(
            makeMovie("bench-1080p5994-prores.mov",
                      {"-c:v", "prores_ks", "-profile:v", "2", "-pix_fmt", "yuv422p10le"}));
    }
    for (std::size_t i = 0; i < files().size(); ++i) {
        for (const int cores : {0, 2}) {
            benchmark::RegisterBenchmark("BM_PlayerVersusFfmpeg", BM_PlayerVersusFfmpeg)
                ->Args({static_cast<long>(i), cores})
                ->Iterations(5)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    int rest = argc - first + 1;
    std::vector<char*> args{argv[0]};
    for (int i = first; i < argc; ++i) args.push_back(argv[i]);
    benchmark::Initialize(&rest, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
