#pragma once

#include "core/background_runner.h"
#include "core/dsk_controller.h"
#include "core/opacity_meter.h"
#include "core/output_state.h"
#include "core/rundown.h"
#include "models/canvas_format.h"
#include "models/clip.h"
#include "models/frame_rate.h"
#include "models/image_ref.h"
#include "models/key_alpha_mode.h"
#include "models/motion_kind.h"
#include "models/playout_media.h"
#include "render/led_cabinet_size.h"
#include "render/test_pattern_kind.h"

#include <QObject>
#include <QPointF>
#include <QSizeF>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace velmar {

class HostClock;
class MoviePlayback;
class PlayoutLog;
class SerialQueue;
class Timer;
class TimerFactory;

// The playout of the rundown (which it owns, see Rundown): the NEXT clip's preloaded medium,
// the on-air state machine behind the take keys with its 1/120 s fade clock, and the output-state
// snapshot every renderer copies. Everything runs on the main thread except outputState(), which
// any thread may call, and the background work the engine starts (still decoding on
// "dovrine.next-still", verification and metadata passes), whose results come back to the main
// thread and are dropped when a newer request has replaced them.
class PlayoutEngine : public QObject {
    Q_OBJECT

  public:
    enum class State { off, fadingIn, on, fadingOut };
    Q_ENUM(State)
    static QString rawValue(State state);

    // The snapshot types under their former names.
    using OutputState = velmar::OutputState;
    using OutputSnapshot = velmar::OutputSnapshot;

    // The outside work the engine calls. standard() uses the real loaders, player and caches;
    // tests replace single entries.
    struct Services {
        HostClock* clock = nullptr;
        TimerFactory* timers = nullptr;
        PlayoutLog* log = nullptr;
        // Decodes a still fitted to the canvas; null when it cannot be decoded.
        std::function<ImageRef(const QUrl&, const CanvasFormat&)> loadFittedStill;
        // Makes the playback object of a movie; its preparation starts by itself.
        std::function<std::shared_ptr<MoviePlayback>(const QUrl&, bool muted, int loopCount)>
            makePlayback;
        std::function<std::optional<QSizeF>(const QUrl&)> videoPixelSize;
        std::function<ImageRef(const QUrl&, int maxPixel)> firstFrame;
        std::function<ImageRef(const QUrl&, int maxPixel, double seconds)> boundedFirstFrame;
        // Why a still or a movie cannot be played, or nothing when it can.
        std::function<std::optional<QString>(const QUrl&)> stillRejectionReason;
        std::function<std::optional<QString>(const QUrl&)> movieProbeFailure;
        std::function<std::optional<QSize>(const QUrl&)> stillPixelSize;
        std::function<ImageRef(const QUrl&, int maxPixel)> stillThumbnail;
        std::function<std::optional<QPointF>(const ImageRef&)> contentAnchor;
        // Queues the texture upload of a decoded still.
        std::function<void(const ImageRef&)> prewarmTexture;
        // Runs work off the main thread, each kind on its own lane.
        BackgroundRunner runInBackground;
        // Pushes the program gain to every output audio bridge.
        std::function<void(float)> setBridgeProgramGain;
        // Drops the cached thumbnail of a file path (its clip now shows another file).
        std::function<void(const QString&)> forgetThumbnail;
        // Makes the GPU texture of a decoded still on the calling thread, before it is shown
        // (any thread). Empty: the texture is made when the still is first drawn.
        std::function<void(const ImageRef&)> prepareTexture;

        static Services standard();
    };

    explicit PlayoutEngine(Services services = Services::standard(), QObject* parent = nullptr);
    ~PlayoutEngine() override;

    // The outside work the engine was made with (its clock, timers and log are shared with the
    // application state).
    const Services& services() const { return services_; }
    DSKController& dsk() { return *dsk_; }
    // The tabs and clips it plays. Edits refused on air ask blockedWhileOnAir(); statuses go to
    // lastMessage(); NEXT, checks of new files and the log follow the edits.
    Rundown& rundown() { return rundown_; }
    const Rundown& rundown() const { return rundown_; }
    OpacityMeter& meter() { return meter_; }

    // ---- Published state --------------------------------------------------------------------
    State state() const { return state_; }
    bool keyOutputEnabled() const { return keyOutputEnabled_; }
    const std::optional<Clip>& programClip() const { return programClip_; }
    const std::optional<PlayoutMedia>& programMedia() const { return programMedia_; }
    const std::optional<PlayoutMedia>& nextMedia() const { return nextMedia_; }
    bool isNextLoading() const { return isNextLoading_; }
    const QString& lastMessage() const { return lastMessage_; }
    // The status line; also written by the application's commands.
    void setLastMessage(const QString& message);
    // A warning that must not scroll away (autosave or settings that cannot be kept): it stays
    // in the status line beside the messages that follow until another warning replaces it or
    // the operator acknowledges it (empty: none).
    const QString& standingWarning() const { return standingWarning_; }
    void setStandingWarning(const QString& warning);
    const CanvasFormat& canvas() const { return canvas_; }
    const FrameRate& frameRate() const { return frameRate_; }
    KeyAlphaMode keyAlphaMode() const { return keyAlphaMode_; }
    double fadeDuration() const { return fadeDuration_; }
    MotionKind defaultMotion() const { return defaultMotion_; }
    const ImageRef& nextScrubImage() const { return nextScrubImage_; }
    MotionKind activeMotion() const { return activeMotion_; }
    bool autoAdvance() const { return autoAdvance_; }
    bool unpremultiplyAlpha() const { return unpremultiplyAlpha_; }
    bool audioEnabled() const { return audioEnabled_; }

    // Settings (written by the settings form and by loading a project).
    void setKeyAlphaMode(KeyAlphaMode mode);
    void setUnpremultiplyAlpha(bool value);
    void setDefaultMotion(MotionKind motion);
    void setFadeDuration(double seconds);
    void setAutoAdvance(bool value);
    void setAudioEnabled(bool value);
    void setNextScrubImage(ImageRef image);

    // Program audio (written by the application state, each followed by applyAudioGain()).
    float outputGain() const { return outputGain_; }
    void setOutputGain(float gain);
    bool isAudioSuppressed() const { return isAudioSuppressed_; }
    void setAudioSuppressed(bool value);

    // Callbacks the application state installs; called on the main thread.
    std::function<void()> onPanic;
    std::function<void(const std::optional<PlayoutMedia>&)> onProgramMediaChange;
    std::function<void(const QList<QPair<QString, QString>>&)> onUnreadableClips;

    // ---- Take controls ----------------------------------------------------------------------
    void spacePressed();
    void returnPressed();
    void cutTogglePressed();
    void panicOff();

    bool isOnAir() const;
    bool isAtEnd() const;
    std::optional<int> programIndex() const;

    // ---- Test pattern -------------------------------------------------------------------------
    // A pattern replaces the program picture on every output. It is drawn at the canvas size
    // off the main thread (Services::runInBackground) with its texture prepared; only the
    // newest request is shown, and a clear drops a drawing still under way.
    bool isShowingTestPattern() const { return testPattern_.media.has_value(); }
    // The pattern shown; none when none.
    const std::optional<TestPatternKind>& testPattern() const { return testPattern_.shown; }
    // The cabinet size of the last request.
    LEDCabinetSize testPatternCabinet() const { return testPattern_.cabinet; }
    // Starts drawing the pattern at the present canvas size and returns at once.
    void showTestPattern(TestPatternKind kind, LEDCabinetSize cabinet);
    void clearTestPattern();

    // ---- Program movie shuttle -----------------------------------------------------------------
    // J/K/L on the program movie: direction < 0 reverse, 0 stop, > 0 forward. Reports the rate.
    void shuttleProgram(int direction);
    // Shift+J/L: the rate in steps of 0.1 (direction < 0 slower, otherwise faster).
    void slowShuttleProgram(int direction);

    // ---- Output state -----------------------------------------------------------------------
    // Any thread: the last rebuilt record and the program level at this moment.
    OutputSnapshot outputState() const;
    void refreshOutputState();
    void applyAudioGain();

    // ---- NEXT preloading ----------------------------------------------------------------------
    void reloadNextMedia();
    void releaseNextMedia();
    void reloadSelectedStillFromDisk();

    // True (with a message naming the looked-up action) while the program is not off.
    bool blockedWhileOnAir(const QString& action);

    // ---- Canvas and frame rate -----------------------------------------------------------------
    // The setters are refused while the program is not off and report the result; the silent
    // forms (project load) validate and apply without a success message.
    void setCanvas(const CanvasFormat& format);
    void applyCanvasSilently(const CanvasFormat& format);
    void setFrameRate(const FrameRate& rate);
    void applyFrameRateSilently(const FrameRate& rate);

    // ---- Verification and metadata ------------------------------------------------------------
    // Background passes over clips of the rundown; results are applied on the main thread to
    // the clips that still show the checked file.
    using UnreadableEntry = Rundown::UnreadableEntry;
    void verify(const QList<Clip>& clips);
    void applyUnreadable(const QList<UnreadableEntry>& entries);
    void resolvePixelSizes(const QSet<QUuid>& ids);
    void applyMetadata(const QHash<QUuid, QSizeF>& sizes, const QHash<QUuid, QPointF>& anchors,
                       const QHash<QUuid, QUrl>& sourceURLs);

  signals:
    void stateChanged(velmar::PlayoutEngine::State state);
    void keyOutputEnabledChanged(bool enabled);
    void programChanged();  // programClip, programMedia
    void nextMediaChanged();
    void isNextLoadingChanged(bool loading);
    void lastMessageChanged(const QString& message);
    void standingWarningChanged(const QString& warning);
    void canvasChanged();
    void frameRateChanged();
    void settingsChanged();  // keyAlphaMode, unpremultiplyAlpha, defaultMotion, fadeDuration,
                             // autoAdvance, audioEnabled
    void nextScrubImageChanged();
    void activeMotionChanged();
    void outputGainChanged(float gain);
    void audioSuppressedChanged(bool suppressed);
    void testPatternChanged();

  private:
    struct Take {
        Clip clip;
        PlayoutMedia media;
    };

    // The fade clock that moves the program level at 1/120 s (playout_engine.cpp).
    struct FadeClock {
        std::unique_ptr<Timer> timer;
        bool running = false;
        double opacity = 0;
        double startTime = 0;  // host seconds
        double from = 0;
        double to = 0;
        double activeDuration = 0.5;
        double lastMeterPublish = 0;
    };

    // The NEXT clip's medium loaded ahead (playout_engine_preload.cpp). Each request draws a
    // token; results of older requests are dropped.
    struct NextPreload {
        QUuid loadToken;
        std::optional<QUuid> mediaClipID;
        std::optional<QUuid> loadingClipID;
        std::unique_ptr<SerialQueue> stillQueue;
        // Read by the still queue's worker, to skip requests superseded before they start.
        std::mutex latestStillRequestLock;
        QUuid latestStillRequest;
    };

    // The test pattern on the program layer (playout_engine_test_pattern.cpp).
    struct TestPatternState {
        std::optional<PlayoutMedia> media;
        QUuid token;
        std::optional<TestPatternKind> shown;
        LEDCabinetSize cabinet{128, 128};
        // The kind of the request being drawn; none once handed over or cleared.
        std::optional<TestPatternKind> requested;
    };

    // The record every renderer copies (playout_engine_output.cpp).
    struct PublishedOutput {
        mutable std::mutex lock;
        std::shared_ptr<const OutputState> record;
    };

    // Published setters with their observers.
    void setState(State state);
    void setKeyOutputEnabled(bool enabled);
    void setProgramMedia(std::optional<PlayoutMedia> media);
    void setNextMedia(std::optional<PlayoutMedia> media, std::optional<QUuid> clipID);
    void setIsNextLoading(bool loading, std::optional<QUuid> clipID);
    void setActiveMotion(MotionKind motion);

    // Take internals.
    std::optional<Take> prepareClip();
    void armMotion(const std::optional<Clip>& clip);
    void setProgram(const Clip& clip, const PlayoutMedia& media);
    void advanceAndPreload();
    void setOpacity(double value, bool forceUI);
    void clearProgram();
    void startFade(double to);
    void startTimer();
    void stopTimer();
    void tick();
    void takeByCut(const Take& take);
    void log(const QString& tag, const std::optional<Clip>& clip);

    // Restarts the NEXT preload unless the NEXT clip is still the one loaded or being loaded,
    // for edits that change where clips stand but not what they hold.
    void reloadNextMediaUnlessKept();
    // `refusal`: why the file is refused, looked at when it did not decode (a pipe, folder or
    // nothing now at the path), none when it passes the check and only its pixels fail.
    void finishStill(const QUuid& token, const Clip& clip, const ImageRef& image,
                     const std::optional<QString>& refusal);
    void refineMovie(const QUuid& token, const QUuid& clipID, std::optional<QSizeF> size,
                     ImageRef poster, QSizeF fallback);
    void markMovieUnreadable(const Clip& clip);

    // Draws a shown test pattern again at the new canvas size.
    void redrawTestPatternForCanvas();
    void finishTestPattern(const QUuid& token, const ImageRef& image, TestPatternKind kind, int w,
                           int h, LEDCabinetSize cabinet);

    Services services_;
    std::unique_ptr<DSKController> dsk_;
    Rundown rundown_;
    State state_ = State::off;
    bool keyOutputEnabled_ = true;
    std::optional<Clip> programClip_;
    std::optional<PlayoutMedia> programMedia_;
    std::optional<PlayoutMedia> nextMedia_;
    bool isNextLoading_ = false;
    QString lastMessage_;
    QString standingWarning_;
    CanvasFormat canvas_;
    FrameRate frameRate_;
    KeyAlphaMode keyAlphaMode_ = KeyAlphaMode::straight;
    double fadeDuration_ = 0.5;
    MotionKind defaultMotion_ = MotionKind::fade;
    ImageRef nextScrubImage_;
    MotionKind activeMotion_ = MotionKind::fade;
    bool autoAdvance_ = true;
    bool unpremultiplyAlpha_ = false;
    float outputGain_ = 1.0f;
    bool isAudioSuppressed_ = false;
    bool audioEnabled_ = true;
    OpacityMeter meter_;

    FadeClock fade_;
    NextPreload next_;
    TestPatternState testPattern_;
    PublishedOutput output_;
};

}  // namespace velmar
