#include "core/reference_tone.h"
#include "support/qt_printers.h"

#include "core/playout_log.h"
#include "models/localized.h"
#include "platform/audio/audio_output.h"
#include "platform/audio/audio_source.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace velmar {
namespace {

// Renders its source only when the test asks.
class FakeEngine final : public ReferenceTone::Engine {
  public:
    double rate = 48000;
    std::optional<QString> failure;
    AudioSource* source = nullptr;
    int starts = 0;

    double outputSampleRate() const override { return rate; }
    std::optional<QString> start(AudioSource* s) override {
        ++starts;
        if (failure) return failure;
        source = s;
        return std::nullopt;
    }
    void stop(AudioSource* s) override {
        EXPECT_EQ(s, source);
        source = nullptr;
    }
    std::vector<float> render(int frames) {
        std::vector<float> out(static_cast<std::size_t>(frames) * 2, 9.0f);
        if (source != nullptr) source->render(out.data(), frames);
        return out;
    }
};

struct ToneFixture : ::testing::Test {
    QTemporaryDir dir;
    test::FakeClock clock;
    PlayoutLog log{dir.path() + "/Logs", clock, clock};
    FakeEngine engine;
    ReferenceTone tone{engine, log};

    // Without their time stamps.
    QStringList logLines() {
        log.flush();
        log.waitForPendingWrites();
        QFile f(log.fileName());
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList lines;
        for (const QString& line : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts))
            lines << line.mid(line.indexOf(QStringLiteral("  ")) + 2);
        return lines;
    }
};

TEST_F(ToneFixture, StartsSwitchesAndStopsWithItsLogLines) {
    QSignalSpy changed(&tone, &ReferenceTone::kindChanged);
    tone.stop();  // idle: nothing happens
    EXPECT_EQ(changed.count(), 0);

    EXPECT_EQ(tone.start(ReferenceToneKind::sine1k20), std::nullopt);
    EXPECT_NE(engine.source, nullptr);
    EXPECT_EQ(tone.start(ReferenceToneKind::sine1k20), std::nullopt);  // the same kind restarts
    EXPECT_EQ(tone.start(ReferenceToneKind::pinkNoise20), std::nullopt);
    tone.stop();
    tone.stop();
    EXPECT_EQ(tone.kind(), std::nullopt);
    EXPECT_EQ(engine.source, nullptr);
    EXPECT_EQ(changed.count(), 6);  // each start and each stop in between
    EXPECT_EQ(logLines(), (QStringList{"TONE  1kHz -20dBFS", "TONE  OFF", "TONE  1kHz -20dBFS",
                                       "TONE  OFF", "TONE  PINK -20dBFS RMS", "TONE  OFF"}));
}

TEST_F(ToneFixture, RendersAtTheEnginesRateOr48kHzWhenItReportsNone) {
    // {reported rate, frame of the 1 kHz sine's crest}
    for (auto [rate, crest] : {std::pair{0.0, 12},
                               {-1.0, 12},
                               {48000.0, 12},
                               {96000.0, 24},
                               {std::numeric_limits<double>::quiet_NaN(), 12}}) {
        engine.rate = rate;
        ASSERT_EQ(tone.start(ReferenceToneKind::sine1k20), std::nullopt);
        const std::vector<float> out = engine.render(48);
        EXPECT_FLOAT_EQ(out[2 * crest], 0.1f) << rate;
        EXPECT_FLOAT_EQ(out[2 * crest + 1], 0.1f) << rate;
    }
}

TEST_F(ToneFixture, FailuresLeaveItIdleWithTheirMessages) {
    engine.rate = std::numeric_limits<double>::infinity();  // no audio format for that
    EXPECT_EQ(tone.start(ReferenceToneKind::sine1k18), localized("音声の形式を用意できません"));
    EXPECT_EQ(engine.starts, 0);

    engine.rate = 48000;
    engine.failure = QStringLiteral("device gone");
    EXPECT_EQ(tone.start(ReferenceToneKind::sine1k18),
              localized("基準信号を出せません: ") + "device gone");
    EXPECT_EQ(tone.kind(), std::nullopt);
    EXPECT_EQ(engine.source, nullptr);

    // A failed start after a playing one still ends the playing one.
    engine.failure.reset();
    ASSERT_EQ(tone.start(ReferenceToneKind::sine1k20), std::nullopt);
    engine.failure = QStringLiteral("device gone");
    EXPECT_NE(tone.start(ReferenceToneKind::ebuIdent), std::nullopt);
    EXPECT_EQ(tone.kind(), std::nullopt);
    EXPECT_EQ(logLines(), (QStringList{"TONE  1kHz -20dBFS", "TONE  OFF"}));
}

TEST_F(ToneFixture, MetersEachBlockAndClearsOnStop) {
    ASSERT_EQ(tone.start(ReferenceToneKind::sine1k20Left), std::nullopt);
    EXPECT_EQ(tone.meter().left, 0.0f);  // nothing rendered yet
    engine.render(48);
    EXPECT_FLOAT_EQ(tone.meter().left, 0.1f);
    EXPECT_EQ(tone.meter().right, 0.0f);
    // A block larger than the scratch buffers is rendered and metered over all of it.
    const std::vector<float> big = engine.render(8193);
    EXPECT_NEAR(big[2 * 8192], 0.1 * std::sin(2 * M_PI * 32 / 48), 1e-6);
    EXPECT_FLOAT_EQ(tone.meter().left, 0.1f);
    tone.stop();
    EXPECT_EQ(tone.meter().left + tone.meter().right, 0.0f);
}

TEST_F(ToneFixture, LocalMuteSilencesTheOutputButNotTheMeter) {
    tone.setLocalMuted(true);
    ASSERT_EQ(tone.start(ReferenceToneKind::sine1k18), std::nullopt);
    EXPECT_EQ(engine.render(48), std::vector<float>(96, 0.0f));
    EXPECT_FLOAT_EQ(tone.meter().left, 0.12589253f);

    tone.setLocalMuted(false);  // while playing: heard from the next block
    EXPECT_FLOAT_EQ(engine.render(48)[24], 0.12589253f);

    // A volume set apart from the flag is replaced by the flag's at the next start.
    tone.setOutputVolume(0.0f);
    EXPECT_FALSE(tone.localMuted());
    ASSERT_EQ(tone.start(ReferenceToneKind::sine1k18), std::nullopt);
    EXPECT_EQ(tone.outputVolume(), 1.0f);
    for (float bad : {-1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN()}) {
        tone.setOutputVolume(bad);
        EXPECT_TRUE(tone.outputVolume() >= 0.0f && tone.outputVolume() <= 1.0f) << bad;
    }
}

TEST_F(ToneFixture, OnTheLocalMixerPlaysHeadlessAndReportsAFullMixer) {
    ReferenceTone tone{ReferenceTone::localEngine(), log};
    ASSERT_EQ(tone.start(ReferenceToneKind::sine1k20Right), std::nullopt);
    EXPECT_TRUE(test::waitUntil([&] { return tone.meter().right > 0.0f; }, 5.0));
    EXPECT_EQ(tone.meter().left, 0.0f);
    tone.stop();
    EXPECT_EQ(tone.meter().right, 0.0f);

    // With every place of the mixer taken the tone cannot start, and says so.
    struct Silent final : AudioSource {
        void render(float* out, int frames) override { std::fill_n(out, frames * 2, 0.0f); }
    };
    std::vector<Silent> fillers(AudioOutput::kMaxSources);
    for (Silent& f : fillers) AudioOutput::shared().addSource(&f);
    const std::optional<QString> error = tone.start(ReferenceToneKind::sine1k20);
    for (Silent& f : fillers) AudioOutput::shared().removeSource(&f);
    ASSERT_TRUE(error.has_value());
    const QString prefix = localized("基準信号を出せません: ");
    EXPECT_TRUE(error->startsWith(prefix) && error->size() > prefix.size()) << error->toStdString();
    EXPECT_EQ(tone.kind(), std::nullopt);
}

}  // namespace
}  // namespace velmar
