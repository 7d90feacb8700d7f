#pragma once

#include "core/dsk_controller.h"
#include "core/opacity_meter.h"
#include "core/output_state.h"
#include "models/bar_section.h"
#include "models/canvas_format.h"
#include "models/clip.h"
#include "models/clip_group.h"
#include "models/frame_rate.h"
#include "models/image_ref.h"
#include "models/key_alpha_mode.h"
#include "models/motion_kind.h"
#include "models/playout_media.h"
#include "models/strip_insertion.h"
#include "models/strip_order.h"
#include "render/led_cabinet_size.h"
#include "render/test_pattern_kind.h"

#include <QHash>
#include <QObject>
#include <QPointF>
#include <QSet>
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

// The rundown in memory and its playout: tabs of clips, the NEXT clip and its preloaded medium,
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
        // Runs work off the main thread.
        std::function<void(std::function<void()>)> runInBackground;
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

    DSKController& dsk() { return *dsk_; }
    OpacityMeter& meter() { return meter_; }

    // ---- Published state --------------------------------------------------------------------
    State state() const { return state_; }
    bool keyOutputEnabled() const { return keyOutputEnabled_; }
    const std::optional<Clip>& programClip() const { return programClip_; }
    const std::optional<PlayoutMedia>& programMedia() const { return programMedia_; }
    const std::optional<PlayoutMedia>& nextMedia() const { return nextMedia_; }
    bool isNextLoading() const { return isNextLoading_; }
    const QString& lastMessage() const { return lastMessage_; }
    const QList<ClipGroup>& groups() const { return groups_; }
    int currentGroupIndex() const { return currentGroupIndex_; }
    const CanvasFormat& canvas() const { return canvas_; }
    const FrameRate& frameRate() const { return frameRate_; }
    KeyAlphaMode keyAlphaMode() const { return keyAlphaMode_; }
    const QSet<QUuid>& reorderSelection() const { return reorderSelection_; }
    double fadeDuration() const { return fadeDuration_; }
    MotionKind defaultMotion() const { return defaultMotion_; }
    const ImageRef& nextScrubImage() const { return nextScrubImage_; }
    MotionKind activeMotion() const { return activeMotion_; }
    bool autoAdvance() const { return autoAdvance_; }
    bool unpremultiplyAlpha() const { return unpremultiplyAlpha_; }
    bool audioEnabled() const { return audioEnabled_; }
    const QString& filterText() const { return filterText_; }
    int pendingVerification() const { return pendingVerification_; }

    // Settings (written by the settings form and by loading a project).
    void setKeyAlphaMode(KeyAlphaMode mode);
    void setUnpremultiplyAlpha(bool value);
    void setDefaultMotion(MotionKind motion);
    void setFadeDuration(double seconds);
    void setAutoAdvance(bool value);
    void setAudioEnabled(bool value);
    void setFilterText(const QString& text);
    void setNextScrubImage(ImageRef image);

    // Program audio (written by the application state, each followed by applyAudioGain()).
    float outputGain() const { return outputGain_; }
    void setOutputGain(float gain) { outputGain_ = gain; }
    bool isAudioSuppressed() const { return isAudioSuppressed_; }
    void setAudioSuppressed(bool value) { isAudioSuppressed_ = value; }

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
    bool isShowingTestPattern() const { return testPatternMedia_.has_value(); }
    // The pattern shown; none when none.
    const std::optional<TestPatternKind>& testPattern() const { return testPattern_; }
    // The cabinet size of the last request.
    LEDCabinetSize testPatternCabinet() const { return testPatternCabinet_; }
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

    // ---- Selection and navigation ------------------------------------------------------------
    std::optional<ClipGroup> currentGroup() const;
    std::optional<Clip> selectedClip() const;
    void setSelectedIndex(int index);
    void selectNext();
    void selectPrevious();
    void jumpToLast();
    void jumpToMarker(bool forward);
    void extendSelection(int step);
    void extendReorderSelection(int index);
    void selectAllInTab();
    void setReorderSelection(QSet<QUuid> ids, std::optional<int> anchor);
    bool matchesFilter(const Clip& clip) const;
    int filteredCount() const;

    // ---- NEXT preloading ----------------------------------------------------------------------
    void reloadNextMedia();
    void releaseNextMedia();
    void reloadSelectedStillFromDisk();

    // ---- Rundown: tabs and the clip collection ---------------------------------------------------
    // Main thread. Removing and reordering tabs and replacing a clip's file are refused while the
    // program is not off (the keyer alone blocks nothing); everything else works on air. No edit
    // touches the program clip or its medium. Statuses go to lastMessage().

    // The most clips the rundown holds over all its tabs.
    static constexpr int maxClips = 10000;

    void addGroup(const QString& name);
    void renameGroup(int index, const QString& name);  // trimmed; blank names are ignored
    void removeGroup(int index);
    void moveGroup(int index, int delta);
    void selectGroup(int index);
    void cycleGroup(bool forward);
    // True (with a message naming the looked-up action) while the program is not off.
    bool blockedWhileOnAir(const QString& action);

    // Inserts imported clips into the tab with the id (the current tab when none), at the index
    // (appended when none), as many as the clip limit leaves room for; starts their checks.
    void addClips(const QList<Clip>& prepared, std::optional<int> insertAt = std::nullopt,
                  std::optional<QUuid> toGroup = std::nullopt);
    // Points the clip at another file, keeping its id, placement and motion.
    void replaceClip(int index, const QUrl& url);
    // Replaces the whole rundown (project load) and starts verification and metadata passes.
    void loadGroups(QList<ClipGroup> groups);
    // Moves the current tab's clips with the ids to the end of another tab.
    void moveClips(const QSet<QUuid>& ids, int toGroup);
    // Removes the tab's clips with the ids; returns how many went. Markers and NEXT follow.
    int removeClips(const QSet<QUuid>& ids, int inGroup);
    // Removes motionTargetIDs() from the current tab.
    void deleteSelection();

    // ---- Per-clip transform, motion and loop settings ------------------------------------------
    // Each acts on the clips of the current tab whose ids are in the set; values are clamped.

    // The reorder selection, else the NEXT clip, else nothing.
    QSet<QUuid> motionTargetIDs() const;
    // The value every target shares exactly; none when they differ or there are no targets.
    std::optional<double> commonTransformValue(ClipTransform::Field field,
                                               const QSet<QUuid>& ids) const;
    void setTransform(ClipTransform::Field field, double value, const QSet<QUuid>& ids);
    void resetTransform(const QSet<QUuid>& ids);
    // Scales stills smaller than the canvas up until they touch its edges, and centres them.
    void fitSmallImagesToCanvas(const QSet<QUuid>& ids);
    void setLoopCount(int count, const QSet<QUuid>& ids);  // movies only; 0 = endless
    std::optional<int> commonLoopCount(const QSet<QUuid>& ids) const;
    void setMotion(std::optional<MotionKind> motion, const QSet<QUuid>& ids);  // none = default
    void setMotionDuration(std::optional<double> seconds, const QSet<QUuid>& ids);
    // Outer: whether the targets agree; inner: the motion they share (none = the default motion).
    std::optional<std::optional<MotionKind>> commonMotion(const QSet<QUuid>& ids) const;

    // ---- Canvas and frame rate -----------------------------------------------------------------
    // The setters are refused while the program is not off and report the result; the silent
    // forms (project load) validate and apply without a success message.
    void setCanvas(const CanvasFormat& format);
    void applyCanvasSilently(const CanvasFormat& format);
    void setFrameRate(const FrameRate& rate);
    void applyFrameRateSilently(const FrameRate& rate);

    // ---- Strip order, markers and the sequence bar ----------------------------------------------
    // The current tab's clips and markers as one strip. None is refused on air; NEXT stays on
    // the same clip through every reorder.
    void toggleReorderSelection(int index);
    // What a drag or nudge of the clip moves: the reorder selection when it holds the clip.
    QSet<QUuid> targetIDs(const QUuid& id) const;
    bool move(const QSet<QUuid>& ids, const StripInsertion& to);  // true when the strip changed
    bool nudge(const QSet<QUuid>& ids, int step);
    void moveMarker(const QUuid& id, const StripInsertion& to);
    void addMarker(int position, const QString& name);  // trimmed; blank names are ignored
    void renameMarker(const QUuid& id, const QString& name);
    void removeMarker(const QUuid& id);
    // The current tab as sections opened by its markers.
    QList<BarSection> barSections() const;
    // Removes one clip of the current tab (and its id from the reorder selection).
    void removeClip(int index);

    // ---- Verification and metadata ------------------------------------------------------------
    struct UnreadableEntry {
        QUuid id;
        QUrl url;
        QString name;
        QString reason;
    };
    void verify(const QList<Clip>& clips);
    void applyUnreadable(const QList<UnreadableEntry>& entries);
    void resolvePixelSizes(const QSet<QUuid>& ids);
    void applyMetadata(const QHash<QUuid, QSizeF>& sizes, const QHash<QUuid, QPointF>& anchors,
                       const QHash<QUuid, QUrl>& sourceURLs);
    bool isVerified(const Clip& clip) const;

signals:
    void stateChanged(velmar::PlayoutEngine::State state);
    void keyOutputEnabledChanged(bool enabled);
    void programChanged();  // programClip, programMedia
    void nextMediaChanged();
    void isNextLoadingChanged(bool loading);
    void lastMessageChanged(const QString& message);
    void groupsChanged();  // groups, currentGroupIndex
    void canvasChanged();
    void frameRateChanged();
    void reorderSelectionChanged();
    void settingsChanged();  // keyAlphaMode, unpremultiplyAlpha, defaultMotion, fadeDuration,
                             // autoAdvance, audioEnabled
    void nextScrubImageChanged();
    void activeMotionChanged();
    void filterTextChanged();
    void pendingVerificationChanged(int count);
    void testPatternChanged();

private:
    struct Take {
        Clip clip;
        PlayoutMedia media;
    };

    // Published setters with their observers.
    void setState(State state);
    void setKeyOutputEnabled(bool enabled);
    void setProgramMedia(std::optional<PlayoutMedia> media);
    void setNextMedia(std::optional<PlayoutMedia> media, std::optional<QUuid> clipID);
    void setIsNextLoading(bool loading, std::optional<QUuid> clipID);
    void setLastMessage(const QString& message);
    void setGroups(QList<ClipGroup> groups);
    void setActiveMotion(MotionKind motion);
    void setPendingVerification(int count);

    // Take internals.
    std::optional<Take> prepareClip();
    void armMotion(const std::optional<Clip>& clip);
    void setProgram(const Clip& clip, const PlayoutMedia& media);
    void advanceAndPreload();
    void setOpacity(double value, bool forceUI);
    void clearProgram();
    void startTimer();
    void stopTimer();
    void tick();
    void takeByCut(const Take& take);
    void log(const QString& tag, const std::optional<Clip>& clip);
    bool fadeTimerRunning() const;

    int safeGroupIndex() const;
    int clampedNext() const;
    // Position of a clip by id across all tabs: (tab, index), kept up to date with `groups`.
    std::optional<std::pair<int, int>> locate(const QUuid& id) const;
    void rebuildIndex();

    // Editing internals.
    // `groups_` was edited in place: rebuild the id index and publish.
    void commitGroups();
    void setCurrentGroupIndex(int index);
    // Restarts the NEXT preload unless the NEXT clip is still the one loaded or being loaded,
    // for edits that change where clips stand but not what they hold.
    void reloadNextMediaUnlessKept();
    // Markers and NEXT of a tab after the clips at `removed` (indices before removal) left it.
    void compactPositions(int inGroup, QList<int> removed);
    void applyStripOrder(const StripOrder& order, int inGroup);
    // Indices in the current tab of the clips with the ids, ascending.
    QList<int> targetIndices(const QSet<QUuid>& ids) const;
    // Draws a shown test pattern again at the new canvas size.
    void redrawTestPatternForCanvas();

    // ---- Test pattern internals ----
    void finishTestPattern(const QUuid& token, const ImageRef& image, TestPatternKind kind, int w,
                           int h, LEDCabinetSize cabinet);

    void finishStill(const QUuid& token, const Clip& clip, const ImageRef& image);
    void refineMovie(const QUuid& token, const QUuid& clipID, std::optional<QSizeF> size,
                     ImageRef poster, QSizeF fallback);

    Services services_;
    std::unique_ptr<DSKController> dsk_;
    State state_ = State::off;
    bool keyOutputEnabled_ = true;
    std::optional<Clip> programClip_;
    std::optional<PlayoutMedia> programMedia_;
    std::optional<PlayoutMedia> nextMedia_;
    bool isNextLoading_ = false;
    QString lastMessage_;
    QList<ClipGroup> groups_;
    int currentGroupIndex_ = 0;
    CanvasFormat canvas_;
    FrameRate frameRate_;
    KeyAlphaMode keyAlphaMode_ = KeyAlphaMode::straight;
    QSet<QUuid> reorderSelection_;
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

    mutable std::mutex outputStateLock_;
    std::shared_ptr<const OutputState> outputState_;

    // ---- Test pattern state ----
    std::optional<PlayoutMedia> testPatternMedia_;
    QUuid testPatternToken_;
    std::optional<TestPatternKind> testPattern_;
    LEDCabinetSize testPatternCabinet_{128, 128};
    // The kind of the request being drawn; none once handed over or cleared.
    std::optional<TestPatternKind> requestedTestPattern_;

    double opacity_ = 0;
    std::unique_ptr<Timer> timer_;
    bool timerRunning_ = false;
    double fadeStartTime_ = 0;
    double fadeFrom_ = 0;
    double fadeTo_ = 0;
    QUuid nextLoadToken_;
    std::optional<QUuid> nextMediaClipID_;
    std::optional<QUuid> nextLoadingClipID_;
    std::unique_ptr<SerialQueue> nextStillQueue_;
    mutable std::mutex latestStillRequestLock_;
    QUuid latestStillRequest_;
    std::optional<int> selectionAnchor_;
    double lastMeterPublish_ = 0;
    QString filterText_;
    double activeDuration_ = 0.5;
    int pendingVerification_ = 0;
    QHash<QUuid, QUrl> verifiedURLs_;
    QHash<QUuid, std::pair<int, int>> clipIndex_;
};

}  // namespace velmar
