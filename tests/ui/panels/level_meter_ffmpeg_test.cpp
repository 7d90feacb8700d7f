// The meter's figures against ffmpeg's astats filter, which measures the same samples with code
// we did not write: the reference tones rendered by ReferenceTone, and a two-level tone made by
// the ffmpeg program. Skipped when ffmpeg is not installed.
#include "core/playout_log.h"
#include "core/reference_tone.h"
#include "platform/audio/audio_source.h"
#include "support/fake_clock.h"
#include "ui/panels/level_meter_model.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace velmar {
namespace {

constexpr int kRate = 48000;

// Hands the tone's source to the test, which renders it block by block as a mixer would.
class CapturingEngine final : public ReferenceTone::Engine {
  public:
    AudioSource* source = nullptr;
    double outputSampleRate() const override { return kRate; }
    std::optional<QString> start(AudioSource* s) override {
        source = s;
        return std::nullopt;
    }
    void stop(AudioSource*) override { source = nullptr; }
};

struct Channel {
    double peakDB = 0;
};

class LevelMeterFfmpegTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty()) GTEST_SKIP() << "needs ffmpeg";
    }
    QString path(const QString& name) const { return dir.filePath(name); }

    static void write(const QString& file, const std::vector<float>& interleaved) {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(reinterpret_cast<const char*>(interleaved.data()),
                  qint64(interleaved.size() * sizeof(float)));
    }
    static std::vector<float> read(const QString& file) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly)) return {};
        const QByteArray bytes = in.readAll();
        std::vector<float> samples(size_t(bytes.size()) / sizeof(float));
        std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
        return samples;
    }
    // astats of 48 kHz stereo float samples: the peak level of each channel.
    static std::vector<Channel> astats(const QString& file) {
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-hide_banner", "-nostats", "-f", "f32le", "-ar", "48000", "-ac",
                                "2", "-i", file, "-af", "astats", "-f", "null", "-"});
        ffmpeg.waitForFinished(60000);
        std::vector<Channel> channels;
        static const QRegularExpression peak(R"(Peak level dB: (\S+))");
        for (const QString& line : QString::fromUtf8(ffmpeg.readAllStandardError()).split('\n')) {
            if (line.contains("Overall")) break;
            if (const auto m = peak.match(line); m.hasMatch())
                channels.push_back(
                    {m.captured(1) == "-inf" ? -INFINITY : m.captured(1).toDouble()});
        }
        return channels;
    }

    QTemporaryDir dir;
};

// Each 0.1 s the meter shows the peak of the last block rendered; the loudest it shows over a
// whole ident cycle must be what astats measures over the same samples.
TEST_F(LevelMeterFfmpegTest, ToneMeterReadsWhatAstatsMeasures) {
    test::FakeClock clock;
    PlayoutLog log(dir.filePath("Logs"), clock, clock);
    CapturingEngine engine;
    ReferenceTone tone(engine, log);
    struct Case {
        ReferenceToneKind kind;
        double expectedDB;  // the tone's peak as made
    };
    for (const Case& c :
         {Case{ReferenceToneKind::sine1k20, -20.0}, Case{ReferenceToneKind::ebuIdent, -18.0}}) {
        SCOPED_TRACE(c.kind.rawValue().toStdString());
        ASSERT_EQ(tone.start(c.kind), std::nullopt);
        ASSERT_NE(engine.source, nullptr);
        constexpr int kBlock = 512;
        std::vector<float> samples;
        float loudest[2] = {0, 0};
        for (int rendered = 0; rendered < kRate * 7 / 2; rendered += kBlock) {
            std::vector<float> block(kBlock * 2);
            engine.source->render(block.data(), kBlock);
            samples.insert(samples.end(), block.begin(), block.end());
            const ReferenceTone::MeterState meter = tone.meter();
            loudest[0] = std::max(loudest[0], meter.left);
            loudest[1] = std::max(loudest[1], meter.right);
        }
        tone.stop();
        const QString file = path(c.kind.rawValue() + ".f32");
        write(file, samples);
        const std::vector<Channel> measured = astats(file);
        ASSERT_EQ(measured.size(), 2u);
        for (int ch = 0; ch < 2; ++ch) {
            EXPECT_NEAR(measured[size_t(ch)].peakDB, c.expectedDB, 0.1) << ch;
            const double dB = LevelMeterModel::decibels(loudest[ch]);
            EXPECT_NEAR(dB, measured[size_t(ch)].peakDB, 0.5) << ch;
            EXPECT_NEAR(LevelMeterModel::readout(dB, false).toDouble(), measured[size_t(ch)].peakDB,
                        0.5)
                << ch;
        }
    }
}

// A tone made by the ffmpeg program, louder on the left (-6 dB) than on the right (-26 dB), read
// back and metered in 0.1 s blocks as the panel's refresh would: the readout of each channel
// is astats' peak, and the lit segments stop at the segment of that level.
TEST_F(LevelMeterFfmpegTest, MeterOfAnFfmpegToneMatchesAstats) {
    const QString file = path("tone.f32");
    ASSERT_EQ(QProcess::execute(
                  "ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i",
                             "aevalsrc=0.5*sin(2*PI*997*t)|0.05*sin(2*PI*440*t):s=48000:d=1", "-f",
                             "f32le", "-c:a", "pcm_f32le", file}),
              0);
    const std::vector<float> samples = read(file);
    ASSERT_EQ(samples.size(), size_t(kRate * 2));
    const std::vector<Channel> measured = astats(file);
    ASSERT_EQ(measured.size(), 2u);
    for (int ch = 0; ch < 2; ++ch) {
        SCOPED_TRACE(ch);
        float loudest = 0;
        for (size_t block = 0; block < samples.size(); block += kRate / 10 * 2) {
            float peak = 0;
            for (size_t i = block + size_t(ch); i < block + kRate / 10 * 2; i += 2)
                peak = std::max(peak, std::fabs(samples[i]));
            loudest = std::max(loudest, peak);
        }
        const double dB = LevelMeterModel::decibels(loudest);
        EXPECT_NEAR(dB, measured[size_t(ch)].peakDB, 0.5);
        EXPECT_NEAR(LevelMeterModel::readout(dB, false).toDouble(), measured[size_t(ch)].peakDB,
                    0.5);
        // Lit up to the segment whose threshold is at or below the measured level.
        const int lit = LevelMeterModel::litCount(dB, false);
        EXPECT_LE(LevelMeterModel::threshold(lit - 1), measured[size_t(ch)].peakDB + 0.01);
        EXPECT_GT(LevelMeterModel::threshold(lit), measured[size_t(ch)].peakDB - 0.01);
    }
    EXPECT_NEAR(measured[0].peakDB, -6.02, 0.1);
    EXPECT_NEAR(measured[1].peakDB, -26.02, 0.1);
}

}  // namespace
}  // namespace velmar
