#include "platform/sdi/sdi_recorder.h"

#include "platform/base/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar {
namespace {

const char* extension(SdiPixelFormat format) {
    switch (format) {
        case SdiPixelFormat::bgra8:
            return "bgra";
        case SdiPixelFormat::v210:
            return "v210";
        case SdiPixelFormat::ay10:
            return "ay10";
    }
    return "raw";
}

bool writeToFile(std::FILE* file, const void* bytes, std::size_t size) {
    return std::fwrite(bytes, 1, size, file) == size && std::fflush(file) == 0;
}

// Why files cannot be made in `directory` (it is missing, not a folder, or not writable), or
// empty.
std::string folderProblem(const std::string& directory) {
    struct stat info {};
    if (::stat(directory.c_str(), &info) != 0) return directory + ": " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return directory + ": " + std::strerror(ENOTDIR);
    if (::access(directory.c_str(), W_OK | X_OK) != 0)
        return directory + ": " + std::strerror(errno);
    return {};
}

// How often close() looks at its clock while it waits for the writer.
constexpr std::chrono::milliseconds kCloseLook{20};

}  // namespace

// Shared with the writer thread, which outlives the recorder when a write hangs at close.
struct SdiRecorder::State {
    struct Item {
        bool video = false;
        SdiPixelFormat format = SdiPixelFormat::bgra8;
        std::vector<std::uint8_t> bytes;
        std::vector<std::int32_t> audio;
    };

    std::string directory;
    std::string base;  // DIR/sdiI.
    Files files = Files::begunAfresh;
    Write write;
    Report report;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Item> queue;
    std::size_t framesHeld = 0;  // reserved, queued or being written
    long long audioHeld = 0;     // sample frames queued or being written
    bool writing = false;
    bool closing = false;
    bool finished = false;                         // the files are closed
    std::string problem;                           // the first reason nothing could be written
    std::vector<std::vector<std::uint8_t>> spare;  // frame buffers to use again
    Counts counts;

    // The writer thread's own.
    std::map<SdiPixelFormat, std::FILE*> videoFiles;
    std::FILE* audioFile = nullptr;
    std::map<std::string, bool> failedOpens;

    // Taken under the lock: close() lets go of the owner's report when it leaves the writer
    // behind, whose lines then go to stderr.
    void say(const std::string& line) {
        Report to;
        {
            std::lock_guard lock(mutex);
            to = report;
        }
        tell(to, line);
    }

    static void tell(const Report& to, const std::string& line) {
        if (to) {
            to(line);
        } else {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
    }

    // Keeps the first problem and says it; later ones would only repeat its consequence.
    void fail(const std::string& what) {
        {
            std::lock_guard lock(mutex);
            if (!problem.empty()) return;
            problem = what;
        }
        say("velmar: cannot record into " + what);
    }

    // Opens `path` once; a file that cannot be opened is not tried again. The folder may be one
    // others can write to, so only a regular file of this user is written: a link at the name is
    // not followed (its target would be truncated), a pipe or device there is refused at once
    // instead of holding the writer, and the files queued behind it, in open() for ever, and
    // another user's file there is left whole (it is truncated only once its owner is known).
    std::FILE* fileFor(const std::string& path, std::FILE*& file) {
        if (file == nullptr && !failedOpens[path]) {
            const bool append = files == Files::appended;
            const QByteArray native = QByteArray::fromStdString(path);
            const int flags = O_WRONLY | (append ? O_APPEND : 0);
            // A file already there is opened as it is, and one is made only where nothing is: in
            // a sticky folder the system may refuse another user's file to an open that could
            // create, for a reason that would not say whose the file is.
            RegularFile opened = RegularFile::open(native, flags, RegularFile::Links::refuse);
            if (!opened.isOpen() && opened.error() == ENOENT) {
                opened = RegularFile::open(native, flags | O_CREAT | O_EXCL,
                                           RegularFile::Links::refuse, 0666);
            }
            std::string why;
            struct stat info {};
            if (!opened.isOpen()) {
                why = opened.error() == ELOOP ? "a symbolic link is in its place (not followed)"
                                              : opened.errorString().toStdString();
            } else if (::fstat(opened.fd(), &info) != 0) {
                why = std::strerror(errno);
            } else if (info.st_uid != ::geteuid()) {
                why = "another user's file is in its place";
            } else if (!append && ::ftruncate(opened.fd(), 0) != 0) {
                why = std::strerror(errno);
            } else {
                file = ::fdopen(opened.fd(), append ? "ab" : "wb");
                if (file != nullptr) {
                    opened.release();
                } else {
                    why = std::strerror(errno);
                }
            }
            if (file == nullptr) {
                failedOpens[path] = true;
                fail(path + ": " + why);
            }
        }
        return file;
    }

    // What became of an item: written, not recorded because its file was refused (told once
    // when it was), or left out by a write that failed.
    enum class Put { written, refused, failed };

    Put put(const Item& item) {
        const std::string path = base + (item.video ? extension(item.format) : "pcm");
        std::FILE* file = fileFor(path, item.video ? videoFiles[item.format] : audioFile);
        if (file == nullptr) return Put::refused;
        errno = 0;
        const bool ok =
            item.video ? write(file, item.bytes.data(), item.bytes.size())
                       : write(file, item.audio.data(), item.audio.size() * sizeof(std::int32_t));
        if (ok) return Put::written;
        // A full disk or a failing one: the take stops being whole from here.
        const int error = errno;
        fail(path + ": " + (error != 0 ? std::strerror(error) : "write failed"));
        return Put::failed;
    }

    void run() {
        // Here, not where the recorder is made: a folder on a mount that no longer answers
        // blocks whoever looks at it, and the recorder is made on the main thread.
        const std::string folder = folderProblem(directory);
        if (!folder.empty()) fail(folder);
        std::unique_lock lock(mutex);
        while (true) {
            changed.wait(lock, [&] { return !queue.empty() || closing; });
            if (queue.empty()) break;
            Item item = std::move(queue.front());
            queue.pop_front();
            writing = true;
            lock.unlock();
            const Put done = put(item);
            lock.lock();
            writing = false;
            // What a refused file would have held is no loss of the disk's: it is not counted
            // with what was left out.
            const bool ok = done == Put::written;
            if (item.video) {
                --framesHeld;
                if (done != Put::refused) ++(ok ? counts.framesWritten : counts.framesDropped);
                if (spare.size() < kQueueFrames) spare.push_back(std::move(item.bytes));
            } else {
                const auto frames = static_cast<long long>(item.audio.size() / 2);
                audioHeld -= frames;
                if (done != Put::refused)
                    (ok ? counts.audioFramesWritten : counts.audioFramesDropped) += frames;
            }
            changed.notify_all();
        }
        lock.unlock();
        for (auto& [format, file] : videoFiles) {
            if (file != nullptr) std::fclose(file);
        }
        videoFiles.clear();
        if (audioFile != nullptr) std::fclose(audioFile);
        audioFile = nullptr;
        lock.lock();
        finished = true;
        changed.notify_all();
    }
};

SdiRecorder::SdiRecorder(std::string directory, int deviceIndex, Write write, Report report,
                         Files files, const HostClock* clock)
    : state_(std::make_shared<State>()), clock_(clock ? *clock : HostClock::system()) {
    state_->files = files;
    state_->base = directory + "/sdi" + std::to_string(deviceIndex) + ".";
    state_->directory = std::move(directory);
    state_->write = write ? std::move(write) : Write(writeToFile);
    state_->report = std::move(report);
    std::thread([state = state_] { state->run(); }).detach();
}

SdiRecorder::~SdiRecorder() {
    close();
}

std::optional<std::vector<std::uint8_t>> SdiRecorder::reserveFrame(std::size_t size) {
    std::vector<std::uint8_t> buffer;
    {
        std::lock_guard lock(state_->mutex);
        if (closed_) return std::nullopt;
        if (state_->framesHeld >= kQueueFrames) {
            ++state_->counts.framesDropped;
        } else {
            ++state_->framesHeld;
            if (!state_->spare.empty()) {
                buffer = std::move(state_->spare.back());
                state_->spare.pop_back();
            }
            buffer.resize(size);
            return buffer;
        }
    }
    reportDrop();
    return std::nullopt;
}

void SdiRecorder::submitFrame(SdiPixelFormat format, std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(state_->mutex);
    if (closed_) return;
    State::Item item;
    item.video = true;
    item.format = format;
    item.bytes = std::move(bytes);
    state_->queue.push_back(std::move(item));
    state_->changed.notify_all();
}

bool SdiRecorder::addAudio(const std::int32_t* interleaved, std::uint32_t frames) {
    if (interleaved == nullptr || frames == 0) return true;
    {
        std::lock_guard lock(state_->mutex);
        if (closed_) return false;
        if (state_->audioHeld + frames <= kQueueAudioFrames) {
            State::Item item;
            item.audio.assign(interleaved, interleaved + static_cast<std::size_t>(frames) * 2);
            state_->audioHeld += frames;
            state_->queue.push_back(std::move(item));
            state_->changed.notify_all();
            return true;
        }
        state_->counts.audioFramesDropped += frames;
    }
    reportDrop();
    return false;
}

void SdiRecorder::reportDrop() {
    const double now = clock_.now();
    if (lastReport_ && now - *lastReport_ < 1.0) return;
    const Counts c = counts();
    const long long frames = c.framesDropped - framesAtLastReport_;
    const long long audio = c.audioFramesDropped - audioAtLastReport_;
    lastReport_ = now;
    framesAtLastReport_ = c.framesDropped;
    audioAtLastReport_ = c.audioFramesDropped;
    state_->say("velmar: " + state_->base + "* recording: the disk cannot keep up; left out " +
                std::to_string(frames) + " frames and " + std::to_string(audio) +
                " sample frames since the last report (" + std::to_string(c.framesDropped) +
                " frames in all)");
}

void SdiRecorder::close(std::chrono::milliseconds limit) {
    if (closed_) return;
    const double deadline = clock_.now() + std::chrono::duration<double>(limit).count();
    std::unique_lock lock(state_->mutex);
    closed_ = true;
    state_->closing = true;
    state_->changed.notify_all();
    // Waits until `done` holds or the recorder's clock, which need not be the steady one,
    // reaches `until`; the writer tells each step, and the clock is looked at between.
    const auto waitUntil = [&](double until, const auto& done) {
        while (!done()) {
            const double left = until - clock_.now();
            if (left <= 0) return;
            state_->changed.wait_for(lock, std::min<std::chrono::duration<double>>(
                                               std::chrono::duration<double>(left), kCloseLook));
        }
    };
    waitUntil(deadline, [&] { return state_->queue.empty() && !state_->writing; });
    // What the writer could not finish in time stays out of the recording.
    for (const State::Item& item : state_->queue) {
        if (item.video) {
            --state_->framesHeld;
            ++state_->counts.framesDropped;
        } else {
            const auto frames = static_cast<long long>(item.audio.size() / 2);
            state_->audioHeld -= frames;
            state_->counts.audioFramesDropped += frames;
        }
    }
    state_->queue.clear();
    state_->changed.notify_all();
    // The writer closes the files once the write under way (if any) returns. Waited for, so
    // that the files are whole and free when the playback has stopped, and a next recorder
    // appends after the last frame of this one; but only for kCloseGrace more, as a write to a
    // disk or mount that stopped answering may never return, and the caller may be what the
    // main thread waits for.
    waitUntil(clock_.now() + std::chrono::duration<double>(kCloseGrace).count(),
              [&] { return state_->finished; });
    const bool leftBehind = !state_->finished;
    const Report owner = state_->report;
    // The writer keeps the state and closes the files when its write returns; nothing it says
    // from then on reaches the owner, who may be gone.
    if (leftBehind) state_->report = nullptr;
    const Counts c = state_->counts;
    lock.unlock();
    if (leftBehind) {
        State::tell(owner, "velmar: " + state_->base +
                               "* recording: a write has not returned; the files are closed "
                               "when it does");
    }
    if (c.framesDropped > 0 || c.audioFramesDropped > 0) {
        State::tell(owner, "velmar: " + state_->base + "* recording closed: " +
                               std::to_string(c.framesWritten) + " frames written, " +
                               std::to_string(c.framesDropped) + " left out; " +
                               std::to_string(c.audioFramesWritten) + " sample frames written, " +
                               std::to_string(c.audioFramesDropped) + " left out");
    }
}

SdiRecorder::Counts SdiRecorder::counts() const {
    std::lock_guard lock(state_->mutex);
    return state_->counts;
}

std::string SdiRecorder::problem() const {
    std::lock_guard lock(state_->mutex);
    return state_->problem;
}

}  // namespace velmar
