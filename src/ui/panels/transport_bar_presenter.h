#pragma once

#include "ui/panels/transport_movie.h"

#include <QString>

#include <array>
#include <memory>
#include <optional>

namespace velmar {

// The rules of the movie transport bar, apart from its widgets. It keeps the bar's own `rate`
// (the rate last chosen on the bar, 0 after a pause, a frame step or the start of a scrub) and
// the slider position while a scrub runs. Every control acts on the movie only when there is
// one.
//
// A scrub belongs to the movie it began on: the bar remembers that movie weakly, seeks only it,
// and a change of the program medium ends the scrub without a seek, so releasing the slider
// never moves a newly taken movie to the old scrub position.
class TransportBarPresenter {
  public:
    static constexpr std::array<double, 3> kChipRates{0.25, 0.5, 1.0};

    // The movie now on PROGRAM, or none for a still or no media.
    void setMovie(std::shared_ptr<TransportMovie> movie);
    const std::shared_ptr<TransportMovie>& movie() const { return movie_; }
    bool hasMovie() const { return movie_ != nullptr; }

    float rate() const { return rate_; }
    std::optional<double> scrubSeconds() const { return scrubSeconds_; }
    bool isScrubbing() const { return scrubbing_; }

    // Controls.
    void cueToStart();
    void stepFrame(int direction);
    void playPause();
    void chooseRate(double r);
    void beginScrub();
    void scrubTo(double seconds);
    void endScrub();

    // Readings.
    bool isRunning() const;  // a movie whose player's rate is not 0
    QString playPauseSymbol() const;
    QString playPauseHelpKey() const;
    static QString chipLabel(double r);
    bool isChipHighlighted(double r) const;
    double sliderMaximum() const;
    double sliderValue() const;
    QString positionText() const;
    // "%02d:%02d" of whole seconds, minutes not wrapped; negative or not finite is 0.
    static QString clock(double seconds);

  private:
    void pauseMovie();

    std::shared_ptr<TransportMovie> movie_;
    std::weak_ptr<TransportMovie> scrubMovie_;
    bool scrubbing_ = false;
    std::optional<double> scrubSeconds_;
    float rate_ = 1.0f;
};

}  // namespace velmar
