#include "platform/sdi/virtual_sdi_card.h"

#include "sdi_test_support.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velmar {
namespace {

// A disk that takes no bytes until the test lets it. The limit only ends a hang.
class StalledDisk {
  public:
    SdiRecorder::Write writer() {
        return [this](std::FILE* file, const void* bytes, std::size_t size) {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, std::chrono::seconds(30), [&] { return open_; });
            open_ = true;
            return std::fwrite(bytes, 1, size, file) == size && std::fflush(file) == 0;
        };
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

// Each frame of the client's ring carries its ring slot in its first byte.
void markRing(test::PlaybackClient& client) {
    for (std::size_t i = 0; i < client.frames_.size(); ++i)
        client.frames_[i]->bytes()[0] = static_cast<std::uint8_t>(10 + i);
}

TEST(SdiRecord, ADiskThatCannotKeepUpLosesFramesFromTheRecordingNotTheClock) {
    QTemporaryDir dir;
    VirtualSdiCard card(test::manualCard({test::smallMode(25, 1)}));
    auto output = card.deviceAtIndex(0)->output();
    StalledDisk disk;
    output->setRecordWriter(disk.writer());
    output->setRecordDirectory(dir.path().toStdString());
    test::PlaybackClient client(*output, output->displayModes()[0], SdiPixelFormat::bgra8);
    markRing(client);
    ASSERT_EQ(client.start(), SdiResult::ok);

    testing::internal::CaptureStderr();
    output->step(10);  // returns although nothing reached the disk
    SdiOutputCounters c = output->counters();
    EXPECT_EQ(c.ticks, 10);
    EXPECT_EQ(c.framesCompleted, 10);
    EXPECT_EQ(c.ticksMissed, 0);
    // Four frames fit in the recorder's queue (one of them being written); six are left out.
    EXPECT_EQ(c.recordFramesDropped, 6);
    EXPECT_EQ(c.recordedFrames, 0);

    disk.open();
    client.stopping_ = true;
    output->stopScheduledPlayback(0, nullptr, 25);
    const std::string said = testing::internal::GetCapturedStderr();
    c = output->counters();
    EXPECT_EQ(c.recordedFrames, 4);
    EXPECT_EQ(c.recordFramesDropped, 6);
    EXPECT_NE(said.find("4 frames written, 6 left out"), std::string::npos) << said;

    // The first four frames, whole, in order.
    QFile file(dir.filePath("sdi0.bgra"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), 4 * 48 * 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(int(bytes[i * 192]), 10 + i) << i;
}

TEST(SdiRecord, StoppingClosesTheRecordingAndTheNextPlaybackAppendsToIt) {
    QTemporaryDir dir;
    VirtualSdiCard card(test::manualCard({test::smallMode(25, 1)}));
    auto output = card.deviceAtIndex(0)->output();
    output->setRecordDirectory(dir.path().toStdString());
    ASSERT_EQ(output->enableAudioOutput(48000, 32, 2, true), SdiResult::ok);
    output->setAudioRequestHandler(
        [](std::int32_t* s, std::uint32_t frames, long long) { std::fill_n(s, 2 * frames, 3); });
    {
        test::PlaybackClient client(*output, output->displayModes()[0], SdiPixelFormat::bgra8);
        ASSERT_EQ(client.start(), SdiResult::ok);
        output->step(4);  // what the recorder's queue holds, so none is left out
        // The writer opens the picture's file and the sound's with their first bytes.
        test::waitFor([&] { return test::openFilesIn(dir.path()).size() == 2; });
    }
    EXPECT_EQ(test::openFilesIn(dir.path()), QStringList()) << "stopped, nothing is held open";
    EXPECT_EQ(QFileInfo(dir.filePath("sdi0.bgra")).size(), 4 * 192);
    EXPECT_EQ(QFileInfo(dir.filePath("sdi0.pcm")).size(), 4 * 1920 * 8);

    // Removed while stopped: its space is free, and the next playback writes a new file; the
    // sound's file, kept, is appended to, never begun again over the first take.
    ASSERT_TRUE(QFile::remove(dir.filePath("sdi0.bgra")));
    ASSERT_EQ(output->disableVideoOutput(), SdiResult::ok);
    ASSERT_EQ(output->disableAudioOutput(), SdiResult::ok);
    ASSERT_EQ(output->enableAudioOutput(48000, 32, 2, true), SdiResult::ok);
    test::PlaybackClient again(*output, output->displayModes()[0], SdiPixelFormat::bgra8);
    ASSERT_EQ(again.start(), SdiResult::ok);
    output->step(2);
    again.stopping_ = true;
    output->stopScheduledPlayback(0, nullptr, 25);
    EXPECT_EQ(QFileInfo(dir.filePath("sdi0.bgra")).size(), 2 * 192);
    EXPECT_EQ(QFileInfo(dir.filePath("sdi0.pcm")).size(), (4 + 2) * 1920 * 8);
    EXPECT_EQ(test::openFilesIn(dir.path()), QStringList());
}

}  // namespace
}  // namespace velmar
