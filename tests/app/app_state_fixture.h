#pragma once

#include "app/app_state.h"
#include "core/playout_log.h"
#include "core/reference_tone.h"
#include "core/sdi_audio_bridge.h"
#include "models/language_settings.h"
#include "output/fake_screens.h"
#include "platform/base/user_defaults.h"
#include "platform/gpu/device.h"
#include "platform/netvideo/netvideo_test_support.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "render/still_texture_cache.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "support/qt_printers.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>

namespace velmar::test {

// Answers the LED cabinet dialog from a script: each answer is the two field texts, or
// nothing for cancel; runs out as cancel. Records every prompt as it was shown.
struct FakeDialogs final : AppDialogs {
    std::deque<std::optional<std::pair<QString, QString>>> answers;
    std::vector<LEDCabinetPrompt> shown;

    bool runLEDCabinetDialog(LEDCabinetPrompt& prompt) override {
        shown.push_back(prompt);
        if (answers.empty()) return false;
        const auto answer = answers.front();
        answers.pop_front();
        if (!answer) return false;
        prompt.widthText = answer->first;
        prompt.heightText = answer->second;
        return true;
    }
};

// A local audio engine that starts (or refuses with `failure`) without a device.
struct FakeToneEngine final : ReferenceTone::Engine {
    std::optional<QString> failure;
    double outputSampleRate() const override { return 48000; }
    std::optional<QString> start(AudioSource*) override { return failure; }
    void stop(AudioSource*) override {}
};

inline constexpr int kCanvasW = 96;
inline constexpr int kCanvasH = 54;

// One SDI device named `name` playing the small canvas at 59.94.
inline VirtualSdiConfig appCard(const std::string& name, SdiFaults faults = {}) {
    VirtualSdiConfig config;
    config.clock = SdiClockMode::manual;
    SdiDeviceConfig device;
    device.name = name;
    SdiModeSupport support;
    support.mode = {fourCC("c059"), kCanvasW, kCanvasH, 60000, 1001, "small 59.94"};
    device.modes = {support};
    device.faults = std::move(faults);
    config.devices.push_back(device);
    return config;
}

// An application state over a settings file in a temporary folder, fake screens, scripted
// dialogs, a tone engine without a device, a virtual SDI card, the network-video module of the
// build and the fake clock. The engine's background work runs inline.
struct AppStateFixture : ::testing::Test {
    QTemporaryDir dir;
    FakeClock clock;
    PlayoutLog log{dir.path() + "/Logs", clock, clock, [](const QString&) {}};
    std::unique_ptr<UserDefaults> defaults;
    FakeScreenProvider screens;
    FakeInhibitor inhibitor;
    FakeDialogs dialogs;
    FakeToneEngine toneEngine;
    ReferenceTone tone{toneEngine, log};
    StillTextureCache stillCache;
    PrivateRuntimeDir runtimeDir;
    std::unique_ptr<VirtualSdiCard> card;
    bool sandboxed = false;
    std::vector<float> bridgeGains;
    std::unique_ptr<AppState> app;

    void SetUp() override {
        LanguageSettings::shared().setLanguage(AppLanguage::ja);
        defaults = std::make_unique<UserDefaults>(settingsPath());
        card = std::make_unique<VirtualSdiCard>(appCard("Card X"));
    }
    void TearDown() override {
        app.reset();
        drainMainQueue();
        SDIAudioBridge::shared().setTone(nullptr);
        SDIAudioBridge::shared().setActive(false);
        SDIAudioBridge::shared().setMuteLocalWhileActive(true);
    }

    int settingsGeneration = 0;
    QString settingsPath() const {
        return dir.path() + QString("/settings%1.json").arg(settingsGeneration);
    }
    // A new settings file with these bytes, opened (a new name each time: files of one name
    // and size written within the same moment would be taken from the settings cache).
    void writeSettings(const QByteArray& bytes) {
        defaults.reset();
        ++settingsGeneration;
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        defaults = std::make_unique<UserDefaults>(settingsPath());
    }

    AppState::Environment environment(bool withCanvas = true) {
        AppState::Environment env;
        env.defaults = defaults.get();
        env.screens = &screens;
        env.mainWindowScreen = [] { return std::optional<QString>(); };
        env.dialogs = &dialogs;
        env.tone = &tone;
        env.isSandboxed = [this] { return sandboxed; };
        env.engineServices = PlayoutEngine::Services::standard();
        env.engineServices->clock = &clock;
        env.engineServices->timers = &clock;
        env.engineServices->log = &log;
        env.engineServices->runInBackground = [](std::function<void()> work) { work(); };
        env.engineServices->setBridgeProgramGain = [this](float g) { bridgeGains.push_back(g); };
        env.noCanvas = !withCanvas;
        env.canvasOptions.clock = &clock;
        env.canvasOptions.device = gpu::Device::create(2);
        env.canvasOptions.stillCache = &stillCache;
        env.useSdiCard = true;
        env.sdiCard = card.get();
        env.outputOptions = {nullptr, &inhibitor, &clock, &clock};
        env.syphonOptions = {&clock, &clock, nullptr};
        env.makeNDIOutput = [this](CanvasEngine& canvas, PlayoutEngine& engine) {
            NDIOutputController::Options options{
                &clock, &clock, nullptr,
                std::make_unique<ZRNDIBridge>(ZRNDIBridge::loadRuntime({netVideoLibraryPath()}))};
            return std::make_unique<NDIOutputController>(
                canvas, [e = &engine] { return e->canvas(); }, std::move(options));
        };
        env.installScreenObservers = false;
        return env;
    }

    // A new application state (the old one goes first), on the small canvas.
    void make(bool withCanvas = true) {
        app.reset();
        app = std::make_unique<AppState>(environment(withCanvas));
        app->engine().setCanvas(CanvasFormat{kCanvasW, kCanvasH, "test"});
    }

    QString status() const { return app->engine().lastMessage(); }
};

}  // namespace velmar::test
