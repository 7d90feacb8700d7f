#pragma once

#include "core/reference_tone_kind.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace velmar {

class AudioSource;
class PlayoutLog;

// Plays one reference signal locally for line-up: a ToneGenerator of the chosen kind, rendered
// by the local audio mixer at the mixer's rate, metered (peak per channel of the last rendered
// block) and written to the operation log ("TONE  " + label when it starts, "TONE  OFF" when it
// stops). Local monitoring can be muted (the application state mutes it while SDI output is
// active with local mute); the tone keeps rendering and metering while muted. The copy of the
// tone that goes to the SDI output is a generator of its own placed in the SDI audio bridge by
// the application state, not this one.
//
// Threading: start, stop, kind and the mute are used on the main thread. The tone renders on
// the mixer's audio thread, which only tries the meter's lock and skips the update when it is
// busy; readers take the lock and copy both levels. Rendering allocates nothing.
class ReferenceTone : public QObject {
    Q_OBJECT

  public:
    // Peak levels of the last rendered block; 0 when silent or idle.
    struct MeterState {
        float left = 0.0f;
        float right = 0.0f;
    };

    // Where the tone plays: the local audio mixer, or a stand-in in tests.
    class Engine {
      public:
        virtual ~Engine() = default;
        // The rate the engine renders its sources at; 0 or less when it does not know.
        virtual double outputSampleRate() const = 0;
        // Starts rendering `source`; the platform's description of the failure when it cannot.
        virtual std::optional<QString> start(AudioSource* source) = 0;
        // Stops rendering `source`; returns once the audio thread no longer uses it.
        virtual void stop(AudioSource* source) = 0;
    };

    // The rate used when the engine reports none.
    static constexpr double kFallbackSampleRate = 48000.0;

    // The one player, on the local audio mixer and the shared operation log. Made on first use,
    // on the main thread.
    static ReferenceTone& shared();
    // The engine over the local audio mixer (AudioOutput).
    static Engine& localEngine();

    ReferenceTone(Engine& engine, PlayoutLog& log, QObject* parent = nullptr);
    ~ReferenceTone() override;

    // Stops any signal, then plays `kind`. Nothing on success, else the (looked-up) message.
    std::optional<QString> start(ReferenceToneKind kind);
    // Stops the signal; nothing happens when idle.
    void stop();

    // The signal now playing, nothing when idle.
    std::optional<ReferenceToneKind> kind() const { return kind_; }
    // A copy of the meter, taken under its lock.
    MeterState meter() const;

    // Local monitoring is muted; setting it also sets the output volume to 0 (muted) or 1.
    bool localMuted() const { return localMuted_; }
    void setLocalMuted(bool muted);
    // The volume the tone is played at locally (0 ... 1); `start` sets it from localMuted.
    float outputVolume() const { return volume_.load(); }
    void setOutputVolume(float volume);

  signals:
    void kindChanged();

  private:
    class Source;

    void setMeter(MeterState state);
    void detachSource();

    Engine& engine_;
    PlayoutLog& log_;
    std::optional<ReferenceToneKind> kind_;
    std::unique_ptr<Source> source_;
    mutable std::mutex meterLock_;
    MeterState meterState_;
    bool localMuted_ = false;
    std::atomic<float> volume_{1.0f};
};

}  // namespace velmar
