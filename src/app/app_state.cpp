#include "app/app_state.h"

#include "canvas/signal_probe.h"
#include "core/media_access.h"
#include "core/playout_log.h"
#include "core/reference_tone.h"
#include "core/sdi_audio_bridge.h"
#include "models/localized.h"
#include "models/system_error_text.h"
#include "platform/base/timer.h"
#include "platform/base/user_defaults.h"
#include "platform/screens/screen_provider.h"

#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace velmar {

const QString AppState::kControlWindowTitlePrefix = QStringLiteral("DOVRINE — ");

namespace {

// The screen of the application's main (active, else first visible titled) top-level window.
std::optional<QString> platformMainWindowScreen(ScreenProvider& screens) {
    QWidget* main = QApplication::activeWindow();
    if (main == nullptr) return std::nullopt;
    QScreen* screen = main->screen();
    if (screen == nullptr) return std::nullopt;
    for (const ScreenInfo& info : screens.screens()) {
        if (screens.platformScreen(info.identity) == screen) return info.identity;
    }
    return std::nullopt;
}

}  // namespace

AppState& AppState::shared() {
    static AppState* instance = [] {
        auto* app = new AppState(Environment{});
        // The SDI frame path offers its frames to the signal monitor's probe, made here on the
        // main thread; both parts of the hook go in together.
        if (DeckLinkController* deckLink = app->deckLink()) {
            SignalProbe* probe = &SignalProbe::shared();
            deckLink->setProbeHook(
                {[probe] { return probe->reserveCapture(); },
                 [probe](const std::shared_ptr<gpu::PixelBuffer>& buffer, KeyAlphaMode mode) {
                     probe->capture(*buffer, mode, SignalProbe::Source::sdi);
                 }});
        }
        return app;
    }();
    return *instance;
}

AppState::AppState(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)) {
    defaults_ = env_.defaults ? env_.defaults : &UserDefaults::standard();
    screens_ = env_.screens ? env_.screens : &ScreenProvider::system();
    dialogs_ = env_.dialogs ? env_.dialogs : &AppDialogs::standard();
    audio_ = env_.audio ? env_.audio : &SDIAudioBridge::shared();
    tone_ = env_.tone ? env_.tone : &ReferenceTone::shared();
    if (!env_.isSandboxed) env_.isSandboxed = [] { return MediaAccess::isSandboxed(); };
    if (!env_.mainWindowScreen) {
        env_.mainWindowScreen = [screens = screens_] { return platformMainWindowScreen(*screens); };
    }

    // 1. Every screen of the system, the control window's included.
    availableScreens_ = screens_->screens();
    // 2. The persisted settings, each with its default and clamp; reading writes nothing back.
    const AppSettings s = AppSettings::read(*defaults_);
    backgroundLevel_ = s.backgroundLevel;
    selectedDeckLinkIndex_ = s.selectedDeckLinkIndex;
    selectedScreenIndex_ = s.selectedScreenIndex;
    chromaKeyEnabled_ = s.chromaKeyEnabled;
    chromaKeyColor_ = s.chromaKeyColor;
    useExternalKeyer_ = s.useExternalKeyer;
    sdiBitDepth_ = s.sdiBitDepth;
    obsTransport_ = s.obsTransport;
    previewBackground_ = s.previewBackground;
    reloadMediaOnActivation_ = s.reloadMediaOnActivation;
    sdiEmbedAudio_ = s.sdiEmbedAudio;
    sdiMutesLocalAudio_ = s.sdiMutesLocalAudio;
    audio_->setMuteLocalWhileActive(sdiMutesLocalAudio_);
    faderPosition_ = s.faderPosition;
    programOnLeft_ = s.programOnLeft;
    stripRightToLeft_ = s.stripRightToLeft;
    ledCabinet_ = s.ledCabinet;
    centerColumnWidth_ = s.centerColumnWidth;

    // 3. The engine.
    engine_ = std::make_unique<PlayoutEngine>(
        env_.engineServices ? *env_.engineServices : PlayoutEngine::Services::standard());
    // A settings file that could not be kept is told in the status line, where it stays, and
    // in the log; one met before now is told at once.
    // The settings may outlive this object, or this object them: the observer reaches it only
    // through a guard that its destructor clears.
    settingsGuard_ = std::make_shared<SettingsGuard>();
    settingsGuard_->app = this;
    defaults_->setProblemObserver([guard = settingsGuard_](const UserDefaults::Problem& problem) {
        std::lock_guard lock(guard->mutex);
        AppState* app = guard->app;
        if (app == nullptr) return;
        if (QThread::currentThread() == app->thread()) {
            app->settingsProblem(problem);
        } else {
            QMetaObject::invokeMethod(
                app, [app, problem] { app->settingsProblem(problem); }, Qt::QueuedConnection);
        }
    });

    // 4. The canvas; without one there are no outputs and every output command says so.
    if (!env_.noCanvas) {
        CanvasEngine::Sources sources;
        PlayoutEngine* engine = engine_.get();
        sources.outputState = [engine] { return engine->outputState(); };
        sources.keyerSnapshot = [engine] { return engine->dsk().snapshot(); };
        sources.frameRate = [engine] { return engine->frameRate(); };
        canvas_ = CanvasEngine::create(std::move(sources), env_.canvasOptions);
    }

    if (canvas_) {
        // 5. The controllers, in this order.
        deckLink_ = env_.useSdiCard ? std::make_unique<DeckLinkController>(*canvas_, env_.sdiCard)
                                    : std::make_unique<DeckLinkController>(*canvas_);
        OutputWindowController::Options outputOptions = env_.outputOptions;
        if (outputOptions.screens == nullptr) outputOptions.screens = screens_;
        output_ = std::make_unique<OutputWindowController>(*canvas_, outputOptions);
        syphonOutput_ = std::make_unique<SyphonOutputController>(*canvas_, env_.syphonOptions);
        ndiOutput_ = env_.makeNDIOutput ? env_.makeNDIOutput(*canvas_, *engine_)
                                        : std::make_unique<NDIOutputController>(*canvas_, *engine_);

        // 6. Feed callbacks; each does nothing once this object is gone.
        QPointer<AppState> weak(this);
        syphonOutput_->onClientChange = [weak](bool hasClients) {
            if (!weak) return;
            weak->setObsConnectionCount(hasClients ? 1 : 0);
            weak->setIsOBSConnected(hasClients);
        };
        syphonOutput_->onFailure = [weak](const QString& message) {
            if (!weak) return;
            weak->setIsOBSOpen(false);
            weak->setRunningOBSTransport(std::nullopt);
            weak->setStatus(message);  // shown as it arrives
        };
        deckLink_->onFailure = [weak](const QString& message) {
            if (weak) weak->deckLinkFailed(message);
        };
        // An output that runs on but records nothing: the status line says so, and the log
        // line goes where the rest of the session's lines go.
        deckLink_->onNotice = [weak](const QString& message) {
            if (weak) weak->setStatus(message);  // shown as it arrives
        };
        deckLink_->writeLog = [weak](const QString& line) {
            if (weak) weak->engine_->services().log->write(line);
        };
        ndiOutput_->onClientChange = [weak](int count) {
            if (!weak) return;
            weak->setObsConnectionCount(count);
            weak->setIsOBSConnected(count > 0);
        };
    }

    // 7. Program gain from the fader.
    applyFaderGain();

    // 8. Engine callbacks.
    {
        QPointer<AppState> weak(this);
        engine_->onPanic = [weak] {
            if (weak) weak->stopReferenceTone();
        };
        engine_->onProgramMediaChange = [weak](const std::optional<PlayoutMedia>&) {
            if (weak && weak->canvas_) weak->canvas_->invalidateSource();
        };
        engine_->onUnreadableClips = [weak](const QList<QPair<QString, QString>>& clips) {
            if (weak && weak->onUnreadableClips) weak->onUnreadableClips(clips);
        };
    }

    // 9. Screen observers.
    if (env_.installScreenObservers) installScreenObservers();
    // 10. The saved-project snapshot is recorded by the document workflow once it is attached.
}

AppState::~AppState() {
    {
        std::lock_guard lock(settingsGuard_->mutex);
        settingsGuard_->app = nullptr;
    }
    for (const auto& connection : observerConnections_) disconnect(connection);
    for (QObject* owner : filePanelOwners_ + numberEntryOwners_) {
        if (owner != this) disconnect(owner, &QObject::destroyed, this, nullptr);
    }
    deckLinkWatch_.reset();
    engine_->onPanic = nullptr;
    engine_->onProgramMediaChange = nullptr;
    engine_->onUnreadableClips = nullptr;
    // The controllers use the canvas, which uses the engine.
    ndiOutput_.reset();
    syphonOutput_.reset();
    output_.reset();
    deckLink_.reset();
    canvas_.reset();
}

void AppState::setStatus(const QString& message) {
    engine_->setLastMessage(message);
}

void AppState::settingsProblem(const UserDefaults::Problem& problem) {
    using Kind = UserDefaults::Problem::Kind;
    PlayoutLog* log = engine_->services().log;
    // The reason in the language in force; the log keeps the English one.
    const QString reason = problem.code != 0 ? systemErrorText(problem.code) : problem.error;
    QString warning;
    QString line = QStringLiteral("SETTINGS  ") + problem.path;
    switch (problem.kind) {
        case Kind::setAside:
            warning = localizedFormat(
                "設定ファイルを読み込めなかったため %@ に移し、読めた設定を引き継ぎました",
                {QFileInfo(problem.movedTo).fileName()});
            line += QStringLiteral(" did not parse, moved to ") + problem.movedTo;
            break;
        case Kind::unreadable:
            warning =
                localizedFormat("設定ファイルを読み込めないため、設定を保存しません: %@", {reason});
            line += QStringLiteral(" unreadable (") + problem.error +
                    QStringLiteral("), settings kept until quit only");
            break;
        case Kind::writeFailed:
            // clang-format off
            warning = localizedFormat("設定を保存できません。変更は終了するまで保たれ、次の変更で保存し直します: %@", {reason});
            // clang-format on
            settingsWriteWarning_ = warning;
            line += QStringLiteral(" cannot be written (") + problem.error +
                    QStringLiteral("), settings kept in memory and written on the next change");
            break;
        case Kind::readOnly:
            // The operator's protection of the file stands: it is not written while it lasts.
            warning = localized("設定ファイルが読み取り専用のため、変更はこの実行中のみ有効です");
            settingsWriteWarning_ = warning;
            line += QStringLiteral(" is read-only, left as it is; settings kept in memory");
            break;
        case Kind::writeResumed:
            if (engine_->standingWarning() == settingsWriteWarning_)
                engine_->setStandingWarning(QString());
            settingsWriteWarning_.clear();
            setStatus(localized("設定の保存を再開しました"));
            if (log) log->write(line + QStringLiteral(" written again"));
            return;
    }
    engine_->setStandingWarning(warning);
    if (log) log->write(line);
}

// ---- Observers -----------------------------------------------------------------------------

void AppState::installScreenObservers() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr) return;
    auto watchScreen = [this](QScreen* screen) {
        observerConnections_.append(
            connect(screen, &QScreen::geometryChanged, this, &AppState::screenParametersChanged));
    };
    for (QScreen* screen : QGuiApplication::screens()) watchScreen(screen);
    observerConnections_.append(
        connect(app, &QGuiApplication::screenAdded, this, [this, watchScreen](QScreen* screen) {
            watchScreen(screen);
            screenParametersChanged();
        }));
    observerConnections_.append(
        connect(app, &QGuiApplication::screenRemoved, this, [this] { screenParametersChanged(); }));
    observerConnections_.append(connect(app, &QGuiApplication::primaryScreenChanged, this,
                                        [this] { screenParametersChanged(); }));
    // A top-level window's move to another screen: watched on every window as it appears.
    class WindowWatcher : public QObject {
      public:
        explicit WindowWatcher(AppState* state) : QObject(state), state_(state) {}
        bool eventFilter(QObject* object, QEvent* event) override {
            if (event->type() == QEvent::Show) {
                auto* window = qobject_cast<QWindow*>(object);
                if (window != nullptr && !watched_.contains(window)) {
                    watched_.insert(window);
                    QPointer<QWindow> weakWindow(window);
                    connect(window, &QWindow::screenChanged, this, [this, weakWindow] {
                        if (weakWindow) state_->windowDidChangeScreen(weakWindow->title());
                    });
                    connect(window, &QObject::destroyed, this,
                            [this, window] { watched_.remove(window); });
                }
            }
            return false;
        }

      private:
        AppState* state_;
        QSet<QWindow*> watched_;
    };
    app->installEventFilter(new WindowWatcher(this));
}

void AppState::screenParametersChanged() {
    refreshScreens();
}

void AppState::windowDidChangeScreen(const QString& windowTitle) {
    if (windowTitle.startsWith(kControlWindowTitlePrefix)) refreshScreens();
}

// ---- Per-owner flags -----------------------------------------------------------------------

bool AppState::setOwner(QSet<QObject*>& owners, QObject* owner, bool open) {
    if (owner == nullptr) return false;
    if (open) {
        if (owners.contains(owner)) return false;
        const bool known = filePanelOwners_.contains(owner) || numberEntryOwners_.contains(owner);
        owners.insert(owner);
        if (!known && owner != this) {
            connect(owner, &QObject::destroyed, this, &AppState::ownerDestroyed);
        }
        return true;
    }
    if (!owners.remove(owner)) return false;
    if (owner != this && !filePanelOwners_.contains(owner) && !numberEntryOwners_.contains(owner)) {
        disconnect(owner, &QObject::destroyed, this, &AppState::ownerDestroyed);
    }
    return true;
}

void AppState::ownerDestroyed(QObject* owner) {
    const bool filePanel = isFilePanelOpen();
    const bool numberEntry = isNumberEntryOpen();
    filePanelOwners_.remove(owner);
    numberEntryOwners_.remove(owner);
    if (filePanel != isFilePanelOpen()) emit isFilePanelOpenChanged(isFilePanelOpen());
    if (numberEntry != isNumberEntryOpen()) emit isNumberEntryOpenChanged(isNumberEntryOpen());
}

void AppState::setFilePanelOpen(QObject* owner, bool open) {
    const bool before = isFilePanelOpen();
    setOwner(filePanelOwners_, owner, open);
    if (before != isFilePanelOpen()) emit isFilePanelOpenChanged(isFilePanelOpen());
}

void AppState::setNumberEntryOpen(QObject* owner, bool open) {
    const bool before = isNumberEntryOpen();
    setOwner(numberEntryOwners_, owner, open);
    if (before != isNumberEntryOpen()) emit isNumberEntryOpenChanged(isNumberEntryOpen());
}

// ---- Published live state ------------------------------------------------------------------

void AppState::setIsOBSOpen(bool value) {
    if (isOBSOpen_ == value) return;
    isOBSOpen_ = value;
    emit isOBSOpenChanged(value);
}
void AppState::setIsOBSConnected(bool value) {
    if (isOBSConnected_ == value) return;
    isOBSConnected_ = value;
    emit isOBSConnectedChanged(value);
}
void AppState::setObsConnectionCount(int value) {
    if (obsConnectionCount_ == value) return;
    obsConnectionCount_ = value;
    emit obsConnectionCountChanged(value);
}
void AppState::setRunningOBSTransport(std::optional<OBSTransport> value) {
    if (runningOBSTransport_ == value) return;
    runningOBSTransport_ = value;
    emit runningOBSTransportChanged(value);
}
void AppState::setProjectURL(const QUrl& value) {
    if (projectURL_ == value) return;
    projectURL_ = value;
    emit projectURLChanged(value);
}
void AppState::setSavedProjectSnapshot(std::optional<QByteArray> value) {
    savedProjectSnapshot_ = std::move(value);
}
void AppState::setIsSettingsOpen(bool value) {
    if (isSettingsOpen_ == value) return;
    isSettingsOpen_ = value;
    emit isSettingsOpenChanged(value);
}
void AppState::setIsProjectLoading(bool value) {
    if (isProjectLoading_ == value) return;
    isProjectLoading_ = value;
    emit isProjectLoadingChanged(value);
}
void AppState::setDurationEditor(std::optional<DurationEditor> value) {
    if (durationEditor_ != value) {
        durationEditor_ = value;
        emit durationEditorChanged(value);
    }
    setNumberEntryOpen(this, durationEditor_.has_value());
}
void AppState::setAvailableDeckLinkDevices(std::vector<ZRDeckLinkDevice> value) {
    const bool same = value.size() == availableDeckLinkDevices_.size() &&
                      std::equal(value.begin(), value.end(), availableDeckLinkDevices_.begin(),
                                 [](const ZRDeckLinkDevice& a, const ZRDeckLinkDevice& b) {
                                     return a.index() == b.index() && a.name() == b.name() &&
                                            a.hasKeyer() == b.hasKeyer();
                                 });
    availableDeckLinkDevices_ = std::move(value);
    if (!same) emit availableDeckLinkDevicesChanged();
}
void AppState::setIsDeckLinkRunning(bool value) {
    if (isDeckLinkRunning_ == value) return;
    isDeckLinkRunning_ = value;
    emit isDeckLinkRunningChanged(value);
}
void AppState::setAvailableScreens(QList<ScreenInfo> value) {
    if (availableScreens_ == value) return;
    availableScreens_ = std::move(value);
    emit availableScreensChanged();
}
void AppState::setIsOutputOpen(bool value) {
    if (isOutputOpen_ == value) return;
    isOutputOpen_ = value;
    emit isOutputOpenChanged(value);
}
void AppState::setFilterRequestToken(int value) {
    if (filterRequestToken_ == value) return;
    filterRequestToken_ = value;
    emit filterRequestTokenChanged(value);
}

// ---- Persisted settings: store, announce, write, then the side effect -----------------------

void AppState::setObsTransport(OBSTransport value) {
    const bool changed = obsTransport_ != value;
    obsTransport_ = value;
    if (changed) emit obsTransportChanged(value);
    defaults_->set(AppSettings::kOBSTransport,
                   value == OBSTransport::ndi ? QStringLiteral("ndi") : QStringLiteral("syphon"));
    if (isOBSOpen_ && (!runningOBSTransport_ || *runningOBSTransport_ != effectiveOBSTransport())) {
        stopOBSOutput();
        toggleOBSOutput();
    }
}
void AppState::setSelectedDeckLinkIndex(int value) {
    const bool changed = selectedDeckLinkIndex_ != value;
    selectedDeckLinkIndex_ = value;
    if (changed) emit selectedDeckLinkIndexChanged(value);
    defaults_->set(AppSettings::kSelectedDeckLinkIndex, value);
}
void AppState::setUseExternalKeyer(bool value) {
    const bool changed = useExternalKeyer_ != value;
    useExternalKeyer_ = value;
    if (changed) emit useExternalKeyerChanged(value);
    defaults_->set(AppSettings::kUseExternalKeyer, value);
}
void AppState::setSdiBitDepth(SDIBitDepth value) {
    const bool changed = sdiBitDepth_ != value;
    sdiBitDepth_ = value;
    if (changed) emit sdiBitDepthChanged(value);
    defaults_->set(AppSettings::kSDIBitDepth, value.rawValue());
}
void AppState::setChromaKeyEnabled(bool value) {
    const bool changed = chromaKeyEnabled_ != value;
    chromaKeyEnabled_ = value;
    if (changed) emit chromaKeyEnabledChanged(value);
    defaults_->set(AppSettings::kChromaKeyEnabled, value);
    updateOutputChromaKey();
}
void AppState::setChromaKeyColor(const QColor& value) {
    const bool changed = chromaKeyColor_ != value;
    chromaKeyColor_ = value;
    if (changed) emit chromaKeyColorChanged(value);
    const QColor stored = AppSettings::storableChromaKeyColor(value);
    defaults_->set(AppSettings::kChromaKeyColor,
                   QList<double>{stored.redF(), stored.greenF(), stored.blueF()});
    updateOutputChromaKey();
}
void AppState::setSelectedScreenIndex(int value) {
    const bool changed = selectedScreenIndex_ != value;
    selectedScreenIndex_ = value;
    if (changed) emit selectedScreenIndexChanged(value);
    defaults_->set(AppSettings::kSelectedScreenIndex, value);
}
void AppState::setBackgroundLevel(int value) {
    const bool changed = backgroundLevel_ != value;
    backgroundLevel_ = value;
    if (changed) emit backgroundLevelChanged(value);
    defaults_->set(AppSettings::kBackgroundLevel, value);
}
void AppState::setCenterColumnWidth(double value) {
    // NaN never equals itself: compare bit patterns' meaning by "both NaN".
    const bool same =
        centerColumnWidth_ == value || (std::isnan(centerColumnWidth_) && std::isnan(value));
    centerColumnWidth_ = value;
    if (!same) emit centerColumnWidthChanged(value);
    defaults_->set(AppSettings::kCenterColumnWidth, value);
}
void AppState::setPreviewBackground(PreviewBackground value) {
    const bool changed = previewBackground_ != value;
    previewBackground_ = value;
    if (changed) emit previewBackgroundChanged(value);
    defaults_->set(AppSettings::kPreviewBackground, value == PreviewBackground::black
                                                        ? QStringLiteral("black")
                                                        : QStringLiteral("checker"));
}
void AppState::setProgramOnLeft(bool value) {
    const bool changed = programOnLeft_ != value;
    programOnLeft_ = value;
    if (changed) emit programOnLeftChanged(value);
    defaults_->set(AppSettings::kProgramOnLeft, value);
}
void AppState::setStripRightToLeft(bool value) {
    const bool changed = stripRightToLeft_ != value;
    stripRightToLeft_ = value;
    if (changed) emit stripRightToLeftChanged(value);
    defaults_->set(AppSettings::kStripRightToLeft, value);
}
void AppState::setSdiEmbedAudio(bool value) {
    const bool changed = sdiEmbedAudio_ != value;
    sdiEmbedAudio_ = value;
    if (changed) emit sdiEmbedAudioChanged(value);
    defaults_->set(AppSettings::kSDIEmbedAudio, value);
}
void AppState::setSdiMutesLocalAudio(bool value) {
    const bool changed = sdiMutesLocalAudio_ != value;
    sdiMutesLocalAudio_ = value;
    if (changed) emit sdiMutesLocalAudioChanged(value);
    defaults_->set(AppSettings::kSDIMutesLocalAudio, value);
    audio_->setMuteLocalWhileActive(value);
    applyLocalMuteRule();
}
void AppState::setFaderPosition(double value) {
    const bool same = faderPosition_ == value || (std::isnan(faderPosition_) && std::isnan(value));
    faderPosition_ = value;
    if (!same) emit faderPositionChanged(value);
    defaults_->set(AppSettings::kFaderPosition, value);
    applyFaderGain();
}
void AppState::setLedCabinet(LEDCabinetSize value) {
    const bool changed = !(ledCabinet_ == value);
    ledCabinet_ = value;
    if (changed) emit ledCabinetChanged(value);
    defaults_->set(AppSettings::kLEDCabinetWidth, value.width);
    defaults_->set(AppSettings::kLEDCabinetHeight, value.height);
}
void AppState::setReloadMediaOnActivation(bool value) {
    const bool changed = reloadMediaOnActivation_ != value;
    reloadMediaOnActivation_ = value;
    if (changed) emit reloadMediaOnActivationChanged(value);
    defaults_->set(AppSettings::kReloadMediaOnActivation, value);
}

void AppState::applyFaderGain() {
    engine_->setOutputGain(AppSettings::faderGain(faderPosition_));
    engine_->applyAudioGain();
}

void AppState::applyLocalMuteRule() {
    bool muted = false;
    {
        std::lock_guard lock(audio_->lock());
        // The mirrors are written under the same lock, so this pair is consistent.
        muted = audio_->isActive() && audio_->muteLocalWhileActive();
    }
    tone_->setLocalMuted(muted);
}

}  // namespace velmar
