// Opening the settings form with the virtual card listing four devices: the form's appear
// action (settings flag, device scan, screen scan, autosave fields) and its first mode summary,
// against the device and screen scans alone, which the appear action cannot do without.
#include "ui/tools/settings_view.h"
#include "app/app_state.h"
#include "core/autosave_store.h"
#include "platform/base/user_defaults.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "sdi/deck_link_controller.h"
#include "support/fake_clock.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace {

using namespace velmar;

VirtualSdiConfig fourDevices() {
    VirtualSdiConfig config;
    config.clock = SdiClockMode::manual;
    for (int i = 0; i < 4; ++i) {
        SdiDeviceConfig device;
        device.name = "Card " + std::to_string(i);
        config.devices.push_back(device);
    }
    return config;
}

struct Setup {
    QTemporaryDir dir;
    test::FakeClock clock;
    UserDefaults defaults{dir.path() + "/settings.json"};
    VirtualSdiCard card{fourDevices()};
    std::unique_ptr<AppState> app;
    std::unique_ptr<AutosaveStore> store;

    Setup() {
        AppState::Environment env;
        env.defaults = &defaults;
        env.useSdiCard = true;
        env.sdiCard = &card;
        env.noCanvas = true;
        env.installScreenObservers = false;
        env.isSandboxed = [] { return false; };
        app = std::make_unique<AppState>(env);
        store = std::make_unique<AutosaveStore>(
            AutosaveStore::Environment{dir.path() + "/support", &defaults, &clock, nullptr, false});
    }
};

void BM_DeviceAndScreenScan(benchmark::State& state) {
    Setup setup;
    for (auto _ : state) {
        setup.app->refreshDeckLinkDevices();
        setup.app->refreshScreens();
    }
}
BENCHMARK(BM_DeviceAndScreenScan)->Unit(benchmark::kMicrosecond);

// Each iteration makes a new form (a new form has no cached modes) and runs its appear action.
void BM_SettingsAppearWithSummary(benchmark::State& state) {
    Setup setup;
    SettingsView::Services services;
    services.autosave = setup.store.get();
    services.modes = [&setup](long long device, SDIBitDepth depth, bool keyer) {
        return DeckLinkController::supportedModes(&setup.card, device, depth, keyer);
    };
    services.isSandboxed = [] { return false; };
    for (auto _ : state) {
        state.PauseTiming();
        // As at launch before the first scan: the form opens on a list it has not seen.
        setup.app->setAvailableDeckLinkDevices({});
        auto view = std::make_unique<SettingsView>(*setup.app, services);
        state.ResumeTiming();
        view->appear();
        benchmark::DoNotOptimize(view->modeSummary());
        state.PauseTiming();
        view.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SettingsAppearWithSummary)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
