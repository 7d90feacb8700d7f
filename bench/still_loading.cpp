// Still loading speed: loadFitted of 50-megapixel pictures onto HD and UHD canvases, beside a
// plain OpenImageIO read of the same file into 8-bit RGBA (the decode our loader cannot avoid),
// and thumbnails per second for a rundown of 1000 mixed files under the cache's concurrency
// limits (3 still decodes, 2 movie extractions).
#include "core/image_loader.h"
#include "core/thumbnail_cache.h"
#include "support/event_loop.h"
#include "support/test_media.h"

#include <OpenImageIO/imageio.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <vector>

namespace velmar {
namespace {

using test::TestMedia;
using Seconds = std::chrono::duration<double>;

// 8660 x 5773 = 49,994,180 pixels: just within the 50 MP limit.
constexpr int kWidth = 8660;
constexpr int kHeight = 5773;

QString bigStill(const QString& ext) {
    static std::map<QString, QString> made;
    auto it = made.find(ext);
    if (it != made.end()) return it->second;
    TestMedia::StillOptions o{kWidth, kHeight};
    o.busy = true;
    const QString path = TestMedia::still(ext, o);
    made[ext] = path;
    return path;
}

// The peer: open and read the whole picture as 8-bit RGBA with OpenImageIO, nothing else.
double oiioReadSeconds(const QString& path) {
    static std::map<QString, double> measured;
    if (auto it = measured.find(path); it != measured.end()) return it->second;
    const auto start = std::chrono::steady_clock::now();
    auto in = OIIO::ImageInput::open(path.toStdString());
    if (!in) return 0;
    const OIIO::ImageSpec& spec = in->spec();
    std::vector<unsigned char> pixels(static_cast<size_t>(spec.width) * spec.height * 4);
    in->read_image(0, 0, 0, std::min(4, spec.nchannels), OIIO::TypeDesc::UINT8, pixels.data(), 4);
    in->close();
    const double s = Seconds(std::chrono::steady_clock::now() - start).count();
    measured[path] = s;
    return s;
}

void BM_LoadFitted(benchmark::State& state, const char* ext, int canvasHeight) {
    const QString path = bigStill(ext);
    if (path.isEmpty()) {
        state.SkipWithError("could not write the test picture");
        return;
    }
    const CanvasFormat canvas{canvasHeight * 16 / 9, canvasHeight, "bench"};
    const double peer = oiioReadSeconds(path);
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ImageRef image = ImageLoader::loadFitted(QUrl::fromLocalFile(path), canvas);
        total += Seconds(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(image);
        if (!image) state.SkipWithError("loadFitted failed");
    }
    const double mean = total / std::max<int64_t>(1, state.iterations());
    state.counters["oiio_read_ms"] = peer * 1000;
    state.counters["x_oiio_read"] = peer > 0 ? mean / peer : 0;
    state.counters["file_MB"] = QFileInfo(path).size() / 1.0e6;
}

BENCHMARK_CAPTURE(BM_LoadFitted, jpg_1080, "jpg", 1080)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_LoadFitted, jpg_2160, "jpg", 2160)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_LoadFitted, png_1080, "png", 1080)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_LoadFitted, png_2160, "png", 2160)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_LoadFitted, psd_1080, "psd", 1080)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_LoadFitted, psd_2160, "psd", 2160)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_LoadFitted, exr_1080, "exr", 1080)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_LoadFitted, exr_2160, "exr", 2160)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// A rundown of mixed files: one source per kind, copied under distinct names (the cache keys on
// the path), about four stills to every movie.
std::vector<QUrl> mixedRundown(int count) {
    std::vector<QString> sources;
    TestMedia::StillOptions still{1920, 1080};
    still.busy = true;
    for (const char* ext : {"png", "tif", "psd", "jpg", "heic", "bmp", "gif", "exr"}) {
        const QString p = TestMedia::still(ext, still);
        if (!p.isEmpty()) sources.push_back(p);
    }
    TestMedia::MovieOptions movie;
    movie.width = 1280;
    movie.height = 720;
    movie.seconds = 1.0;
    sources.push_back(TestMedia::movie("mov", movie));
    movie.codec = "prores_ks";
    movie.pixelFormat = "yuv422p10le";
    sources.push_back(TestMedia::movie("mov", movie));
    std::vector<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        const QString& source = sources[static_cast<size_t>(i) % sources.size()];
        const QString name =
            QString("rundown/%1.%2").arg(i, 4, 10, QChar('0')).arg(QFileInfo(source).suffix());
        const QString path = TestMedia::directory() + "/" + name;
        if (!QFileInfo::exists(path)) {
            TestMedia::file(name, {});
            QFile::remove(path);
            QFile::copy(source, path);
        }
        urls.push_back(QUrl::fromLocalFile(path));
    }
    return urls;
}

void BM_Thumbnails(benchmark::State& state) {
    const auto urls = mixedRundown(static_cast<int>(state.range(0)));
    int failures = 0;
    for (auto _ : state) {
        ThumbnailCache cache;  // empty: every request decodes
        int done = 0;
        for (const QUrl& url : urls) {
            cache.thumbnail(url, 320, [&](ImageRef image) {
                ++done;
                if (!image) ++failures;
            });
        }
        test::waitUntil([&] { return done == static_cast<int>(urls.size()); }, 600);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(urls.size()));
    state.counters["failures"] = failures;
}

BENCHMARK(BM_Thumbnails)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace velmar

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
