// The recorder on its own: failed writes, the close limit and grace on a fake clock, a folder
// that cannot be written, and a link or a pipe planted at a file's name.
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
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

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

TEST(SdiRecorder, AWriteThatFailsIsLeftOutNotCountedWrittenAndIsTheProblem) {
    QTemporaryDir dir;
    std::atomic<int> calls{0};
    // The second frame fails as on a full disk, then the sound fails; the rest is written.
    auto write = [&](std::FILE* file, const void* bytes, std::size_t size) {
        const int call = calls++;
        if (call == 1) {
            errno = ENOSPC;
            return false;
        }
        if (size != kFrameBytes) return false;
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
    EXPECT_EQ(recorder.problem(),
              dir.filePath("sdi0.bgra").toStdString() + ": " + std::strerror(ENOSPC))
        << "the first failure, with its reason";
    QFile file(dir.filePath("sdi0.bgra"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_EQ(bytes.size(), 2 * int(kFrameBytes));
    EXPECT_EQ(int(bytes[0]), 1);
    EXPECT_EQ(int(bytes[kFrameBytes]), 3);
}

// A recorder on the fake clock whose first write hangs until the test opens the disk, and
// close() run on a thread of its own.
class SdiRecorderClosing : public testing::Test {
  protected:
    ~SdiRecorderClosing() override {
        disk.open();  // ends a hang too
        if (closer.joinable()) closer.join();
    }

    void startClosing() {
        closer = std::thread([this] {
            recorder.close(std::chrono::milliseconds(3000));
            returnedAt = clock.now();
            atReturn = recorder.counts();
            openAtReturn = test::openFilesIn(dir.path());
            closed = true;
        });
    }
    // Moves the clock on by `step` until `condition` holds. The real-time limit only ends a hang.
    bool advanceUntil(const std::function<bool()>& condition, double step) {
        return test::waitUntil(
            [&] {
                if (condition()) return true;
                clock.advance(step);
                return false;
            },
            60);
    }
    std::vector<std::string> said() {
        std::lock_guard lock(linesMutex);
        return lines;
    }

    QTemporaryDir dir;
    test::FakeClock clock;
    test::TestGate disk;
    std::mutex linesMutex;
    std::vector<std::string> lines;
    SdiRecorder recorder{dir.path().toStdString(),
                         0,
                         [this](std::FILE* file, const void* bytes, std::size_t size) {
                             disk.pass();
                             return std::fwrite(bytes, 1, size, file) == size &&
                                    std::fflush(file) == 0;
                         },
                         [this](const std::string& line) {
                             std::lock_guard lock(linesMutex);
                             lines.push_back(line);
                         },
                         SdiRecorder::Files::begunAfresh,
                         &clock};

    // What close() saw when it returned.
    std::thread closer;
    std::atomic<bool> closed{false};
    double returnedAt = 0;
    SdiRecorder::Counts atReturn;
    QStringList openAtReturn;
};

TEST_F(SdiRecorderClosing, WhatIsQueuedAtTheCloseLimitIsLeftOutAndCloseWaitsForTheFiles) {
    submit(recorder, 1);
    ASSERT_TRUE(disk.awaitWaiting(1));  // the first frame is being written
    submit(recorder, 2);
    submit(recorder, 3);
    const std::vector<std::int32_t> sound(2 * 100, 7);
    ASSERT_TRUE(recorder.addAudio(sound.data(), 100));

    startClosing();
    // Time passes (from whenever close() began) until it gives up on the queue.
    const bool gaveUp = advanceUntil([&] { return recorder.counts().framesDropped == 2; }, 0.5);
    EXPECT_FALSE(closed) << "returned while the writer still holds the files";
    disk.open();
    closer.join();
    ASSERT_TRUE(gaveUp) << "the queued frames were not counted as left out";

    EXPECT_EQ(atReturn.framesWritten, 1);
    EXPECT_EQ(atReturn.framesDropped, 2);
    EXPECT_EQ(atReturn.audioFramesDropped, 100);
    EXPECT_EQ(openAtReturn, QStringList());
    EXPECT_EQ(QFileInfo(dir.filePath("sdi0.bgra")).size(), qint64(kFrameBytes));
    const std::vector<std::string> lines = said();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("1 frames written, 2 left out; 0 sample frames written, 100 left"),
              std::string::npos)
        << lines.back();
}

TEST_F(SdiRecorderClosing, AWriteThatNeverReturnsIsLeftToTheWriterAfterTheGrace) {
    submit(recorder, 1);
    ASSERT_TRUE(disk.awaitWaiting(1));
    submit(recorder, 2);  // left out when the queue's time is up

    startClosing();
    ASSERT_TRUE(advanceUntil([&] { return recorder.counts().framesDropped == 1; }, 0.5));
    // At most one step of 0.5 s went by since close() gave up on the queue.
    const double queueGivenUp = clock.now();
    ASSERT_TRUE(advanceUntil([&] { return bool(closed); }, 0.25))
        << "close() waits for the stuck write without limit";
    EXPECT_GE(returnedAt, queueGivenUp + 0.5) << "no grace for the write under way";
    EXPECT_EQ(openAtReturn, QStringList{QFileInfo(dir.filePath("sdi0.bgra")).canonicalFilePath()})
        << "still the writer's";
    const std::vector<std::string> lines = said();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("a write has not returned"), std::string::npos) << lines[0];

    // The write returns: the writer counts its frame and closes the file.
    disk.open();
    test::waitFor([&] { return test::openFilesIn(dir.path()).isEmpty(); });
    EXPECT_EQ(recorder.counts().framesWritten, 1);
    EXPECT_EQ(QFileInfo(dir.filePath("sdi0.bgra")).size(), qint64(kFrameBytes));
}

TEST(SdiRecorder, AFolderThatCannotBeWrittenIsItsProblemFromTheStart) {
    QTemporaryDir dir;
    // A path under a regular file is no folder, whoever runs the test (root writes anywhere).
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const std::string bad = dir.filePath("file/takes").toStdString();
    std::mutex linesMutex;  // the writer says the problem
    std::vector<std::string> lines;
    SdiRecorder recorder(bad, 0, {}, [&](const std::string& line) {
        std::lock_guard lock(linesMutex);
        lines.push_back(line);
    });
    // Known before anything is written.
    ASSERT_TRUE(test::waitUntil([&] { return !recorder.problem().empty(); }, 60));
    EXPECT_EQ(recorder.problem(), bad + ": Not a directory");
    {
        std::lock_guard lock(linesMutex);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], "velmar: cannot record into " + bad + ": Not a directory");
    }
    submit(recorder, 1);
    recorder.close();
    EXPECT_EQ(recorder.counts().framesWritten, 0);
    EXPECT_EQ(recorder.counts().framesDropped, 1);
    EXPECT_EQ(lines.size(), 2u) << "the files that cannot be opened are not said again";

    SdiRecorder good(dir.path().toStdString(), 0, {}, [](const std::string&) {});
    good.close();  // the writer has looked at the folder
    EXPECT_EQ(good.problem(), "");
}

// Another user of a shared folder plants things at the recorder's names before it starts.
class SdiRecorderPlanted : public testing::Test {
  protected:
    std::vector<std::string> said() {
        std::lock_guard lock(linesMutex);
        return lines;
    }
    // Waits until the writer has dealt with `frames` frames and `audio` sample frames, written
    // or left out; the real-time limit only ends a hang.
    bool settled(SdiRecorder& recorder, long long frames, long long audio) {
        return test::waitUntil(
            [&] {
                const SdiRecorder::Counts c = recorder.counts();
                return c.framesWritten + c.framesDropped == frames &&
                       c.audioFramesWritten + c.audioFramesDropped == audio;
            },
            60);
    }
    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }

    QTemporaryDir dir;
    std::mutex linesMutex;
    std::vector<std::string> lines;
    SdiRecorder::Report report = [this](const std::string& line) {
        std::lock_guard lock(linesMutex);
        lines.push_back(line);
    };
    const std::vector<std::int32_t> sound = std::vector<std::int32_t>(2 * 10, 7);
};

TEST_F(SdiRecorderPlanted, ALinkIsNotFollowedItsTargetIsKeptAndItIsSaidOnce) {
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim.txt");
    {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    ASSERT_EQ(::symlink(victim.toLocal8Bit().constData(), path("sdi0.pcm").c_str()), 0);

    SdiRecorder recorder(dir.path().toStdString(), 0, {}, report);
    submit(recorder, 1);
    ASSERT_TRUE(recorder.addAudio(sound.data(), 10));
    ASSERT_TRUE(recorder.addAudio(sound.data(), 10));
    ASSERT_TRUE(settled(recorder, 1, 20));
    recorder.close();

    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("keep me"));
    EXPECT_EQ(QFileInfo(dir.filePath("sdi0.pcm")).symLinkTarget(), victim);
    EXPECT_EQ(recorder.counts().audioFramesDropped, 20);
    EXPECT_EQ(QFileInfo(dir.filePath("sdi0.bgra")).size(), qint64(kFrameBytes))
        << "the video is recorded all the same";
    const std::string problem = recorder.problem();
    EXPECT_EQ(problem.rfind(path("sdi0.pcm") + ": ", 0), 0u) << problem;
    EXPECT_NE(problem.find("link"), std::string::npos) << problem;
    const std::vector<std::string> lines = said();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "velmar: cannot record into " + problem);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), lines[0]), 1);
}

TEST_F(SdiRecorderPlanted, APipeAtTheVideoNameIsRefusedAtOnceAndTheSoundIsStillWritten) {
    // No one reads it: opening it to write and waiting would wait for ever.
    ASSERT_EQ(::mkfifo(path("sdi0.bgra").c_str(), 0600), 0);

    SdiRecorder recorder(dir.path().toStdString(), 0, {}, report);
    submit(recorder, 1);
    ASSERT_TRUE(recorder.addAudio(sound.data(), 10));
    ASSERT_TRUE(settled(recorder, 1, 10)) << "the writer is held by the pipe";
    recorder.close();

    EXPECT_EQ(recorder.counts().framesDropped, 1);
    EXPECT_EQ(recorder.counts().audioFramesWritten, 10);
    EXPECT_EQ(QFileInfo(dir.filePath("sdi0.pcm")).size(),
              qint64(sound.size() * sizeof(std::int32_t)));
    const std::string problem = recorder.problem();
    EXPECT_EQ(problem.rfind(path("sdi0.bgra") + ": not a regular file", 0), 0u) << problem;
    const std::vector<std::string> lines = said();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "velmar: cannot record into " + problem);
}

}  // namespace
}  // namespace velmar
