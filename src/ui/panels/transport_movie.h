#pragma once

#include <memory>

namespace velmar {

class MoviePlayback;

// What the transport bar drives of a movie: the playback object's play flag and rate, and the
// player underneath. The production implementation wraps a MoviePlayback; tests give fakes.
class TransportMovie {
  public:
    virtual ~TransportMovie() = default;

    virtual float playerRate() const = 0;
    virtual void setPlayerRate(float rate) = 0;
    virtual void pausePlayer() = 0;
    virtual void setWantsPlay(bool wants) = 0;
    virtual void setDesiredRate(float rate) = 0;
    virtual void stepFrame(int direction) = 0;
    virtual void seek(double seconds, bool precise) = 0;
    // Never negative; 0 when the item has no numeric, definite duration.
    virtual double durationSeconds() const = 0;
    // The player's time, negative or not numeric as 0.
    virtual double currentTimeSeconds() const = 0;

    // A TransportMovie over a MoviePlayback (kept alive as long as the wrapper).
    static std::shared_ptr<TransportMovie> wrap(std::shared_ptr<MoviePlayback> playback);
    // The playback wrapped, for telling whether a new medium is another movie.
    virtual const MoviePlayback* playback() const { return nullptr; }
};

}  // namespace velmar
