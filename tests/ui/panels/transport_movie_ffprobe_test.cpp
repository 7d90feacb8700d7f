// The transport bar's frame steps, cue and scrub release on a real movie made by the ffmpeg
// program: 25 fps with the frame number written into the picture as eight black or white
// columns (bit 0 at the left). Where each action lands is checked against the frame that
// ffprobe lists for the time the player reports, and against the number in the picture.
#include "core/movie_playback.h"
#include "platform/player/movie_player.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "ui/panels/transport_bar_presenter.h"
#include "ui/panels/transport_movie.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace velmar {
namespace {

class TransportMovieFfprobeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"ffmpeg", "ffprobe"})
            if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << "needs " << tool;
        movie = dir.filePath("numbered.mp4");
        ASSERT_EQ(QProcess::execute(
                      "ffmpeg",
                      {"-loglevel", "error", "-f", "lavfi", "-i",
                       "color=c=black:s=160x96:r=25:d=2,format=yuv444p,"
                       "geq=lum='if(bitand(floor(N/pow(2,floor(X/20))),1),235,16)':cb=128:cr=128",
                       "-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", "10", "-bf", "0", movie}),
                  0);
        QProcess probe;
        probe.start("ffprobe", {"-v", "error", "-select_streams", "v", "-show_entries",
                                "frame=pts_time", "-of", "csv=p=0", movie});
        ASSERT_TRUE(probe.waitForFinished(60000));
        // One "time," line per frame (blank lines and trailing fields aside).
        for (const QString& line : QString::fromUtf8(probe.readAllStandardOutput()).split('\n')) {
            const QString time = line.section(',', 0, 0).trimmed();
            if (!time.isEmpty()) frameTimes.push_back(time.toDouble());
        }
        ASSERT_EQ(frameTimes.size(), 50u);
    }
    void TearDown() override {
        test::drainMainQueue();
        MoviePlayer::waitForReleases();
    }

    // ffprobe's frame on screen at `seconds`: the last one whose time has come.
    int frameAt(double seconds) const {
        int frame = 0;
        for (size_t i = 0; i < frameTimes.size(); ++i)
            if (frameTimes[i] <= seconds + 1e-6) frame = int(i);
        return frame;
    }
    // The number written in the picture.
    static int numberIn(const QImage& image) {
        int number = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (qGray(image.pixel(bit * 20 + 10, image.height() / 2)) > 128) number |= 1 << bit;
        return number;
    }
    // Waits until the player shows `frame`, then checks that ffprobe agrees with its time.
    void expectShows(const MoviePlayback& playback, int frame) {
        const auto shown = [&] {
            const ImageRef image = playback.currentFrameImage();
            return image ? numberIn(*image) : -1;
        };
        test::waitUntil(
            [&] { return frameAt(playback.currentTimeSeconds()) == frame && shown() == frame; },
            10);
        EXPECT_EQ(frameAt(playback.currentTimeSeconds()), frame) << playback.currentTimeSeconds();
        EXPECT_EQ(shown(), frame);
    }

    QTemporaryDir dir;
    QString movie;
    std::vector<double> frameTimes;
    test::FakeClock clock;
};

TEST_F(TransportMovieFfprobeTest, StepsCueAndScrubReleaseLandOnFfprobesFrames) {
    auto playback = MoviePlayback::create(movie, true, 1, clock);
    ASSERT_TRUE(test::waitUntil([&] { return playback->isPrepared(); }, 10));
    TransportBarPresenter bar;
    bar.setMovie(TransportMovie::wrap(playback));
    for (int frame = 1; frame <= 3; ++frame) {
        bar.stepFrame(1);
        expectShows(*playback, frame);
    }
    bar.stepFrame(-1);
    expectShows(*playback, 2);

    // A precise seek on release, between two frames: the earlier one shows.
    bar.beginScrub();
    bar.scrubTo(0.5);
    bar.scrubTo(1.23);
    bar.endScrub();
    EXPECT_TRUE(test::waitUntil([&] { return playback->currentTimeSeconds() > 1.2; }, 10));
    EXPECT_NEAR(playback->currentTimeSeconds(), 1.23, 0.021);
    expectShows(*playback, frameAt(1.23));
    EXPECT_EQ(frameAt(1.23), 30);

    bar.stepFrame(1);  // a step from there goes on from the scrubbed frame
    expectShows(*playback, 31);
    bar.cueToStart();
    expectShows(*playback, 0);
}

}  // namespace
}  // namespace velmar
