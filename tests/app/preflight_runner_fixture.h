#pragma once

#include "sdi/deck_link_controller_fixture.h"
#include "support/qt_printers.h"

#include "app/preflight_runner.h"
#include "core/playout_engine.h"
#include "core/playout_log.h"
#include "models/clip_group.h"
#include "models/language_settings.h"
#include "platform/sdi/virtual_sdi_card.h"
#include "sdi/zr_deck_link_output.h"

#include <QFile>
#include <QTemporaryDir>

namespace velmar::test {

// The application state as the runner sees it, over a virtual card and a controller.
struct PreflightHost : PreflightRunner::Host {
    const VirtualSdiCard* card = nullptr;
    DeckLinkController* controller = nullptr;
    const PlayoutEngine* engine = nullptr;
    std::vector<ZRDeckLinkDevice> devices;
    long long selected = 0;
    SDIBitDepth depth = SDIBitDepth::eightBit;
    bool keyer = true;
    bool running = false;
    QString lastMessage;
    int starts = 0;

    void refreshDeckLinkDevices() override {
        devices = ZRDeckLinkOutput::availableDevices(card);
        if (selected >= static_cast<long long>(devices.size()))
            selected = devices.empty() ? 0 : static_cast<long long>(devices.size()) - 1;
    }
    std::vector<ZRDeckLinkDevice> availableDeckLinkDevices() const override { return devices; }
    long long selectedDeckLinkIndex() const override { return selected; }
    SDIBitDepth sdiBitDepth() const override { return depth; }
    bool useExternalKeyer() const override { return keyer; }
    DeckLinkController* deckLink() override { return controller; }
    bool isDeckLinkRunning() const override { return running; }
    void startDeckLink() override {
        ++starts;
        refreshDeckLinkDevices();
        try {
            controller->start(devices.at(static_cast<std::size_t>(selected)).index(),
                              engine->canvas(), engine->frameRate(), keyer, false, depth);
            running = true;
        } catch (const DeckLinkController::StartError& error) {
            running = false;
            lastMessage = error.localizedDescription();
        }
    }
    void stopDeckLink() override {
        controller->stop();
        running = false;
    }
    std::vector<ZRDeckLinkMode> supportedModes(long long deviceIndex, SDIBitDepth bitDepth,
                                               bool externalKeyer) const override {
        return DeckLinkController::supportedModes(card, deviceIndex, bitDepth, externalKeyer);
    }
};

// An engine whose background checks never run (clip flags stay as the test sets them), the
// controller fixture's card and controller, a log in a private folder, and the runner over them
// on the fake clock.
struct PreflightFixture : ControllerFixture {
    QTemporaryDir logDir;
    std::unique_ptr<PlayoutLog> log;
    std::unique_ptr<PlayoutEngine> engine;
    PreflightHost host;
    std::function<std::optional<bool>(const QString&)> volumeLookup;
    std::unique_ptr<PreflightRunner> runner;

    void SetUp() override {
        ControllerFixture::SetUp();
        LanguageSettings::shared().setLanguage(AppLanguage::ja);
        log = std::make_unique<PlayoutLog>(logDir.path(), clock, clock);
        PlayoutEngine::Services services = PlayoutEngine::Services::standard();
        services.clock = &clock;
        services.timers = &clock;
        services.log = log.get();
        services.runInBackground = [](std::function<void()>) {};
        engine = std::make_unique<PlayoutEngine>(services);
        engine->applyCanvasSilently(state.canvas);
        host.card = card.get();
        host.controller = controller.get();
        host.engine = engine.get();
        makeRunner();
    }
    void TearDown() override {
        runner.reset();
        engine.reset();
        ControllerFixture::TearDown();
    }

    // A new card with the faults, and a new controller over it.
    void useCard(SdiFaults faults) {
        SetUpWith(std::move(faults));
        host.card = card.get();
        host.controller = controller.get();
    }

    void makeRunner() {
        PreflightRunner::Services services;
        services.log = log.get();
        services.timers = &clock;
        services.volumeIsInternal = [this](const QString& folder) -> std::optional<bool> {
            return volumeLookup ? volumeLookup(folder) : std::optional<bool>(true);
        };
        runner = std::make_unique<PreflightRunner>(*engine, host, services);
    }

    // One tab holding the clips, with no check still pending.
    void setClips(QList<Clip> clips, int pending = 0) {
        ClipGroup group;
        group.name = "Tab";
        group.clips = std::move(clips);
        engine->rundown().loadGroups({group});
        engine->rundown().setPendingVerification(pending);
    }

    static Clip clip(const QString& name, std::optional<QSize> size = QSize(96, 54),
                     const QString& folder = "/media") {
        Clip c;
        c.url = QUrl::fromLocalFile(folder + "/" + name + ".png");
        c.displayName = name;
        if (size) {
            c.pixelWidth = size->width();
            c.pixelHeight = size->height();
        }
        return c;
    }

    const PreflightRunner::Item& item(int index) const { return runner->items().at(index); }

    // The lines of the log file on disk that contain `text`, without their time stamps.
    QStringList logLinesWith(const QString& text) {
        log->flush();
        log->waitForPendingWrites();
        QFile file(log->fileName());
        QStringList out;
        if (!file.open(QIODevice::ReadOnly)) return out;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n'))
            if (line.contains(text)) out << line.mid(line.indexOf("  ") + 2);
        return out;
    }
};

}  // namespace velmar::test
