// The transport bar's play/pause, rate chips, scrub and clock rules, on a recording fake movie.
#include "ui/panels/transport_bar_presenter.h"

#include "ui/panels/fake_transport_movie.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <limits>

namespace velmar {
namespace {

using FakeMovie = test::FakeTransportMovie;

TEST(TransportBarPresenter, PlayPauseResumesAtOneAfterABarPause) {
    TransportBarPresenter bar;
    auto movie = std::make_shared<FakeMovie>();
    bar.setMovie(movie);
    bar.chooseRate(0.5);  // a paused movie starts at the chip rate
    EXPECT_EQ(movie->rate, 0.5f);
    EXPECT_TRUE(movie->wantsPlay);
    EXPECT_TRUE(bar.isChipHighlighted(0.5));
    EXPECT_EQ(bar.playPauseSymbol(), "pause.fill");

    bar.playPause();  // pause sets the bar's rate to 0 ...
    EXPECT_EQ(movie->rate, 0);
    EXPECT_FALSE(movie->wantsPlay);
    EXPECT_EQ(movie->desiredRate, 0);
    EXPECT_EQ(bar.rate(), 0);
    EXPECT_FALSE(bar.isChipHighlighted(0.5));
    EXPECT_EQ(bar.playPauseHelpKey(), "再生");

    bar.playPause();  // ... so play resumes at 1.0
    EXPECT_EQ(movie->rate, 1.0f);
    EXPECT_EQ(movie->desiredRate, 1.0f);
    EXPECT_TRUE(bar.isChipHighlighted(1.0));

    // Paused by other means: play resumes at the last chip rate.
    bar.chooseRate(0.25);
    movie->rate = 0;
    bar.playPause();
    EXPECT_EQ(movie->rate, 0.25f);

    // Running backwards (the engine's shuttle) counts as running: play/pause pauses.
    movie->rate = -2;
    EXPECT_EQ(bar.playPauseSymbol(), "pause.fill");
    bar.playPause();
    EXPECT_EQ(movie->rate, 0);
    EXPECT_EQ(bar.rate(), 0);
}

TEST(TransportBarPresenter, FrameStepPausesAndNoMovieOnlyTouchesTheBarRate) {
    TransportBarPresenter bar;
    bar.playPause();  // no movie: the bar's rate only
    EXPECT_EQ(bar.rate(), 1.0f);
    bar.stepFrame(1);
    EXPECT_EQ(bar.rate(), 0);
    EXPECT_EQ(bar.positionText(), "--:-- / --:--");
    EXPECT_DOUBLE_EQ(bar.sliderMaximum(), 1.0);

    auto movie = std::make_shared<FakeMovie>();
    movie->rate = 1;
    movie->wantsPlay = true;
    bar.setMovie(movie);
    bar.stepFrame(-1);
    EXPECT_EQ(movie->calls, QStringList({"pause", "step -1"}));
    EXPECT_FALSE(movie->wantsPlay);
    bar.cueToStart();
    EXPECT_EQ(movie->calls.last(), "seek 0 precise");
}

TEST(TransportBarPresenter, ScrubSeeksLooselyWhileDraggingAndPreciselyOnRelease) {
    TransportBarPresenter bar;
    auto movie = std::make_shared<FakeMovie>();
    movie->rate = 1;
    movie->current = 3725;
    movie->duration = 7200;
    bar.setMovie(movie);
    EXPECT_EQ(bar.positionText(), "62:05 / 120:00");
    bar.beginScrub();
    bar.scrubTo(10);
    bar.scrubTo(12.5);
    EXPECT_EQ(bar.positionText(), "00:12 / 120:00");
    bar.endScrub();
    EXPECT_EQ(movie->calls,
              QStringList({"pause", "seek 10 loose", "seek 12.5 loose", "seek 12.5 precise"}));
    EXPECT_EQ(movie->rate, 0);  // stays paused
    EXPECT_FALSE(bar.scrubSeconds());
    EXPECT_DOUBLE_EQ(bar.sliderValue(), 3725);

    movie->duration = 0.04;  // short or without a duration: the range is 0 ... 0.1
    EXPECT_DOUBLE_EQ(bar.sliderMaximum(), 0.1);
}

// A scrub that spans a program change must not move the newly taken movie.
TEST(TransportBarPresenter, ScrubAcrossAProgramChangeSeeksNeitherMovieOnRelease) {
    TransportBarPresenter bar;
    auto first = std::make_shared<FakeMovie>();
    auto second = std::make_shared<FakeMovie>();
    bar.setMovie(first);
    bar.beginScrub();
    bar.scrubTo(40);
    bar.setMovie(second);
    first.reset();  // the old program movie goes away
    bar.scrubTo(41);
    bar.endScrub();
    EXPECT_TRUE(second->calls.isEmpty()) << second->calls.join(", ").toStdString();
    EXPECT_FALSE(bar.scrubSeconds());

    // And a new scrub on the new movie works as usual.
    bar.beginScrub();
    bar.scrubTo(2);
    bar.endScrub();
    EXPECT_EQ(second->calls.last(), "seek 2 precise");
}

TEST(TransportBarPresenter, ClockAndChipLabels) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double seconds;
        const char* text;
    };
    for (const Case& c :
         {Case{6000, "100:00"}, Case{3600, "60:00"}, Case{59.99, "00:59"}, Case{-3, "00:00"},
          Case{std::nan(""), "00:00"}, Case{inf, "00:00"}, Case{1e300, "16666666666:40"}})
        EXPECT_EQ(TransportBarPresenter::clock(c.seconds), c.text) << c.seconds;
    EXPECT_EQ(TransportBarPresenter::chipLabel(0.25), "0.25x");
    EXPECT_EQ(TransportBarPresenter::chipLabel(0.5), "0.5x");
    EXPECT_EQ(TransportBarPresenter::chipLabel(1.0), "1x");
}

}  // namespace
}  // namespace velmar
