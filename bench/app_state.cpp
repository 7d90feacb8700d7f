// What the application state adds to a launch before the window shows: building it (engine,
// canvas, the four output controllers, the settings read) and the launch's device and screen
// refresh, beside the start of an empty application object as the floor. Each iteration makes
// and ends a whole application object, since Qt allows one at a time.
#include "app/app_state.h"
#include "platform/base/user_defaults.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

int argc = 1;
char name[] = "velmar_bench_app_state";
char* argv[] = {name, nullptr};

void BM_EmptyApplicationStart(benchmark::State& state) {
    for (auto _ : state) {
        QApplication app(argc, argv);
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(&app);
    }
}
BENCHMARK(BM_EmptyApplicationStart)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ApplicationStartWithAppState(benchmark::State& state) {
    QTemporaryDir dir;
    velmar::UserDefaults defaults(dir.path() + "/settings.json");
    for (auto _ : state) {
        QApplication app(argc, argv);
        QCoreApplication::processEvents();
        velmar::AppState::Environment env;
        env.defaults = &defaults;
        velmar::AppState appState(env);
        appState.refreshDeckLinkDevices();
        appState.refreshScreens();
        benchmark::DoNotOptimize(&appState);
    }
}
BENCHMARK(BM_ApplicationStartWithAppState)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
