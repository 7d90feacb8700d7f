// The output-state snapshot every renderer copies and the program audio gain. The main thread
// rebuilds the record after every change of what the program layer shows; any thread copies it.
#include "core/playout_engine.h"

#include "core/audio_level_tap.h"
#include "core/movie_playback.h"
#include "platform/base/host_clock.h"

#include <algorithm>
#include <cmath>

namespace velmar {
namespace {

const std::shared_ptr<MoviePlayback>* movieOf(const std::optional<PlayoutMedia>& media) {
    if (!media || !media->isMovie()) return nullptr;
    return &media->asMovie()->playback;
}

}  // namespace

// ---- Output state ------------------------------------------------------------------------------

void PlayoutEngine::refreshOutputState() {
    auto record = std::make_shared<OutputState>();
    if (testPattern_.media) {
        record->media = testPattern_.media;
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
        record->opacity = fade_.opacity;
        record->keyOutputEnabled = keyOutputEnabled_;
        record->fadeStartTime = fade_.running ? fade_.startTime : 0.0;
        record->fadeDuration = fade_.activeDuration;
        record->fadeFrom = fade_.from;
        record->fadeTo = fade_.to;
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
        std::lock_guard lock(output_.lock);
        previous = std::exchange(output_.record, std::move(published));
    }
    // `previous` is released here, on the main thread, outside the lock.
}

PlayoutEngine::OutputSnapshot PlayoutEngine::outputState() const {
    std::lock_guard lock(output_.lock);
    OutputSnapshot copy{output_.record, 0};
    const OutputState& s = *output_.record;
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

void PlayoutEngine::setOutputGain(float gain) {
    if (gain == outputGain_) return;
    outputGain_ = gain;
    emit outputGainChanged(gain);
}

void PlayoutEngine::setAudioSuppressed(bool value) {
    if (value == isAudioSuppressed_) return;
    isAudioSuppressed_ = value;
    emit audioSuppressedChanged(value);
}

}  // namespace velmar
