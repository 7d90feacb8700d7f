#pragma once

#include "support/qt_printers.h"

#include "core/movie_playback.h"
#include "core/playout_engine.h"
#include "core/playout_log.h"
#include "models/language_settings.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace velmar::test {

// An engine on a fake clock, whose still loader makes small images without touching the disk
// and whose background work runs inline, so that results reach the main queue in a known order.
struct EngineFixture : ::testing::Test {
    QTemporaryDir dir;
    FakeClock clock;
    PlayoutLog log{dir.path() + "/Logs", clock, clock, [](const QString&) {}};
    QHash<QString, QString> stillRejections;  // file name -> reason
    std::atomic<int> stillLoads{0};
    QHash<QString, QString> movieFailures;  // file name -> probe failure
    std::vector<float> bridgeGains;
    QStringList forgottenThumbnails;
    std::mutex preparedMutex;
    std::vector<ImageRef> preparedTextures;  // images whose texture was prepared, in order
    std::unique_ptr<PlayoutEngine> engine;
    // Background work held back until runDeferred(), when useDeferredBackground() was called.
    std::vector<std::function<void()>> deferred;

    // A still loader that can be held until released, to test superseded requests.
    std::mutex gateMutex;
    std::condition_variable gateOpen;
    bool gateClosed = false;
    std::atomic<int> heldAtGate{0};  // loads that met the closed gate

    void SetUp() override {
        LanguageSettings::shared().setLanguage(AppLanguage::ja);
        engine = std::make_unique<PlayoutEngine>(services());
    }
    void TearDown() override {
        openGate();
        engine.reset();
        drainMainQueue();
        MoviePlayer::waitForReleases();
    }

    PlayoutEngine::Services services() {
        PlayoutEngine::Services s;
        s.clock = &clock;
        s.timers = &clock;
        s.log = &log;
        s.loadFittedStill = [this](const QUrl& url, const CanvasFormat&) -> ImageRef {
            {
                std::unique_lock lock(gateMutex);
                if (gateClosed) ++heldAtGate;
                gateOpen.wait(lock, [this] { return !gateClosed; });
            }
            ++stillLoads;
            if (url.fileName().startsWith("broken")) return nullptr;
            auto image = std::make_shared<QImage>(4, 4, QImage::Format_RGBA8888_Premultiplied);
            image->fill(Qt::white);
            return image;
        };
        s.stillRejectionReason = [this](const QUrl& url) -> std::optional<QString> {
            const auto it = stillRejections.constFind(url.fileName());
            if (it == stillRejections.cend()) return std::nullopt;
            return *it;
        };
        s.movieProbeFailure = [this](const QUrl& url) -> std::optional<QString> {
            const auto it = movieFailures.constFind(url.fileName());
            if (it == movieFailures.cend()) return std::nullopt;
            return *it;
        };
        s.runInBackground = [](std::function<void()> work) { work(); };
        s.makePlayback = [this](const QUrl& url, bool muted, int loops) {
            return MoviePlayback::create(url.toLocalFile(), muted, loops, clock);
        };
        s.setBridgeProgramGain = [this](float g) { bridgeGains.push_back(g); };
        s.forgetThumbnail = [this](const QString& path) { forgottenThumbnails << path; };
        s.prepareTexture = [this](const ImageRef& image) {
            std::lock_guard lock(preparedMutex);
            preparedTextures.push_back(image);
        };
        return s;
    }

    // Rebuilds the engine so that verification and metadata passes wait for runDeferred(),
    // letting a test edit the rundown while a pass is under way.
    void useDeferredBackground() {
        PlayoutEngine::Services s = services();
        s.runInBackground = [this](std::function<void()> work) {
            deferred.push_back(std::move(work));
        };
        engine = std::make_unique<PlayoutEngine>(s);
    }
    void runDeferred() {
        auto work = std::move(deferred);
        deferred.clear();
        for (auto& w : work) w();
        drainMainQueue();
    }

    void closeGate() {
        std::lock_guard lock(gateMutex);
        gateClosed = true;
    }
    void openGate() {
        {
            std::lock_guard lock(gateMutex);
            gateClosed = false;
        }
        gateOpen.notify_all();
    }

    Rundown& rundown() const { return engine->rundown(); }

    static Clip still(const QString& name) {
        Clip clip;
        clip.url = QUrl::fromLocalFile("/media/" + name + ".png");
        clip.displayName = name;
        clip.kind = Clip::Kind::still;
        return clip;
    }

    static Clip movie(const QString& name, int loops = 1) {
        Clip clip = still(name);
        clip.url = QUrl::fromLocalFile("/media/" + name + ".mov");
        clip.kind = Clip::Kind::movie;
        clip.loopCount = loops;
        return clip;
    }

    // n stills named prefix0, prefix1, ...
    static QList<Clip> stills(int n, const QString& prefix = "C") {
        QList<Clip> clips;
        for (int i = 0; i < n; ++i) clips << still(prefix + QString::number(i));
        return clips;
    }

    // Display names of the current tab's clips.
    QStringList names() const {
        QStringList out;
        if (const auto group = rundown().currentGroup()) {
            for (const Clip& clip : group->clips) out << clip.displayName;
        }
        return out;
    }

    static ClipGroup tab(const QString& name, QList<Clip> clips, QList<Marker> markers = {},
                         int selected = 0) {
        ClipGroup group;
        group.name = name;
        group.clips = std::move(clips);
        group.markers = std::move(markers);
        group.selectedIndex = selected;
        return group;
    }

    // Loads one tab of the given clips and waits until they are verified and NEXT is preloaded.
    void loadTab(QList<Clip> clips, int selected = 0, QList<Marker> markers = {}) {
        rundown().loadGroups({tab("Tab", std::move(clips), std::move(markers), selected)});
        settle();
    }

    // Runs queued main-thread work until NEXT is no longer loading.
    void settle() {
        drainMainQueue();
        waitFor([this] { return !engine->isNextLoading(); });
        drainMainQueue();
    }

    QString logText() {
        log.flush();
        log.waitForPendingWrites();
        QFile f(log.fileName());
        if (!f.open(QIODevice::ReadOnly)) return {};
        QString text;
        for (const QString& line : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)) {
            text += line.mid(14) + "\n";  // without the "HH:mm:ss.SSS  " stamp
        }
        return text;
    }
};

}  // namespace velmar::test
