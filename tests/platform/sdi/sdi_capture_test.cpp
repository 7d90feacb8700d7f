#include "platform/sdi/virtual_sdi_card.h"

#include "sdi_test_support.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

namespace velmar {
namespace {

void putWord(std::uint8_t* p, std::uint32_t v) {
    std::memcpy(p, &v, 4);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

TEST(SdiCapture, WrappedFramesAreCapturedAndRecordedWithTightRows) {
    QTemporaryDir dir;
    VirtualSdiCard card(test::manualCard({test::smallMode(25, 1)}));
    auto output = card.deviceAtIndex(0)->output();
    output->setRecordDirectory(dir.path().toStdString());
    std::vector<SdiCapturedFrame> captured;
    output->setFrameCapture([&](const SdiCapturedFrame& f) { captured.push_back(f); });
    output->setAudioRequestHandler([](std::int32_t* s, std::uint32_t frames, long long at) {
        for (std::uint32_t i = 0; i < 2 * frames; ++i) s[i] = static_cast<std::int32_t>(at * 2 + i);
    });
    ASSERT_EQ(output->enableVideoOutput(fourCC("T001")), SdiResult::ok);
    ASSERT_EQ(output->enableAudioOutput(48000, 32, 2, true), SdiResult::ok);

    // Caller memory with 64 bytes a row where 48 are needed; each frame a different fill. The
    // capture and the recording hold only the 48 bytes of each row.
    const long long rowBytes = 64;
    QByteArray tight;
    for (int i = 0; i < 3; ++i) {
        auto memory = std::make_shared<std::vector<std::uint8_t>>(rowBytes * 4, 0xEE);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 48; ++x) {
                (*memory)[y * rowBytes + x] = static_cast<std::uint8_t>(i * 100 + y * 48 + x);
                tight.append(char(i * 100 + y * 48 + x));
            }
        }
        std::shared_ptr<SdiVideoFrame> frame;
        ASSERT_EQ(
            output->wrapVideoFrame(12, 4, rowBytes, fourCC("BGRA"), memory, memory->data(), &frame),
            SdiResult::ok);
        ASSERT_EQ(output->scheduleVideoFrame(frame, i, 1, 25), SdiResult::ok);
    }
    ASSERT_EQ(output->startScheduledPlayback(0, 25, 1.0), SdiResult::ok);
    output->step(3);
    output->stopScheduledPlayback(0, nullptr, 25);

    ASSERT_EQ(captured.size(), 3u);
    QByteArray shown;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(captured[i].displayIndex, i);
        EXPECT_EQ(captured[i].rowBytes, 48u);
        shown.append(reinterpret_cast<const char*>(captured[i].bytes.data()),
                     qsizetype(captured[i].bytes.size()));
    }
    EXPECT_EQ(shown, tight);
    EXPECT_EQ(readFile(dir.filePath(QStringLiteral("sdi0.bgra"))), tight);

    const QByteArray audio = readFile(dir.filePath(QStringLiteral("sdi0.pcm")));
    ASSERT_EQ(audio.size(), 3 * 1920 * 2 * 4);
    std::vector<std::int32_t> samples(audio.size() / 4);
    std::memcpy(samples.data(), audio.data(), audio.size());
    for (size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(samples[i], static_cast<std::int32_t>(i));
}

TEST(SdiCapture, TenBitContentIsChecked) {
    VirtualSdiCard card(test::manualCard({test::smallMode(25, 1)}));
    auto device = card.deviceAtIndex(0);
    auto output = device->output();
    ASSERT_EQ(output->enableVideoOutput(fourCC("T001")), SdiResult::ok);
    ASSERT_EQ(device->keyer()->enable(true), SdiResult::ok);
    std::vector<SdiCapturedFrame> captured;
    output->setFrameCapture([&](const SdiCapturedFrame& f) { captured.push_back(f); });

    // A v210 frame of black groups (or all zero), an Ay10 frame of one word.
    auto v210 = [&](bool black) {
        std::shared_ptr<SdiVideoFrame> f;
        output->createVideoFrame(12, 4, 128, fourCC("v210"), &f);
        const std::uint32_t group[4] = {0x20010200, 0x04080040, 0x20010200, 0x04080040};
        for (long long y = 0; black && y < 4; ++y)
            for (int k = 0; k < 8; ++k) putWord(f->bytes() + y * 128 + 4 * k, group[k % 4]);
        return f;
    };
    auto ay10 = [&](std::uint32_t word) {
        std::shared_ptr<SdiVideoFrame> f;
        output->createVideoFrame(12, 4, 256, fourCC("Ay10"), &f);
        for (long long y = 0; y < 4; ++y)
            for (int x = 0; x < 12; ++x) putWord(f->bytes() + y * 256 + 4 * x, word);
        return f;
    };
    struct Case {
        std::shared_ptr<SdiVideoFrame> frame;
        bool valid;
    };
    const Case cases[] = {
        {v210(true), true},
        {v210(false), false},  // code 0 is reserved
        {ay10(kAy10Black), true},
        {ay10(ay10Word(940, 512, 1023)), true},                // white, opaque key
        {ay10(ay10Word(940, 512, 1023) | (1u << 31)), false},  // reserved bit
        {ay10(ay10Word(1020, 512, 0)), false},                 // luma out of range
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        ASSERT_EQ(output->scheduleVideoFrame(cases[i].frame, static_cast<long long>(i), 1, 25),
                  SdiResult::ok)
            << i;
    ASSERT_EQ(output->startScheduledPlayback(0, 25, 1.0), SdiResult::ok);
    long long expectedInvalid = 0;
    for (size_t i = 0; i < std::size(cases); ++i) {
        output->step();
        expectedInvalid += cases[i].valid ? 0 : 1;
        EXPECT_EQ(output->counters().invalidContentFrames, expectedInvalid) << i;
    }
    output->stopScheduledPlayback(0, nullptr, 25);
    ASSERT_EQ(captured.size(), std::size(cases));
    EXPECT_TRUE(captured[2].keyed);
    EXPECT_EQ(captured[2].keyLevel, 255);
    EXPECT_EQ(captured[2].rowBytes, 256u);  // the format row: 64 pixels, wider rows cut to it
}

}  // namespace
}  // namespace velmar
