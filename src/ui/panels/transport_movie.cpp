#include "ui/panels/transport_movie.h"

#include "core/movie_playback.h"

namespace velmar {
namespace {

class PlaybackTransportMovie final : public TransportMovie {
  public:
    explicit PlaybackTransportMovie(std::shared_ptr<MoviePlayback> playback)
        : playback_(std::move(playback)) {}

    float playerRate() const override { return playback_->playerRate(); }
    void setPlayerRate(float rate) override { playback_->player().setRate(rate); }
    void pausePlayer() override { playback_->player().pause(); }
    void setWantsPlay(bool wants) override { playback_->setWantsPlay(wants); }
    void setDesiredRate(float rate) override { playback_->setDesiredRate(rate); }
    void stepFrame(int direction) override { playback_->stepFrame(direction); }
    void seek(double seconds, bool precise) override { playback_->seek(seconds, precise); }
    double durationSeconds() const override { return playback_->durationSeconds(); }
    double currentTimeSeconds() const override { return playback_->currentTimeSeconds(); }
    const MoviePlayback* playback() const override { return playback_.get(); }

  private:
    std::shared_ptr<MoviePlayback> playback_;
};

}  // namespace

std::shared_ptr<TransportMovie> TransportMovie::wrap(std::shared_ptr<MoviePlayback> playback) {
    if (!playback) return nullptr;
    return std::make_shared<PlaybackTransportMovie>(std::move(playback));
}

}  // namespace velmar
