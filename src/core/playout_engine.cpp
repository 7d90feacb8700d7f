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

QString motionLabel(MotionKind motion) {
    switch (motion) {
        case MotionKind::cut: return QStringLiteral("CUT");
        case MotionKind::fade: return QStringLiteral("FADE");
        case MotionKind::slideLeft: return QStringLiteral("SLIDE ←");
        case MotionKind::slideRight: return QStringLiteral("SLIDE →");
        case MotionKind::slideUp: return QStringLiteral("SLIDE ↑");
        case MotionKind::slideDown: return QStringLiteral("SLIDE ↓");
        case MotionKind::zoom: return QStringLiteral("ZOOM");
        case MotionKind::dive: return QStringLiteral("DIVE");
        case MotionKind::rotate: return QStringLiteral("ROTATE");
    }
    return QStringLiteral("FADE");
}

const std::shared_ptr<MoviePlayback>* movieOf(const std::optional<PlayoutMedia>& media) {
    if (!media || !media->isMovie()) return nullptr;
    return &media->asMovie()->playback;
}

ClipGroup emptyGroup() {
    ClipGroup group;
    group.name = QStringLiteral("Group 1");
    return group;
}

}  // namespace

QString PlayoutEngine::rawValue(State state) {
    switch (state) {
        case State::off: return QStringLiteral("off");
        case State::fadingIn: return QStringLiteral("fadingIn");
        case State::on: return QStringLiteral("on");
        case State::fadingOut: return QStringLiteral("fadingOut");
    }
    return QStringLiteral("off");
}

PlayoutEngine::PlayoutEngine(Services services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
    dsk_ = std::make_unique<DSKController>(*services_.clock, *services_.timers);
    groups_ = {emptyGroup()};
    outputState_ = std::make_shared<const OutputState>();
    nextStillQueue_ = std::make_unique<SerialQueue>("dovrine.next-still");
    rebuildIndex();
}

PlayoutEngine::~PlayoutEngine() {
    timer_.reset();
    // Jobs already queued see a dead engine through their QPointer and drop their results.
    nextStillQueue_.reset();
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

void PlayoutEngine::setNextMedia(std::optional<PlayoutMedia> media, std::optional<QUuid> clipID) {
    nextMedia_ = std::move(media);
    nextMediaClipID_ = clipID;
    emit nextMediaChanged();
}

void PlayoutEngine::setIsNextLoading(bool loading, std::optional<QUuid> clipID) {
    nextLoadingClipID_ = clipID;
    if (loading == isNextLoading_) return;
    isNextLoading_ = loading;
    emit isNextLoadingChanged(loading);
}

void PlayoutEngine::setLastMessage(const QString& message) {
    if (message == lastMessage_) return;
    lastMessage_ = message;
    emit lastMessageChanged(message);
}

void PlayoutEngine::setGroups(QList<ClipGroup> groups) {
    groups_ = std::move(groups);
    rebuildIndex();
    emit groupsChanged();
}

void PlayoutEngine::setActiveMotion(MotionKind motion) {
    if (motion == activeMotion_) return;
    activeMotion_ = motion;
    emit activeMotionChanged();
}

void PlayoutEngine::setPendingVerification(int count) {
    count = std::max(0, count);
    if (count == pendingVerification_) return;
    pendingVerification_ = count;
    emit pendingVerificationChanged(count);
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

void PlayoutEngine::setFilterText(const QString& text) {
    if (text == filterText_) return;
    filterText_ = text;
    emit filterTextChanged();
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

int PlayoutEngine::safeGroupIndex() const {
    return std::clamp(currentGroupIndex_, 0, static_cast<int>(groups_.size()) - 1);
}

std::optional<ClipGroup> PlayoutEngine::currentGroup() const {
    if (groups_.isEmpty()) return std::nullopt;
    return groups_[safeGroupIndex()];
}

int PlayoutEngine::clampedNext() const {
    if (groups_.isEmpty()) return 0;
    const ClipGroup& group = groups_[safeGroupIndex()];
    return std::clamp(group.selectedIndex, 0, static_cast<int>(group.clips.size()));
}

bool PlayoutEngine::isAtEnd() const {
    if (groups_.isEmpty()) return true;
    return clampedNext() >= groups_[safeGroupIndex()].clips.size();
}

std::optional<int> PlayoutEngine::programIndex() const {
    if (!programClip_ || groups_.isEmpty()) return std::nullopt;
    const auto& clips = groups_[safeGroupIndex()].clips;
    for (int i = 0; i < clips.size(); ++i) {
        if (clips[i].id == programClip_->id) return i;
    }
    return std::nullopt;
}

bool PlayoutEngine::isVerified(const Clip& clip) const {
    const auto it = verifiedURLs_.constFind(clip.id);
    return it != verifiedURLs_.cend() && *it == clip.url;
}

bool PlayoutEngine::fadeTimerRunning() const {
    return timerRunning_;
}

// ---- Take internals ----------------------------------------------------------------------------

std::optional<PlayoutEngine::Take> PlayoutEngine::prepareClip() {
    const std::optional<Clip> clip = selectedClip();
    if (!clip) return std::nullopt;
    if (clip->isMissing) {
        setLastMessage(localizedFormat("ファイルが見つかりません: %@", {clip->displayName}));
        return std::nullopt;
    }
    if (clip->unreadableReason) {
        setLastMessage(clip->displayName + QStringLiteral(": ") + *clip->unreadableReason);
        return std::nullopt;
    }
    if (!isVerified(*clip)) {
        setLastMessage(
            localizedFormat("確認中です。数秒待ってからもう一度: %@", {clip->displayName}));
        return std::nullopt;
    }
    if (nextMediaClipID_ == clip->id && nextMedia_) {
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
    activeDuration_ = clip && clip->motionDuration ? *clip->motionDuration : fadeDuration_;
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
        const int before = clampedNext();
        setSelectedIndex(before + 1);
        if (clampedNext() != before) return;
    }
    reloadNextMedia();
}

void PlayoutEngine::setOpacity(double value, bool forceUI) {
    opacity_ = value;
    refreshOutputState();
    const double now = services_.clock->now();
    if (forceUI || now - lastMeterPublish_ >= kMeterInterval) {
        meter_.setValue(keyOutputEnabled_ ? value : 0.0);
        lastMeterPublish_ = now;
    }
}

void PlayoutEngine::startTimer() {
    stopTimer();
    if (!timer_) {
        QPointer<PlayoutEngine> self(this);
        timer_ = services_.timers->makeTimer(
            [self] {
                if (self) self->tick();
            },
            TimerPrecision::Precise);
    }
    timer_->start(kFadeTick, true);
    timerRunning_ = true;
}

void PlayoutEngine::stopTimer() {
    if (timer_) timer_->stop();
    timerRunning_ = false;
}

void PlayoutEngine::tick() {
    const double d = activeDuration_ <= kShortestFade ? kShortestFade : activeDuration_;
    const double p = (services_.clock->now() - fadeStartTime_) / d;
    const bool done = p >= 1;
    const double q = done ? 1.0 : p;
    setOpacity(fadeFrom_ + q * (fadeTo_ - fadeFrom_), done);
    if (!done) return;
    stopTimer();
    if (fadeTo_ > 0) {
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
    const auto end = std::to_chars(duration, duration + sizeof duration, activeDuration_,
                                   std::chars_format::fixed, 2).ptr;
    services_.log->write(tag + QStringLiteral("  ") + (clip ? clip->displayName : kNoName) +
                         QStringLiteral("  [") + motionLabel(activeMotion_) + QLatin1Char(' ') +
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
                fadeFrom_ = opacity_;
                fadeTo_ = 1;
                fadeStartTime_ = services_.clock->now();
                startTimer();
                refreshOutputState();
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
                fadeFrom_ = opacity_;
                fadeTo_ = 0;
                fadeStartTime_ = services_.clock->now();
                startTimer();
                refreshOutputState();
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

void PlayoutEngine::clearTestPattern() {
    // A drawing still under way is dropped at its hand-over.
    testPatternToken_ = QUuid();
    requestedTestPattern_.reset();
    if (!testPattern_ && !testPatternMedia_) return;
    testPattern_.reset();
    testPatternMedia_.reset();
    refreshOutputState();
    emit testPatternChanged();
    setLastMessage(localized("テストパターンを消しました"));
    services_.log->write(QStringLiteral("TEST PATTERN  OFF"));
}

// ---- Output state ------------------------------------------------------------------------------

void PlayoutEngine::refreshOutputState() {
    auto record = std::make_shared<OutputState>();
    if (testPatternMedia_) {
        record->media = testPatternMedia_;
        record->opacity = 1;
        record->keyOutputEnabled = true;
        record->canvas = canvas_;
        record->unpremultiplyAlpha = false;
        record->keyAlphaMode = keyAlphaMode_;
        record->motion = MotionKind::cut;
        record->entering = true;
        record->isTestPattern = true;
    } else {
        record->media = programMedia_;
        record->opacity = opacity_;
        record->keyOutputEnabled = keyOutputEnabled_;
        record->fadeStartTime = timerRunning_ ? fadeStartTime_ : 0.0;
        record->fadeDuration = activeDuration_;
        record->fadeFrom = fadeFrom_;
        record->fadeTo = fadeTo_;
        record->canvas = canvas_;
        record->unpremultiplyAlpha = unpremultiplyAlpha_;
        record->keyAlphaMode = keyAlphaMode_;
        record->motion = activeMotion_;
        record->entering = state_ != State::fadingOut;
        if (programClip_) {
            record->transform = programClip_->transform;
            record->contentAnchor = QPointF(programClip_->contentAnchorX.value_or(0),
                                            programClip_->contentAnchorY.value_or(0));
        }
    }
    std::shared_ptr<const OutputState> published = std::move(record);
    std::shared_ptr<const OutputState> previous;
    {
        std::lock_guard lock(outputStateLock_);
        previous = std::exchange(outputState_, std::move(published));
    }
    // `previous` is released here, on the main thread, outside the lock.
}

PlayoutEngine::OutputSnapshot PlayoutEngine::outputState() const {
    std::lock_guard lock(outputStateLock_);
    OutputSnapshot copy{outputState_, 0};
    const OutputState& s = *outputState_;
    double level = s.opacity;
    if (s.fadeStartTime > 0 && s.fadeDuration > 0) {
        double q = (services_.clock->now() - s.fadeStartTime) / s.fadeDuration;
        q = std::clamp(q, 0.0, 1.0);
        level = s.fadeFrom + (s.fadeTo - s.fadeFrom) * q;
    }
    if (!s.keyOutputEnabled) level = 0;
    copy.opacity = level;
    return copy;
}

void PlayoutEngine::applyAudioGain() {
    const float g = isAudioSuppressed_ ? 0.0f : (keyOutputEnabled_ ? outputGain_ : 0.0f);
    if (const auto* movie = movieOf(programMedia_)) (*movie)->audioLevel().setOutput(g, true);
    if (services_.setBridgeProgramGain) {
        const float bridgeGain = audioEnabled_ && std::isfinite(g) ? g : 0.0f;
        services_.setBridgeProgramGain(std::clamp(bridgeGain, 0.0f, 1.0f));
    }
}

}  // namespace velmar
