// The recorder on its own: failed writes, the close limit and grace on a fake clock, a folder
// that cannot be written, and a link, a pipe or another user's file planted at a file's name.
#include "platform/sdi/sdi_recorder.h"

#include "sdi_test_support.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "support/test_gate.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
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
    EXPECT_EQ(recorder.counts().framesDropped, 0) << "not recorded is not left out by the disk";
    EXPECT_EQ(lines.size(), 1u) << "the files that cannot be opened are not said again";

    SdiRecorder good(dir.path().toStdString(), 0, {}, [](const std::string&) {});
    good.close();  // the writer has looked at the folder
    EXPECT_EQ(good.problem(), "");
}

// Another user of a shared folder plants a pipe at one device's video name (no one reads it: an
// open that waits would wait for ever, with the sound queued behind), a link at the other's sound
// name (its target would be truncated) and a file of their own, writable by all, at a third's
// video name. Each is refused at once, left whole and said once; the device's other file is
// written.
TEST(SdiRecorder, APipeALinkOrAnotherUsersFileAtAFileNameIsRefusedAndTheOtherFileWritten) {
    QTemporaryDir dir, elsewhere;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 01777), 0);
    const auto path = [&](const char* name) { return dir.filePath(name).toStdString(); };
    const QString victim = elsewhere.filePath("victim.txt");
    QFile kept(victim);
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly) && kept.write("keep me") == 7);
    kept.close();
    ASSERT_EQ(::mkfifo(path("sdi0.bgra").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), path("sdi1.pcm").c_str()), 0);
    const std::vector<std::int32_t> sound(2 * 10, 7);
    // Records one frame and the sound on `device`, whose picture or sound file has `problem`,
    // said once; what the refused file would have held is not counted as left out.
    const auto record = [&](int device, bool pictureRefused, const std::string& problem) {
        std::vector<std::string> said;
        std::mutex mutex;
        SdiRecorder recorder(dir.path().toStdString(), device, {}, [&](const std::string& line) {
            std::lock_guard lock(mutex);
            said.push_back(line);
        });
        submit(recorder, 1);
        ASSERT_TRUE(recorder.addAudio(sound.data(), 10));
        ASSERT_TRUE(test::waitUntil(
            [&] {
                const SdiRecorder::Counts c = recorder.counts();
                return pictureRefused ? c.audioFramesWritten == 10 : c.framesWritten == 1;
            },
            60))
            << "the writer is held";
        recorder.close();
        const SdiRecorder::Counts c = recorder.counts();
        EXPECT_EQ(c.framesDropped + c.audioFramesDropped, 0);
        EXPECT_EQ(recorder.problem(), problem);
        std::lock_guard lock(mutex);
        EXPECT_EQ(std::count(said.begin(), said.end(), "velmar: cannot record into " + problem), 1);
    };
    record(0, true,
           path("sdi0.bgra") + ": not a regular file (a pipe, device or socket is in its place)");
    record(1, false, path("sdi1.pcm") + ": a symbolic link is in its place (not followed)");
    EXPECT_EQ(QFileInfo(dir.filePath("sdi0.pcm")).size(), qint64(sound.size() * 4));
    EXPECT_EQ(QFileInfo(dir.filePath("sdi1.bgra")).size(), qint64(kFrameBytes));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("keep me"));

    QFile theirs(dir.filePath("sdi2.bgra"));
    ASSERT_TRUE(theirs.open(QIODevice::WriteOnly) && theirs.write("theirs") == 6);
    theirs.close();
    ASSERT_EQ(::chmod(path("sdi2.bgra").c_str(), 0666), 0);
    if (::chown(path("sdi2.bgra").c_str(), 65534, 65534) != 0)
        GTEST_SKIP() << "another user's file needs root: " << std::strerror(errno);
    record(2, true, path("sdi2.bgra") + ": another user's file is in its place");
    ASSERT_TRUE(theirs.open(QIODevice::ReadOnly));
    EXPECT_EQ(theirs.readAll(), QByteArray("theirs"));
    EXPECT_EQ(QFileInfo(dir.filePath("sdi2.pcm")).size(), qint64(sound.size() * 4));
}

}  // namespace
}  // namespace velmar
