// One 1920 x 1080 frame through the signal probe's path on one core: the row-subsampled copy
// (what the SDI frame thread pays) and the analysis with its seven images (what the probe's
// queue pays), beside ffmpeg's signalstats on the same frame in the same run. The peer runs as
// the ffmpeg program on one thread over 300 copies of the frame as yuv422p10le; its cost per
// frame is its CPU time minus that of the same run with a null filter.
//   BM_SignalCaptureCopy: the copy alone. Counters: ms, allocations per copy (0 once the
//     capture buffer has grown).
//   BM_SignalAnalysis: copy + analysis + images, the workspace reused as the probe does (arg 1)
//     or made anew each time (arg 0). Counters: ms, peer_ms (signalstats per frame), ratio
//     (ms / peer_ms; the target is at most 0.25).
#include "canvas/signal_analyzer.h"
#include "allocation_counter.h"
#include "canvas/signal_capture.h"
#include "platform/gpu/gpu_types.h"
#include "platform/gpu/pixel_buffer.h"
#include "support/test_media.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdlib>
#include <ctime>
#include <optional>

using namespace velmar;

namespace {

constexpr int W = 1920, H = 1080;

// A busy straight-alpha picture, so that every histogram and the vectorscope are well spread.
std::shared_ptr<gpu::PixelBuffer> frame() {
    static const auto buffer = [] {
        auto b = gpu::PixelBuffer::create(W, H, gpu::kPixelFormat32BGRA);
        uint32_t seed = 1;
        for (int y = 0; y < H; ++y) {
            uint8_t* row = b->baseAddress() + size_t(y) * b->bytesPerRow();
            for (int x = 0; x < W; ++x) {
                seed = seed * 1664525u + 1013904223u;
                row[4 * x + 0] = uint8_t((x * 7 + y) & 255);
                row[4 * x + 1] = uint8_t((x + y * 3 + int(seed >> 28)) & 255);
                row[4 * x + 2] = uint8_t((x ^ y) & 255);
                row[4 * x + 3] = uint8_t(((x / 40 + y / 30) % 4) * 85);
            }
        }
        return b;
    }();
    return buffer;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Seconds of CPU per frame that ffmpeg's signalstats takes on one thread; none when the
// ffmpeg program cannot be run.
std::optional<double> signalstatsPerFrame() {
    static const std::optional<double> result = []() -> std::optional<double> {
        const QString dir = QDir(test::TestMedia::directory()).filePath("signal-bench");
        QDir().mkpath(dir);
        const QString raw = dir + "/frame.bgra", yuv = dir + "/frame.yuv";
        {
            QFile f(raw);
            if (!f.open(QIODevice::WriteOnly)) return std::nullopt;
            const auto b = frame();
            for (int y = 0; y < H; ++y)
                f.write(
                    reinterpret_cast<const char*>(b->baseAddress() + size_t(y) * b->bytesPerRow()),
                    4 * W);
        }
        const QString size = QString("%1x%2").arg(W).arg(H);
        if (!test::TestMedia::run(
                "ffmpeg", {"-hide_banner", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt",
                           "bgra", "-s", size, "-i", raw, "-vf",
                           "scale=out_color_matrix=bt709:out_range=tv,format=yuv422p10le", "-f",
                           "rawvideo", "-y", yuv}))
            return std::nullopt;
        auto cpu = [&](const char* filter) {
            const QString command =
                QString(
                    "ffmpeg -hide_banner -loglevel error -threads 1 -filter_threads 1 "
                    "-stream_loop 299 -f rawvideo -pix_fmt yuv422p10le -s %1 -i %2 -vf %3 "
                    "-f null - >/dev/null 2>&1")
                    .arg(size, yuv, filter);
            const double before = childCpuSeconds();
            const int status = std::system(command.toLocal8Bit().constData());
            return status == 0 ? std::optional(childCpuSeconds() - before) : std::nullopt;
        };
        const auto stats = cpu("signalstats");
        const auto null = cpu("null");
        if (!stats || !null) return std::nullopt;
        return (*stats - *null) / 300.0;
    }();
    return result;
}

void BM_SignalCaptureCopy(benchmark::State& state) {
    const auto buffer = frame();
    SignalCapture capture;
    SignalCapture::copy(*buffer, capture);
    const long before = gAllocations.load();
    const double start = threadCpuSeconds();
    for (auto _ : state) {
        SignalCapture::copy(*buffer, capture);
        benchmark::DoNotOptimize(capture.bytes.data());
    }
    const double iterations = double(std::max<int64_t>(1, state.iterations()));
    state.counters["ms"] = (threadCpuSeconds() - start) * 1e3 / iterations;
    state.counters["allocations"] = double(gAllocations.load() - before) / iterations;
}
BENCHMARK(BM_SignalCaptureCopy)->Unit(benchmark::kMillisecond);

void BM_SignalAnalysis(benchmark::State& state) {
    const auto buffer = frame();
    const bool reuse = state.range(0) != 0;
    SignalCapture capture;
    SignalAnalyzer::Workspace workspace;
    const double start = threadCpuSeconds();
    for (auto _ : state) {
        if (!reuse) capture = SignalCapture{};
        SignalCapture::copy(*buffer, capture);
        auto snapshot = SignalAnalyzer::analyze(capture, KeyAlphaMode::straight, SignalSource::sdi,
                                                reuse ? &workspace : nullptr);
        benchmark::DoNotOptimize(snapshot.get());
    }
    const double ms =
        (threadCpuSeconds() - start) * 1e3 / double(std::max<int64_t>(1, state.iterations()));
    state.counters["ms"] = ms;
    if (const auto peer = signalstatsPerFrame(); peer && *peer > 0) {
        state.counters["peer_ms"] = *peer * 1e3;
        state.counters["ratio"] = ms / (*peer * 1e3);
    }
}
BENCHMARK(BM_SignalAnalysis)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    signalstatsPerFrame();  // outside the timed loops
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
