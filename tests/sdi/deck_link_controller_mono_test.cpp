// A mono movie's sound on the SDI output, measured by ffmpeg's astats on what the virtual card
// recorded: the movie is made by ffmpeg (a 1 kHz tone peaking at 1/8, -18.06 dBFS, in one
// channel), played through the movie player and the program audio ring onto the card, and the
// card's s32le recording is read back by ffmpeg. Skipped when ffmpeg is not installed.
#include "deck_link_controller_fixture.h"

#include "core/movie_playback.h"
#include "platform/audio/audio_output.h"
#include "support/event_loop.h"
#include "support/test_media.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>

namespace velmar {
namespace {

// astats' peak level of each channel of a 48 kHz s32le stereo file, in dBFS.
std::vector<double> peakLevels(const QString& file) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-hide_banner", "-nostats", "-f", "s32le", "-ar", "48000", "-ac", "2",
                            "-i", file, "-af", "astats", "-f", "null", "-"});
    ffmpeg.waitForFinished(60000);
    std::vector<double> levels;
    static const QRegularExpression peak(R"(Peak level dB: (\S+))");
    for (const QString& line : QString::fromUtf8(ffmpeg.readAllStandardError()).split('\n')) {
        if (line.contains("Overall")) break;
        if (const auto m = peak.match(line); m.hasMatch())
            levels.push_back(m.captured(1) == "-inf" ? -INFINITY : m.captured(1).toDouble());
    }
    return levels;
}

using DeckLinkControllerMono = test::ControllerFixture;

// Mended: a mono movie reached both SDI channels and the meter 3 dB low (-21.07 dBFS).
TEST_F(DeckLinkControllerMono, AMonoMovieReachesBothSdiChannelsAtItsOwnLevel) {
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty()) GTEST_SKIP() << "needs ffmpeg";
    test::TestMedia::MovieOptions options{64, 36};
    options.audio = true;  // ffmpeg's sine source: 1 kHz peaking at 1/8, 16-bit PCM at 48 kHz
    options.audioChannels = 1;
    options.seconds = 2.0;
    const QString movie = test::TestMedia::movie("mov", options);
    ASSERT_FALSE(movie.isEmpty());

    QTemporaryDir recording;
    output->setRecordDirectory(recording.path().toStdString());
    setTake(false);
    start(SDIBitDepth::eightBit, true, true, FrameRate{60, 1});  // 800 sample frames a frame
    ASSERT_TRUE(SDIAudioBridge::shared().isActive());

    // On the fixture's clock, which outlives the player's release (see the fixture).
    auto playback = MoviePlayback::create(movie, false, 0, clock);
    ASSERT_TRUE(test::waitUntil(
        [&] { return playback->isPrepared() && playback->audioLevel().isAttached(); }));
    // The test renders the player's sound itself, one card frame at a time.
    AudioOutput::shared().removeSource(&playback->player());
    playback->audioLevel().setOutput(1.0f, true);
    playback->play();

    constexpr int kFrame = 800;
    std::vector<float> local(2 * kFrame);
    SDIAudioBridge& ring = SDIAudioBridge::shared();
    for (int frame = 0; frame < 90; ++frame) {
        // The player decodes on its own thread; wait until a whole frame's sound reached the
        // ring, then let the card play one frame.
        const int before = ring.storedFrames();
        ASSERT_TRUE(test::waitUntil([&] {
            playback->player().render(local.data(), kFrame);
            return ring.storedFrames() >= before + kFrame;
        })) << "frame "
            << frame;
        output->step(1);
        clock.advance(1.0 / 60);
    }
    const AudioLevelTap::AudioLevels::Meter meter = playback->audioLevels();
    playback->pause();
    controller->stop();
    output->setRecordDirectory({});  // closes the recording

    const std::vector<double> levels = peakLevels(recording.filePath("sdi0.pcm"));
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_NEAR(levels[0], -18.06, 0.1) << "left";
    EXPECT_NEAR(levels[1], -18.06, 0.1) << "right";
    EXPECT_NEAR(20 * std::log10(meter.left), -18.06, 0.1);
    EXPECT_NEAR(20 * std::log10(meter.right), -18.06, 0.1);
}

}  // namespace
}  // namespace velmar
