#pragma once

#include "app/app_dialogs.h"
#include "app/app_settings.h"
#include "canvas/canvas_engine.h"
#include "core/playout_engine.h"
#include "core/reference_tone_kind.h"
#include "models/preview_background.h"
#include "output/ndi_output_controller.h"
#include "output/obs_transport.h"
#include "output/output_window_controller.h"
#include "output/syphon_output_controller.h"
#include "platform/base/user_defaults.h"
#include "platform/screens/screen_info.h"
#include "render/led_cabinet_size.h"
#include "render/sdi_bit_depth.h"
#include "render/test_pattern_kind.h"
#include "sdi/deck_link_controller.h"
#include "sdi/zr_deck_link_device.h"

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSizeF>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace velmar {

class ReferenceTone;
class ScreenProvider;
class SDIAudioBridge;
class Timer;
class UserDefaults;
class VirtualSdiCard;

// The one state-and-command object of the application: it owns the playout engine, the canvas
// engine and the four output controllers (SDI, output window, texture-share feed, network-video
// feed), holds the operator's persisted settings and the live state the windows show about
// outputs, feeds, open sheets and panels, and carries the commands that the menus, the
// keyboard, the main window and the settings form call.
//
// Each published property `foo` has a getter, a setter `setFoo` and a signal `fooChanged`,
// emitted only on a real change. The setters of persisted settings write the user defaults at
// every assignment, changed or not, and then run their side effect. Status texts go to the
// engine's status line. Main thread only; the one cross-thread state touched is the SDI audio
// bridge, always under its lock.
class AppState : public QObject {
    Q_OBJECT

  public:
    // Which motion-duration sheet is open: the clip under the cursor, or the selection (else
    // the whole tab).
    enum class DurationEditor { cursor, bulk };
    Q_ENUM(DurationEditor)
    // 0 for cursor, 1 for bulk.
    static int id(DurationEditor editor) { return editor == DurationEditor::cursor ? 0 : 1; }

    // The beginning of the control window's title; the screen list recognises the control
    // window by it.
    static const QString kControlWindowTitlePrefix;
    // The name both feeds publish under.
    static constexpr const char* kFeedSourceName = "DOVRINE";

    // What construction uses from outside. Every null or empty entry takes the process's real
    // service; tests give their own.
    struct Environment {
        UserDefaults* defaults = nullptr;   // UserDefaults::standard()
        ScreenProvider* screens = nullptr;  // ScreenProvider::system(): screens and windows
        // The screen of the application's main window when there is one (the fallback for the
        // control screen); the active top-level window's screen by default.
        std::function<std::optional<QString>()> mainWindowScreen;
        AppDialogs* dialogs = nullptr;      // AppDialogs::standard()
        SDIAudioBridge* audio = nullptr;    // SDIAudioBridge::shared()
        ReferenceTone* tone = nullptr;      // ReferenceTone::shared()
        std::function<bool()> isSandboxed;  // MediaAccess::isSandboxed
        // The engine's outside work (PlayoutEngine::Services::standard() when empty).
        std::optional<PlayoutEngine::Services> engineServices;
        // Canvas options; `noCanvas` runs without a canvas, as without a graphics device.
        CanvasEngine::Options canvasOptions;
        bool noCanvas = false;
        // The SDI driver: the process's own unless `useSdiCard` (then `sdiCard`, null: none).
        bool useSdiCard = false;
        const VirtualSdiCard* sdiCard = nullptr;
        OutputWindowController::Options outputOptions;  // its screens default to `screens`
        SyphonOutputController::Options syphonOptions;
        // The network-video controller; NDIOutputController(canvas, engine) by default.
        std::function<std::unique_ptr<NDIOutputController>(CanvasEngine&, PlayoutEngine&)>
            makeNDIOutput;
        // Installs the screen observers; the platform's screen and window notifications by
        // default. Tests leave it as a no-op and call the observer entry points themselves.
        bool installScreenObservers = true;
    };

    // The application's instance, made on first use with the real services.
    static AppState& shared();

    explicit AppState(Environment environment, QObject* parent = nullptr);
    ~AppState() override;
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // ---- Owned objects ------------------------------------------------------------------------
    PlayoutEngine& engine() { return *engine_; }
    const PlayoutEngine& engine() const { return *engine_; }
    // Null without a graphics device; then every controller below is null too.
    CanvasEngine* canvasEngine() const { return canvas_.get(); }
    DeckLinkController* deckLink() const { return deckLink_.get(); }
    OutputWindowController* output() const { return output_.get(); }
    SyphonOutputController* syphonOutput() const { return syphonOutput_.get(); }
    NDIOutputController* ndiOutput() const { return ndiOutput_.get(); }
    UserDefaults& defaults() const { return *defaults_; }

    // ---- Published state, in declaration order -------------------------------------------------
    bool isOBSOpen() const { return isOBSOpen_; }
    void setIsOBSOpen(bool value);
    bool isOBSConnected() const { return isOBSConnected_; }
    void setIsOBSConnected(bool value);
    int obsConnectionCount() const { return obsConnectionCount_; }
    void setObsConnectionCount(int value);
    std::optional<OBSTransport> runningOBSTransport() const { return runningOBSTransport_; }
    void setRunningOBSTransport(std::optional<OBSTransport> value);
    OBSTransport obsTransport() const { return obsTransport_; }  // persisted
    void setObsTransport(OBSTransport value);

    // The open project's file; empty for a new project.
    const QUrl& projectURL() const { return projectURL_; }
    void setProjectURL(const QUrl& value);
    // The snapshot of the last clean state (plain, not published).
    const std::optional<QByteArray>& savedProjectSnapshot() const { return savedProjectSnapshot_; }
    void setSavedProjectSnapshot(std::optional<QByteArray> value);

    bool isSettingsOpen() const { return isSettingsOpen_; }
    void setIsSettingsOpen(bool value);
    // Any owner has an open or save panel up.
    bool isFilePanelOpen() const { return !filePanelOwners_.isEmpty(); }
    // Each owner sets and clears only its own flag; an owner's flag is cleared when the owner
    // is destroyed.
    void setFilePanelOpen(QObject* owner, bool open);
    bool isProjectLoading() const { return isProjectLoading_; }
    void setIsProjectLoading(bool value);

    std::optional<DurationEditor> durationEditor() const { return durationEditor_; }
    // Also sets this object's own number-entry flag to whether a sheet is open.
    void setDurationEditor(std::optional<DurationEditor> value);
    // Any owner has a number-entry sheet up (the duration sheet's owner is this object).
    bool isNumberEntryOpen() const { return !numberEntryOwners_.isEmpty(); }
    void setNumberEntryOpen(QObject* owner, bool open);

    const std::vector<ZRDeckLinkDevice>& availableDeckLinkDevices() const {
        return availableDeckLinkDevices_;
    }
    void setAvailableDeckLinkDevices(std::vector<ZRDeckLinkDevice> value);
    bool isDeckLinkRunning() const { return isDeckLinkRunning_; }
    void setIsDeckLinkRunning(bool value);
    int selectedDeckLinkIndex() const { return selectedDeckLinkIndex_; }  // persisted
    void setSelectedDeckLinkIndex(int value);
    bool useExternalKeyer() const { return useExternalKeyer_; }  // persisted
    void setUseExternalKeyer(bool value);
    SDIBitDepth sdiBitDepth() const { return sdiBitDepth_; }  // persisted
    void setSdiBitDepth(SDIBitDepth value);

    // Candidate displays of the output window: every screen at construction, after the first
    // refreshScreens() every screen except the control window's.
    const QList<ScreenInfo>& availableScreens() const { return availableScreens_; }
    void setAvailableScreens(QList<ScreenInfo> value);
    bool isOutputOpen() const { return isOutputOpen_; }
    void setIsOutputOpen(bool value);
    // The identity of the chosen output screen (plain).
    const std::optional<QString>& selectedScreenID() const { return selectedScreenID_; }

    bool chromaKeyEnabled() const { return chromaKeyEnabled_; }  // persisted
    void setChromaKeyEnabled(bool value);
    const QColor& chromaKeyColor() const { return chromaKeyColor_; }  // persisted
    void setChromaKeyColor(const QColor& value);
    int selectedScreenIndex() const { return selectedScreenIndex_; }  // persisted
    void setSelectedScreenIndex(int value);
    int backgroundLevel() const { return backgroundLevel_; }  // persisted
    void setBackgroundLevel(int value);
    double centerColumnWidth() const { return centerColumnWidth_; }  // persisted
    void setCenterColumnWidth(double value);
    PreviewBackground previewBackground() const { return previewBackground_; }  // persisted
    void setPreviewBackground(PreviewBackground value);
    bool programOnLeft() const { return programOnLeft_; }  // persisted
    void setProgramOnLeft(bool value);
    bool stripRightToLeft() const { return stripRightToLeft_; }  // persisted
    void setStripRightToLeft(bool value);
    bool sdiEmbedAudio() const { return sdiEmbedAudio_; }  // persisted
    void setSdiEmbedAudio(bool value);
    bool sdiMutesLocalAudio() const { return sdiMutesLocalAudio_; }  // persisted
    void setSdiMutesLocalAudio(bool value);
    double faderPosition() const { return faderPosition_; }  // persisted
    void setFaderPosition(double value);
    LEDCabinetSize ledCabinet() const { return ledCabinet_; }  // persisted
    void setLedCabinet(LEDCabinetSize value);
    bool reloadMediaOnActivation() const { return reloadMediaOnActivation_; }  // persisted
    void setReloadMediaOnActivation(bool value);
    int filterRequestToken() const { return filterRequestToken_; }
    void setFilterRequestToken(int value);

    // ---- Output switching ----------------------------------------------------------------------
    void refreshDeckLinkDevices();
    void startDeckLink();
    void stopDeckLink();
    void refreshScreens();
    void toggleOutput();
    // The transport the feed uses: the chosen one when it is offered, else network video.
    OBSTransport effectiveOBSTransport() const;
    void toggleOBSOutput();
    void stopOBSOutput();
    void toggleReferenceTone(ReferenceToneKind kind);
    void stopReferenceTone();

    // ---- Test patterns
    // --------------------------------------------------------------------------- The pattern shown
    // goes off; another goes up (the LED cabinet pattern asks its size first).
    void toggleTestPattern(TestPatternKind kind);

    // ---- Duration editor, transform resize ----------------------------------------------------
    // Opens the sheet when the current tab holds a clip; otherwise nothing happens.
    void openDurationEditor(DurationEditor kind);
    // The clips the sheet edits.
    QSet<QUuid> durationTargets(DurationEditor kind) const;
    // A corner drag of the NEXT preview: scale and centre shift (view points, y down) over the
    // canvas as drawn (same points), applied to the fields the targets share.
    void resizeSelectedTransform(double scaleDelta, QSizeF centerShift, QSizeF canvasSize);

    // ---- Observer entry points (the platform observers call these; tests call them directly) --
    // The screens were added, removed or changed.
    void screenParametersChanged();
    // A window moved to another screen; acted on only for the control window.
    void windowDidChangeScreen(const QString& windowTitle);

    // Called with unreadable clips the engine found (the document workflow installs it).
    std::function<void(const QList<QPair<QString, QString>>&)> onUnreadableClips;

  signals:
    void isOBSOpenChanged(bool value);
    void isOBSConnectedChanged(bool value);
    void obsConnectionCountChanged(int value);
    void runningOBSTransportChanged(std::optional<velmar::OBSTransport> value);
    void obsTransportChanged(velmar::OBSTransport value);
    void projectURLChanged(const QUrl& value);
    void isSettingsOpenChanged(bool value);
    void isFilePanelOpenChanged(bool value);
    void isProjectLoadingChanged(bool value);
    void durationEditorChanged(std::optional<velmar::AppState::DurationEditor> value);
    void isNumberEntryOpenChanged(bool value);
    void availableDeckLinkDevicesChanged();
    void isDeckLinkRunningChanged(bool value);
    void selectedDeckLinkIndexChanged(int value);
    void useExternalKeyerChanged(bool value);
    void sdiBitDepthChanged(velmar::SDIBitDepth value);
    void availableScreensChanged();
    void isOutputOpenChanged(bool value);
    void chromaKeyEnabledChanged(bool value);
    void chromaKeyColorChanged(const QColor& value);
    void selectedScreenIndexChanged(int value);
    void backgroundLevelChanged(int value);
    void centerColumnWidthChanged(double value);
    void previewBackgroundChanged(velmar::PreviewBackground value);
    void programOnLeftChanged(bool value);
    void stripRightToLeftChanged(bool value);
    void sdiEmbedAudioChanged(bool value);
    void sdiMutesLocalAudioChanged(bool value);
    void faderPositionChanged(double value);
    void ledCabinetChanged(velmar::LEDCabinetSize value);
    void reloadMediaOnActivationChanged(bool value);
    void filterRequestTokenChanged(int value);

  private:
    std::optional<LEDCabinetSize> askLEDCabinetSize();
    void updateOutputChromaKey();
    void applyLocalMuteRule();
    void applyFaderGain();
    void setStatus(const QString& message);
    // Main thread: the settings file could not be kept as it was, or is written again.
    void settingsProblem(const UserDefaults::Problem& problem);
    // The SDI output stopped by itself: the switch goes off and the reason is shown and logged.
    void deckLinkFailed(const QString& message);
    void installScreenObservers();
    // Adds or removes an owner of a per-owner flag; returns whether the set changed.
    bool setOwner(QSet<QObject*>& owners, QObject* owner, bool open);
    void ownerDestroyed(QObject* owner);

    Environment env_;
    UserDefaults* defaults_;
    struct SettingsGuard {
        std::mutex mutex;
        AppState* app = nullptr;
    };
    std::shared_ptr<SettingsGuard> settingsGuard_;
    // The standing warning shown while settings cannot be written; cleared when they can again.
    QString settingsWriteWarning_;
    ScreenProvider* screens_;
    AppDialogs* dialogs_;
    SDIAudioBridge* audio_;
    ReferenceTone* tone_;

    std::unique_ptr<PlayoutEngine> engine_;
    std::unique_ptr<CanvasEngine> canvas_;
    std::unique_ptr<DeckLinkController> deckLink_;
    std::unique_ptr<OutputWindowController> output_;
    std::unique_ptr<SyphonOutputController> syphonOutput_;
    std::unique_ptr<NDIOutputController> ndiOutput_;
    // Watches the running SDI output (DeckLinkController::watchOutput) once a second.
    std::unique_ptr<Timer> deckLinkWatch_;

    bool isOBSOpen_ = false;
    bool isOBSConnected_ = false;
    int obsConnectionCount_ = 0;
    std::optional<OBSTransport> runningOBSTransport_;
    OBSTransport obsTransport_ = OBSTransport::syphon;
    QUrl projectURL_;
    std::optional<QByteArray> savedProjectSnapshot_;
    bool isSettingsOpen_ = false;
    QSet<QObject*> filePanelOwners_;
    bool isProjectLoading_ = false;
    std::optional<DurationEditor> durationEditor_;
    QSet<QObject*> numberEntryOwners_;
    std::vector<ZRDeckLinkDevice> availableDeckLinkDevices_;
    bool isDeckLinkRunning_ = false;
    int selectedDeckLinkIndex_ = 0;
    bool useExternalKeyer_ = true;
    SDIBitDepth sdiBitDepth_ = SDIBitDepth::eightBit;
    QList<ScreenInfo> availableScreens_;
    bool isOutputOpen_ = false;
    std::optional<QString> selectedScreenID_;
    bool chromaKeyEnabled_ = false;
    QColor chromaKeyColor_;
    int selectedScreenIndex_ = 0;
    int backgroundLevel_ = 0;
    double centerColumnWidth_ = 160;
    PreviewBackground previewBackground_ = PreviewBackground::checker;
    bool programOnLeft_ = false;
    bool stripRightToLeft_ = true;
    bool sdiEmbedAudio_ = true;
    bool sdiMutesLocalAudio_ = true;
    double faderPosition_ = 1.0;
    LEDCabinetSize ledCabinet_{128, 128};
    bool reloadMediaOnActivation_ = true;
    int filterRequestToken_ = 0;

    // The stored screen index counts the filtered list; the first refresh reads it so.
    bool screensRefreshed_ = false;
    // The observers' connections (removed with this object).
    QList<QMetaObject::Connection> observerConnections_;
};

}  // namespace velmar
