#include "core/playout_engine.h"

#include "core/audio_level_tap.h"
#include "core/movie_playback.h"
#include "core/playout_log.h"
#include "models/localized.h"
#include "platform/base/host_clock.h"
#include "platform/base/serial_queue.h"
#include "platform/base/timer.h"

#include <QPointer>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace velmar {
namespace {

constexpr double kFadeTick = 1.0 / 120.0;
// A microsecond of slack so that every second tick of the 120 Hz clock publishes, whatever the
// rounding of the tick times.
constexpr double kMeterInterval = 1.0 / 60.0 - 1e-6;
constexpr double kShortestFade = 0.001;

const QString kNoName = QStringLiteral("—");

const std::shared_ptr<MoviePlayback>* movieOf(const std::optional<PlayoutMedia>& media) {
    if (!media || !media->isMovie()) return nullptr;
    return &media->asMovie()->playback;
}

}  // namespace

QString PlayoutEngine::rawValue(State state) {
    switch (state) {
        case State::off:
            return QStringLiteral("off");
        case State::fadingIn:
            return QStringLiteral("fadingIn");
        case State::on:
            return QStringLiteral("on");
        case State::fadingOut:
            return QStringLiteral("fadingOut");
    }
    return QStringLiteral("off");
}

PlayoutEngine::PlayoutEngine(Services services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
    dsk_ = std::make_unique<DSKController>(*services_.clock, *services_.timers);
    output_.record = std::make_shared<const OutputState>();
    next_.stillQueue = std::make_unique<SerialQueue>("dovrine.next-still");
    Rundown::Hooks hooks;
    hooks.mayChange = [this](const QString& action) { return !blockedWhileOnAir(action); };
    hooks.message = [this](const QString& message) { setLastMessage(message); };
    hooks.log = [this](const QString& line) { services_.log->write(line); };
    hooks.nextChanged = [this](bool force) {
        if (force) {
            reloadNextMedia();
        } else {
            reloadNextMediaUnlessKept();
        }
    };
    hooks.verify = [this](const QList<Clip>& clips) { verify(clips); };
    hooks.resolvePixelSizes = [this](const QSet<QUuid>& ids) { resolvePixelSizes(ids); };
    hooks.fileReplaced = [this](const QUrl& url) {
        if (services_.forgetThumbnail) {
            services_.forgetThumbnail(url.isLocalFile() ? url.toLocalFile() : url.path());
        }
    };
    rundown_.setHooks(std::move(hooks));
}

PlayoutEngine::~PlayoutEngine() {
    fade_.timer.reset();
    // Jobs already queued see a dead engine through their QPointer and drop their results.
    next_.stillQueue.reset();
    // The rundown outlives this body: no edit may reach the engine any more.
    rundown_.setHooks({});
}

// ---- Published setters -------------------------------------------------------------------------

void PlayoutEngine::setState(State state) {
    const bool changed = state != state_;
    state_ = state;
    refreshOutputState();
    if (changed) emit stateChanged(state);
}

void PlayoutEngine::setKeyOutputEnabled(bool enabled) {
    const bool changed = enabled != keyOutputEnabled_;
    keyOutputEnabled_ = enabled;
    if (changed) {
        applyAudioGain();
        emit keyOutputEnabledChanged(enabled);
    }
}

void PlayoutEngine::setProgramMedia(std::optional<PlayoutMedia> media) {
    const auto* previous = movieOf(programMedia_);
    const auto* next = movieOf(media);
    if (previous != nullptr && (next == nullptr || next->get() != previous->get())) {
        // The movie leaving program plays locally at full gain and stops feeding the outputs.
        (*previous)->audioLevel().setOutput(1.0f, false);
    }
    // Emptying an empty program changes nothing the views show.
    const bool changed = programMedia_.has_value() || media.has_value();
    programMedia_ = std::move(media);
    applyAudioGain();
    if (changed) emit programChanged();
}

void PlayoutEngine::setLastMessage(const QString& message) {
    if (message == lastMessage_) return;
    lastMessage_ = message;
    emit lastMessageChanged(message);
}

void PlayoutEngine::setStandingWarning(const QString& warning) {
    if (warning == standingWarning_) return;
    standingWarning_ = warning;
    emit standingWarningChanged(warning);
}

void PlayoutEngine::setActiveMotion(MotionKind motion) {
    if (motion == activeMotion_) return;
    activeMotion_ = motion;
    emit activeMotionChanged();
}

void PlayoutEngine::setKeyAlphaMode(KeyAlphaMode mode) {
    const bool changed = mode != keyAlphaMode_;
    keyAlphaMode_ = mode;
    refreshOutputState();
    if (changed) emit settingsChanged();
}

void PlayoutEngine::setUnpremultiplyAlpha(bool value) {
    const bool changed = value != unpremultiplyAlpha_;
    unpremultiplyAlpha_ = value;
    refreshOutputState();
    if (changed) emit settingsChanged();
}

void PlayoutEngine::setDefaultMotion(MotionKind motion) {
    const bool changed = motion != defaultMotion_;
    defaultMotion_ = motion;
    refreshOutputState();
    if (changed) emit settingsChanged();
}

void PlayoutEngine::setFadeDuration(double seconds) {
    if (seconds == fadeDuration_) return;
    fadeDuration_ = seconds;
    emit settingsChanged();
}

void PlayoutEngine::setAutoAdvance(bool value) {
    if (value == autoAdvance_) return;
    autoAdvance_ = value;
    emit settingsChanged();
}

void PlayoutEngine::setAudioEnabled(bool value) {
    const bool changed = value != audioEnabled_;
    audioEnabled_ = value;
    if (const auto* movie = movieOf(programMedia_)) (*movie)->player().setMuted(!audioEnabled_);
    if (const auto* movie = movieOf(nextMedia_)) (*movie)->player().setMuted(!audioEnabled_);
    applyAudioGain();
    if (changed) emit settingsChanged();
}

void PlayoutEngine::setNextScrubImage(ImageRef image) {
    if (image == nextScrubImage_) return;
    nextScrubImage_ = std::move(image);
    emit nextScrubImageChanged();
}

// ---- Derived state -----------------------------------------------------------------------------

bool PlayoutEngine::isOnAir() const {
    return state_ != State::off || dsk_->isActive() || dsk_->isTransitioning();
}

bool PlayoutEngine::blockedWhileOnAir(const QString& action) {
    if (state_ == State::off) return false;
    setLastMessage(localizedFormat("オンエア中は%@できません", {action}));
    return true;
}

bool PlayoutEngine::isAtEnd() const {
    return rundown_.isAtEnd();
}

std::optional<int> PlayoutEngine::programIndex() const {
    const auto& groups = rundown_.groups();
    if (!programClip_ || groups.isEmpty()) return std::nullopt;
    const auto& clips = groups[rundown_.safeGroupIndex()].clips;
    for (int i = 0; i < clips.size(); ++i) {
        if (clips[i].id == programClip_->id) return i;
    }
    return std::nullopt;
}

// ---- Take internals ----------------------------------------------------------------------------

std::optional<PlayoutEngine::Take> PlayoutEngine::prepareClip() {
    const std::optional<Clip> clip = rundown_.selectedClip();
    if (!clip) return std::nullopt;
    if (clip->isMissing) {
        setLastMessage(localizedFormat("ファイルが見つかりません: %@", {clip->displayName}));
        return std::nullopt;
    }
    if (clip->unreadableReason) {
        // A still's reason is kept as its Japanese key; a movie's is already in words.
        setLastMessage(clip->displayName + QStringLiteral(": ") +
                       localized(*clip->unreadableReason));
        return std::nullopt;
    }
    if (!rundown_.isVerified(*clip)) {
        setLastMessage(
            localizedFormat("確認中です。数秒待ってからもう一度: %@", {clip->displayName}));
        return std::nullopt;
    }
    if (next_.mediaClipID == clip->id && nextMedia_) {
        if (const auto* movie = movieOf(nextMedia_); movie && !(*movie)->isPrepared()) {
            setLastMessage(localizedFormat("動画の準備中です: %@", {clip->displayName}));
            return std::nullopt;
        }
        setLastMessage(QString());
        Take take{*clip, *nextMedia_};
        setNextMedia(std::nullopt, std::nullopt);
        return take;
    }
    setLastMessage(localizedFormat("素材の先読み中です: %@", {clip->displayName}));
    reloadNextMedia();
    return std::nullopt;
}

void PlayoutEngine::armMotion(const std::optional<Clip>& clip) {
    setActiveMotion(clip && clip->motion ? *clip->motion : defaultMotion_);
    fade_.activeDuration = clip && clip->motionDuration ? *clip->motionDuration : fadeDuration_;
    refreshOutputState();
}

void PlayoutEngine::setProgram(const Clip& clip, const PlayoutMedia& media) {
    if (const auto* old = movieOf(programMedia_)) (*old)->pause();
    if (media.isMovie()) {
        const auto& playback = media.asMovie()->playback;
        playback->player().setMuted(!audioEnabled_);
        playback->rewindAndArm();
    }
    setKeyOutputEnabled(true);
    programClip_ = clip;
    setProgramMedia(media);
    refreshOutputState();
    if (onProgramMediaChange) onProgramMediaChange(programMedia_);
}

void PlayoutEngine::clearProgram() {
    if (const auto* old = movieOf(programMedia_)) (*old)->pause();
    setKeyOutputEnabled(true);
    programClip_.reset();
    setProgramMedia(std::nullopt);
    refreshOutputState();
    if (onProgramMediaChange) onProgramMediaChange(std::nullopt);
}

void PlayoutEngine::advanceAndPreload() {
    if (autoAdvance_) {
        const int before = rundown_.clampedNext();
        rundown_.setSelectedIndex(before + 1);
        if (rundown_.clampedNext() != before) return;
    }
    reloadNextMedia();
}

void PlayoutEngine::setOpacity(double value, bool forceUI) {
    fade_.opacity = value;
    refreshOutputState();
    const double now = services_.clock->now();
    if (forceUI || now - fade_.lastMeterPublish >= kMeterInterval) {
        meter_.setValue(keyOutputEnabled_ ? value : 0.0);
        fade_.lastMeterPublish = now;
    }
}

void PlayoutEngine::startFade(double to) {
    fade_.from = fade_.opacity;
    fade_.to = to;
    fade_.startTime = services_.clock->now();
    startTimer();
    refreshOutputState();
}

void PlayoutEngine::startTimer() {
    stopTimer();
    if (!fade_.timer) {
        QPointer<PlayoutEngine> self(this);
        fade_.timer = services_.timers->makeTimer(
            [self] {
                if (self) self->tick();
            },
            TimerPrecision::Precise);
    }
    fade_.timer->start(kFadeTick, true);
    fade_.running = true;
}

void PlayoutEngine::stopTimer() {
    if (fade_.timer) fade_.timer->stop();
    fade_.running = false;
}

void PlayoutEngine::tick() {
    const double d = fade_.activeDuration <= kShortestFade ? kShortestFade : fade_.activeDuration;
    const double p = (services_.clock->now() - fade_.startTime) / d;
    const bool done = p >= 1;
    const double q = done ? 1.0 : p;
    setOpacity(fade_.from + q * (fade_.to - fade_.from), done);
    if (!done) return;
    stopTimer();
    if (fade_.to > 0) {
        setState(State::on);
        if (const auto* movie = movieOf(programMedia_)) (*movie)->play();
    } else {
        setState(State::off);
        clearProgram();
    }
}

void PlayoutEngine::log(const QString& tag, const std::optional<Clip>& clip) {
    // to_chars formats like printf's "%.2f" in the "C" locale, whatever locale the application
    // object took from the environment (printf itself would write a comma in many languages).
    char duration[64];
    const auto end = std::to_chars(duration, duration + sizeof duration, fade_.activeDuration,
                                   std::chars_format::fixed, 2)
                         .ptr;
    services_.log->write(tag + QStringLiteral("  ") + (clip ? clip->displayName : kNoName) +
                         QStringLiteral("  [") + activeMotion_.statusLabel() + QLatin1Char(' ') +
                         QString::fromLatin1(duration, end - duration) + QStringLiteral("s]"));
}

// ---- Take controls -----------------------------------------------------------------------------

void PlayoutEngine::spacePressed() {
    switch (state_) {
        case State::off: {
            const std::optional<Take> take = prepareClip();
            if (!take) return;
            armMotion(take->clip);
            setProgram(take->clip, take->media);
            advanceAndPreload();
            if (activeMotion_ == MotionKind::cut) {
                stopTimer();
                setOpacity(1, true);
                setState(State::on);
                log(QStringLiteral("ON  "), programClip_);
                if (const auto* movie = movieOf(programMedia_)) (*movie)->play();
            } else {
                setState(State::fadingIn);
                log(QStringLiteral("ON  "), programClip_);
                startFade(1);
            }
            return;
        }
        case State::on:
            armMotion(programClip_);
            log(QStringLiteral("OFF "), programClip_);
            if (activeMotion_ == MotionKind::cut) {
                stopTimer();
                setOpacity(0, true);
                setState(State::off);
                clearProgram();
            } else {
                setState(State::fadingOut);
                startFade(0);
            }
            return;
        case State::fadingIn:
        case State::fadingOut:
            return;
    }
}

void PlayoutEngine::takeByCut(const Take& take) {
    armMotion(take.clip);
    setProgram(take.clip, take.media);
    services_.log->write(QStringLiteral("ON    ") + take.clip.displayName +
                         QStringLiteral("  [CUT]"));
    advanceAndPreload();
    stopTimer();
    setOpacity(1, true);
    setState(State::on);
    if (const auto* movie = movieOf(programMedia_)) (*movie)->play();
}

void PlayoutEngine::returnPressed() {
    switch (state_) {
        case State::off:
            if (const auto take = prepareClip()) takeByCut(*take);
            return;
        case State::on: {
            if (const auto take = prepareClip()) {
                takeByCut(*take);
                return;
            }
            if (!isAtEnd()) return;
            services_.log->write(QStringLiteral("OFF   ") +
                                 (programClip_ ? programClip_->displayName : kNoName) +
                                 QStringLiteral("  [CUT]"));
            stopTimer();
            setOpacity(0, true);
            setState(State::off);
            clearProgram();
            return;
        }
        case State::fadingIn:
            stopTimer();
            setOpacity(1, true);
            setState(State::on);
            if (const auto* movie = movieOf(programMedia_)) (*movie)->play();
            return;
        case State::fadingOut:
            stopTimer();
            setOpacity(0, true);
            setState(State::off);
            clearProgram();
            return;
    }
}

void PlayoutEngine::cutTogglePressed() {
    if (state_ == State::off || !programClip_ || !programMedia_) {
        setLastMessage(localized("PROGRAM に送出中の素材がありません"));
        return;
    }
    const bool wasOn = keyOutputEnabled_;
    const State previous = state_;
    if (wasOn) {
        setKeyOutputEnabled(false);
        refreshOutputState();
    }
    stopTimer();
    setState(State::on);
    setOpacity(1, true);
    if (!wasOn) {
        setKeyOutputEnabled(true);
        refreshOutputState();
    }
    if (previous == State::fadingIn) {
        if (const auto* movie = movieOf(programMedia_)) (*movie)->play();
    }
    meter_.setValue(keyOutputEnabled_ ? 1.0 : 0.0);
    setLastMessage(wasOn ? QStringLiteral("PROGRAM KEY OFF + AUDIO MUTE")
                         : QStringLiteral("PROGRAM KEY ON"));
    services_.log->write(QStringLiteral("KEY ") +
                         (wasOn ? QStringLiteral("OFF") : QStringLiteral("ON ")) +
                         QStringLiteral("  ") + programClip_->displayName);
}

void PlayoutEngine::panicOff() {
    services_.log->write(QStringLiteral("PANIC  ") +
                         (programClip_ ? programClip_->displayName : kNoName));
    if (onPanic) onPanic();
    clearTestPattern();
    dsk_->transition(0, 0);
    stopTimer();
    setOpacity(0, true);
    setState(State::off);
    clearProgram();
    setLastMessage(localized("緊急停止しました"));
}

}  // namespace velmar
