#include "core/audio_level_tap.h"

#include "core/sdi_audio_bridge.h"
#include "platform/base/main_thread.h"
#include "platform/player/movie_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velmar {

namespace {

float peakOf(const float* data, long count, long stride) {
    float peak = 0;
    for (long i = 0; i < count; ++i) peak = std::max(peak, std::fabs(data[i * stride]));
    return peak;
}

float smooth(float& state, float peak) {
    const float k = state < peak ? 0.5f : 0.08f;
    state = state + (peak - state) * k;
    return std::clamp(state, 0.0f, 1.0f);
}

// While routed to the outputs, drops from each active bridge what was fed to it ahead of the
// present, so the outputs fall silent with the picture; the feeds start again from the present
// once the movie sounds again.
void dropFedAhead(AudioLevelTap::AudioLevels& levels) {
    levels.restartFeeds();
    if (!levels.output().routeToSDI) return;
    for (SDIAudioBridge* bridge : SDIAudioBridge::all())
        if (bridge->isActive()) bridge->discardNewest(bridge->leadFrames());
}

void silence(AudioBufferList& buffers) {
    for (int i = 0; i < std::min(buffers.count, AudioBufferList::kMaxBuffers); ++i)
        if (buffers.buffers[i].data != nullptr)
            std::memset(buffers.buffers[i].data, 0, buffers.buffers[i].byteSize);
}

}  // namespace

// ---- AudioLevels ----------------------------------------------------------------------------

void AudioLevelTap::AudioLevels::update(float leftPeak, float rightPeak) {
    std::lock_guard guard(lock_);
    left_ = smooth(smoothedLeft_, leftPeak);
    right_ = smooth(smoothedRight_, rightPeak);
}

AudioLevelTap::AudioLevels::Meter AudioLevelTap::AudioLevels::meter() const {
    std::lock_guard guard(lock_);
    return {left_, right_};
}

AudioLevelTap::AudioLevels::Meter AudioLevelTap::AudioLevels::smoothingState() const {
    std::lock_guard guard(lock_);
    return {smoothedLeft_, smoothedRight_};
}

void AudioLevelTap::AudioLevels::reset() {
    std::lock_guard guard(lock_);
    left_ = right_ = smoothedLeft_ = smoothedRight_ = 0;
}

AudioLevelTap::AudioLevels::Output AudioLevelTap::AudioLevels::output() const {
    std::lock_guard guard(outputLock_);
    return output_;
}

void AudioLevelTap::AudioLevels::setOutput(float gain, bool routeToSDI) {
    std::lock_guard guard(outputLock_);
    output_.gain = gain;
    output_.routeToSDI = routeToSDI;
}

void AudioLevelTap::AudioLevels::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0)) return;
    std::lock_guard guard(outputLock_);
    output_.sampleRate = sampleRate;
}

AudioLevelTap::AudioLevels::Output AudioLevelTap::AudioLevels::outputForRenderThread() {
    std::unique_lock guard(outputLock_, std::try_to_lock);
    if (guard.owns_lock()) lastOutput_ = output_;
    return lastOutput_;
}

// ---- the hook on the player -----------------------------------------------------------------

class AudioLevelTap::Hook final : public AudioTap {
  public:
    explicit Hook(std::shared_ptr<AudioLevels> levels) : levels_(std::move(levels)) {}
    void prepare(double sampleRate) override { levels_->setSampleRate(sampleRate); }
    void process(AudioTapSource& source, AudioBufferList& buffers, int frames) override {
        AudioLevelTap::process(*levels_, source, buffers, frames);
    }
    void soundInterrupted() override { dropFedAhead(*levels_); }

  private:
    std::shared_ptr<AudioLevels> levels_;
};

struct AudioLevelTap::State {
    std::mutex lock;  // guards the three fields below
    std::shared_ptr<Hook> hook;
    std::weak_ptr<MoviePlayer> attachedPlayer;
    long generation = 0;

    void attach(const std::shared_ptr<MoviePlayer>& player,
                const std::shared_ptr<AudioLevels>& levels, long wanted) {
        std::shared_ptr<Hook> former;
        {
            std::lock_guard guard(lock);
            if (generation != wanted) return;
            former = std::move(hook);
            hook = std::make_shared<Hook>(levels);
            attachedPlayer = player;
            player->setAudioTap(hook);
        }
    }
};

// ---- the tap --------------------------------------------------------------------------------

AudioLevelTap::AudioLevelTap()
    : levels_(std::make_shared<AudioLevels>()), state_(std::make_shared<State>()) {}

AudioLevelTap::~AudioLevelTap() {
    remove();
}

void AudioLevelTap::install(const std::shared_ptr<MoviePlayer>& player) {
    remove();
    if (!player) return;
    long generation = 0;
    {
        std::lock_guard guard(state_->lock);
        generation = ++state_->generation;
    }
    std::weak_ptr<State> weakState = state_;
    std::weak_ptr<AudioLevels> weakLevels = levels_;
    std::weak_ptr<MoviePlayer> weakPlayer = player;
    player->loadAudioTrack([=](bool hasAudio) {
        if (!hasAudio) return;  // no audio track: nothing to tap
        postToMain([=] {
            auto state = weakState.lock();
            auto levels = weakLevels.lock();
            auto target = weakPlayer.lock();
            if (state && levels && target) state->attach(target, levels, generation);
        });
    });
}

void AudioLevelTap::remove() {
    std::shared_ptr<MoviePlayer> player;
    std::shared_ptr<Hook> hook;
    {
        std::lock_guard guard(state_->lock);
        ++state_->generation;  // a pending attach now does nothing
        player = state_->attachedPlayer.lock();
        state_->attachedPlayer.reset();
        hook = std::move(state_->hook);
    }
    if (player && hook) player->setAudioTap(nullptr);
    levels_->reset();
}

void AudioLevelTap::setOutput(float gain, bool routeToSDI) {
    levels_->setOutput(gain, routeToSDI);
}

void AudioLevelTap::discardFedAhead() {
    dropFedAhead(*levels_);
}

bool AudioLevelTap::isAttached() const {
    std::lock_guard guard(state_->lock);
    return state_->hook != nullptr;
}

void AudioLevelTap::process(AudioLevels& levels, AudioTapSource& source, AudioBufferList& buffers,
                            int frames) {
    int delivered = 0;
    double present = 0;
    const bool ahead = source.presentTime(&present);
    const AudioLevels::Output output = levels.outputForRenderThread();
    // The outputs fed ahead are fed before the local fetch, which may use up the present block
    // of the source: fed after it, they would start a block late in the movie and so play
    // every moment's sound a block early.
    if (ahead && output.routeToSDI) feedAhead(levels, source, present);
    if (!source.fetch(buffers, frames, &delivered) || delivered < 1) {
        // Nothing fetched: play silence rather than whatever the buffers held before.
        silence(buffers);
        return;
    }
    const int count = std::min(buffers.count, AudioBufferList::kMaxBuffers);

    // Peaks of the first two channels.
    float left = 0;
    float right = 0;
    if (count >= 2) {
        for (int b = 0; b < 2; ++b) {
            const AudioBuffer& buffer = buffers.buffers[b];
            if (buffer.data == nullptr || buffer.byteSize < 4) continue;
            const float peak = peakOf(buffer.data, static_cast<long>(buffer.byteSize / 4), 1);
            (b == 0 ? left : right) = peak;
        }
    } else if (count == 1 && buffers.buffers[0].data != nullptr) {
        const AudioBuffer& buffer = buffers.buffers[0];
        const long n = static_cast<long>(buffer.byteSize / 4);
        const long c = buffer.channels;
        if (c <= 1) {
            if (n >= 1) left = peakOf(buffer.data, n, 1);
            right = left;
        } else if (c <= n) {
            const long f = n / c;
            left = peakOf(buffer.data, f, c);
            right = peakOf(buffer.data + 1, f, c);
        }
    }
    levels.update(left, right);

    float gain = output.gain;
    if (output.routeToSDI) {
        if (!ahead) {
            for (SDIAudioBridge* bridge : SDIAudioBridge::all())
                bridge->push(buffers, delivered, output.sampleRate);
        }
        SDIAudioBridge& sdi = SDIAudioBridge::shared();
        if (sdi.isActive() && sdi.muteLocalWhileActive()) gain = 0.0f;
    }
    if (gain == 1.0f) return;
    for (int b = 0; b < count; ++b) {
        AudioBuffer& buffer = buffers.buffers[b];
        if (buffer.data == nullptr || buffer.byteSize < 4) continue;
        const long n = static_cast<long>(buffer.byteSize / 4);
        for (long i = 0; i < n; ++i) buffer.data[i] *= gain;
    }
}

void AudioLevelTap::feedAhead(AudioLevels& levels, AudioTapSource& source, double present) {
    constexpr double rate = SDIAudioBridge::kOutputRate;
    // How far a feed may stray from the present before it starts again there.
    constexpr double slack = 0.005;
    const auto& bridges = SDIAudioBridge::all();
    const bool restart = levels.takeFeedsRestart();
    for (std::size_t b = 0; b < bridges.size(); ++b) {
        SDIAudioBridge& bridge = *bridges[b];
        AudioLevels::BridgeFeed& feed = levels.feed(b);
        if (!bridge.isActive()) {
            feed.valid = false;
            continue;
        }
        const double lead = bridge.leadFrames() / rate;
        const unsigned long long resets = bridge.resetCount();
        // Start again from the present when what was fed ahead was taken back (the sound broke
        // off), when the bridge was emptied, when the feed fell behind the present (the output
        // ran dry meanwhile; going on from there would put the audio late for good), when it is
        // further ahead than the lead (the clock went back), or when the bridge no longer holds
        // what was fed ahead (it played on while the movie stood).
        // An output pulls a frame's audio when it renders the frame, a few frames before it
        // airs, so the bridge may hold somewhat less than was fed ahead; half the lead is far
        // more than that and far less than what a paused movie leaves missing.
        int stored = 0;
        const bool lost = bridge.tryStoredFrames(&stored) &&
                          stored + bridge.leadFrames() / 2 < (feed.through - present) * rate;
        if (restart || !feed.valid || feed.resetCount != resets || feed.through < present - slack ||
            feed.through > present + lead + slack || lost)
            feed = {present, resets, true};
        const double target = present + lead;
        for (;;) {
            const double missing = std::floor((target - feed.through) * rate + 0.5);
            const int want = static_cast<int>(
                std::min<double>(AudioLevels::kFeedChunkFrames, std::max(0.0, missing)));
            if (want < 1) break;
            double from = feed.through;
            const int copied = source.copyAhead(levels.feedScratch(), want, &from);
            if (copied < 1) break;  // not decoded yet, or the source busy: next block
            // The source no longer holds the start of what is wanted (the local output used it
            // up before a pause, or dropped it as late): silence stands in for it, so what
            // follows still reaches the output at its own moment.
            const double gap = std::floor((from - feed.through) * rate + 0.5);
            const bool silent = gap >= 1;
            const int count = silent ? static_cast<int>(std::min<double>(gap, want)) : copied;
            float* samples = silent ? levels.feedSilence() : levels.feedScratch();
            AudioBufferList list;
            list.count = 1;
            list.buffers[0] = {2, static_cast<std::size_t>(count) * 2 * sizeof(float), samples};
            const bool whole = bridge.push(list, count, rate);
            feed.through = silent ? feed.through + count / rate : from + copied / rate;
            if (!whole) break;  // parked behind a busy ring: no more this time
        }
    }
}

}  // namespace velmar
