// The recorder on its own: failed writes, the close limit on a fake clock, and a folder that
// cannot be written.
#include "platform/sdi/sdi_recorder.h"

#include "sdi_test_support.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "support/test_gate.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace velmar {
namespace {

constexpr std::size_t kFrameBytes = 64;

// Queues a frame whose bytes all hold `mark`.
void submit(SdiRecorder& recorder, std::uint8_t mark) {
    std::optional<std::vector<std::uint8_t>> buffer = recorder.reserveFrame(kFrameBytes);
    ASSERT_TRUE(buffer);
    std::fill(buffer->begin(), buffer->end(), mark);
    recorder.submitFrame(SdiPixelFormat::bgra8, std::move(*buffer));
}

TEST(SdiRecorder, AWriteThatFailsIsLeftOutNotCountedWritten) {
    QTemporaryDir dir;
    std::atomic<int> calls{0};
    // The second frame and the sound fail; the rest is written.
    auto write = [&](std::FILE* file, const void* bytes, std::size_t size) {
        const int call = calls++;
        if (call == 1 || size != kFrameBytes) return false;
        return std::fwrite(bytes, 1, size, file) == size;
    };
    SdiRecorder recorder(dir.path().toStdString(), 0, write, [](const std::string&) {});
    submit(recorder, 1);
    submit(recorder, 2);
    const std::vector<std::int32_t> sound(2 * 10, 7);
    ASSERT_TRUE(recorder.addAudio(sound.data(), 10));
    submit(recorder, 3);
    recorder.close();

    const SdiRecorder::Counts c = recorder.counts();
    EXPECT_EQ(c.framesWritten, 2);
    EXPECT_EQ(c.framesDropped, 1);
    EXPECT_EQ(c.audioFramesWritten, 0);
    EXPECT_EQ(c.audioFramesDropped, 10);
    QFile file(dir.filePath("sdi0.bgra"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), 2 * int(kFrameBytes));
    EXPECT_EQ(int(bytes[0]), 1);
    EXPECT_EQ(int(bytes[kFrameBytes]), 3);
}

TEST(SdiRecorder, WhatIsQueuedAtTheCloseLimitIsLeftOutAndCloseWaitsForTheFiles) {
    QTemporaryDir dir;
    test::FakeClock clock;
    test::TestGate disk;  // the first write hangs until the test opens it
    auto write = [&](std::FILE* file, const void* bytes, std::size_t size) {
        disk.pass();
        return std::fwrite(bytes, 1, size, file) == size && std::fflush(file) == 0;
    };
    std::mutex linesMutex;
    std::vector<std::string> lines;
    SdiRecorder recorder(
        dir.path().toStdString(), 0, write,
        [&](const std::string& line) {
            std::lock_guard lock(linesMutex);
            lines.push_back(line);
        },
        SdiRecorder::Files::begunAfresh, &clock);
    submit(recorder, 1);
    ASSERT_TRUE(disk.awaitWaiting(1));  // the first frame is being written
    submit(recorder, 2);
    submit(recorder, 3);
    const std::vector<std::int32_t> sound(2 * 100, 7);
    ASSERT_TRUE(recorder.addAudio(sound.data(), 100));

    // What close() saw when it returned.
    std::atomic<bool> closed{false};
    SdiRecorder::Counts atReturn;
    QStringList openAtReturn;
    std::thread closer([&] {
        recorder.close(std::chrono::milliseconds(3000));
        atReturn = recorder.counts();
        openAtReturn = test::openFilesIn(dir.path());
        closed = true;
    });
    // Time passes (from whenever close() began) until it gives up on the queue. The real-time
    // limit only ends a hang.
    const bool gaveUp = test::waitUntil(
        [&] {
            if (recorder.counts().framesDropped == 2) return true;
            clock.advance(0.5);
            return false;
        },
        60);
    EXPECT_FALSE(closed) << "returned while the writer still holds the files";
    disk.open();
    closer.join();
    ASSERT_TRUE(gaveUp) << "the queued frames were not counted as left out";

    EXPECT_EQ(atReturn.framesWritten, 1);
    EXPECT_EQ(atReturn.framesDropped, 2);
    EXPECT_EQ(atReturn.audioFramesDropped, 100);
    EXPECT_EQ(openAtReturn, QStringList());
    EXPECT_EQ(QFileInfo(dir.filePath("sdi0.bgra")).size(), qint64(kFrameBytes));
    std::lock_guard lock(linesMutex);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("1 frames written, 2 left out; 0 sample frames written, 100 left"),
              std::string::npos)
        << lines.back();
}

TEST(SdiRecorder, AFolderThatCannotBeWrittenIsItsProblemFromTheStart) {
    QTemporaryDir dir;
    // A path under a regular file is no folder, whoever runs the test (root writes anywhere).
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const std::string bad = dir.filePath("file/takes").toStdString();
    std::vector<std::string> lines;
    SdiRecorder recorder(bad, 0, {}, [&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(recorder.problem(), bad + ": Not a directory");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "velmar: cannot record into " + bad + ": Not a directory");
    submit(recorder, 1);
    recorder.close();
    EXPECT_EQ(recorder.counts().framesWritten, 0);
    EXPECT_EQ(recorder.counts().framesDropped, 1);
    EXPECT_EQ(lines.size(), 2u) << "the files that cannot be opened are not said again";

    SdiRecorder good(dir.path().toStdString(), 0, {}, [](const std::string&) {});
    EXPECT_EQ(good.problem(), "");
}

}  // namespace
}  // namespace velmar
