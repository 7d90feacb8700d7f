// The meter's figures against ffmpeg's astats filter, which measures the same samples with code
// we did not write. Skipped when ffmpeg is not installed.
#include "ui/level_meter_model.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace velmar {
namespace {

// A tone made by the ffmpeg program, louder on the left (-6 dB) than on the right (-26 dB), read
// back and metered: the dB and the readout of each channel are astats' peak level, and the lit
// segments stop at the segment of that level.
TEST(LevelMeterFfmpegTest, MeterOfAnFfmpegToneMatchesAstats) {
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty()) GTEST_SKIP() << "needs ffmpeg";
    QTemporaryDir dir;
    const QString file = dir.filePath("tone.f32");
    ASSERT_EQ(QProcess::execute(
                  "ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i",
                             "aevalsrc=0.5*sin(2*PI*997*t)|0.05*sin(2*PI*440*t):s=48000:d=1", "-f",
                             "f32le", "-c:a", "pcm_f32le", file}),
              0);
    QFile in(file);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    const auto* samples = reinterpret_cast<const float*>(bytes.constData());
    const qsizetype frames = bytes.size() / qsizetype(2 * sizeof(float));
    ASSERT_EQ(frames, 48000);

    QProcess astats;
    astats.start("ffmpeg", {"-hide_banner", "-nostats", "-f", "f32le", "-ar", "48000", "-ac", "2",
                            "-i", file, "-af", "astats", "-f", "null", "-"});
    ASSERT_TRUE(astats.waitForFinished(60000));
    std::vector<double> measured;  // peak level dB per channel
    static const QRegularExpression peak(R"(Peak level dB: (\S+))");
    for (const QString& line : QString::fromUtf8(astats.readAllStandardError()).split('\n')) {
        if (line.contains("Overall")) break;
        if (const auto m = peak.match(line); m.hasMatch())
            measured.push_back(m.captured(1).toDouble());
    }
    ASSERT_EQ(measured.size(), 2u);
    EXPECT_NEAR(measured[0], -6.02, 0.1);
    EXPECT_NEAR(measured[1], -26.02, 0.1);

    for (int ch = 0; ch < 2; ++ch) {
        SCOPED_TRACE(ch);
        float loudest = 0;  // the largest of the refreshes' block peaks
        for (qsizetype i = 0; i < frames; ++i)
            loudest = std::max(loudest, std::fabs(samples[2 * i + ch]));
        const double dB = LevelMeterModel::decibels(loudest);
        EXPECT_NEAR(dB, measured[size_t(ch)], 0.5);
        EXPECT_NEAR(LevelMeterModel::readout(dB, false).toDouble(), measured[size_t(ch)], 0.5);
        const int lit = LevelMeterModel::litCount(dB, false);
        EXPECT_LE(LevelMeterModel::threshold(lit - 1), measured[size_t(ch)] + 0.01);
        EXPECT_GT(LevelMeterModel::threshold(lit), measured[size_t(ch)] - 0.01);
    }
}

}  // namespace
}  // namespace velmar
