#pragma once

#include "platform/base/host_clock.h"
#include "platform/sdi/sdi_pixel_format.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

// Writes what one output plays into raw files in a folder: DIR/sdiI.bgra, .v210, .ay10 (tight
// rows, one frame after another) and DIR/sdiI.pcm (s32le interleaved stereo). The first
// recorder of an output in a process begins each file afresh; later ones (the output started
// again) append, so a restart never overwrites the take before it.
//
// The writing runs on a thread of its own behind a short queue, so that a disk slower than the
// picture never holds up the card's clock: the queue holds at most kQueueFrames frames (the one
// being written included) and kQueueAudioFrames sample frames; what does not fit is left out of
// the recording and counted, and a line on stderr says so at most once a second while it lasts.
// close() writes what is queued for a bounded time, closes the files and says how much was left
// out in all. A folder that cannot be written, a file in it that cannot be opened (a link at its
// name is not followed, and only a regular file of this user is written), or a write that fails
// is kept as the recording's problem(), and what was meant for it is left out.
// Methods are for one thread (the card's), apart from counts() and problem().
class SdiRecorder {
  public:
    // Writes `size` bytes to `file`; false when they could not be written. Runs on the writer
    // thread; tests replace it to slow the disk down.
    using Write = std::function<bool(std::FILE* file, const void* bytes, std::size_t size)>;
    // Receives the lines about what was left out (stderr when empty).
    using Report = std::function<void(const std::string& line)>;

    static constexpr std::size_t kQueueFrames = 4;
    static constexpr long long kQueueAudioFrames = 10 * 48000;  // ten seconds of sound
    static constexpr std::chrono::milliseconds kCloseLimit{3000};
    // How much longer close() waits for the write under way when the queue's time is up. One
    // frame of the largest picture takes a working disk well under this; a write that takes
    // longer is stuck, and whoever closes (the main thread stopping the output) must not be.
    static constexpr std::chrono::milliseconds kCloseGrace{1000};

    struct Counts {
        long long framesWritten = 0;
        // Left out: the queue was full, or the write failed. What a file refused at its name
        // would have held is in neither count.
        long long framesDropped = 0;
        long long audioFramesWritten = 0;
        long long audioFramesDropped = 0;
    };

    enum class Files { begunAfresh, appended };

    // The clock times the close limit and the reports (the system's when null).
    SdiRecorder(std::string directory, int deviceIndex, Write write = {}, Report report = {},
                Files files = Files::begunAfresh, const HostClock* clock = nullptr);
    // Closes with kCloseLimit.
    ~SdiRecorder();

    SdiRecorder(const SdiRecorder&) = delete;
    SdiRecorder& operator=(const SdiRecorder&) = delete;

    // A buffer of `size` bytes for the next frame, holding its place in the queue; nothing when
    // the queue is full, and the frame counts as left out. Never waits. The buffer goes back
    // through submitFrame().
    std::optional<std::vector<std::uint8_t>> reserveFrame(std::size_t size);
    void submitFrame(SdiPixelFormat format, std::vector<std::uint8_t> bytes);
    // Queues `frames` interleaved stereo sample frames; false (and counted) when they do not fit.
    bool addAudio(const std::int32_t* interleaved, std::uint32_t frames);

    // Lets the writer finish the queue for at most `limit`, leaves out (and counts) what is still
    // queued then, and returns once the writer has closed the files: at once when it is done,
    // otherwise as soon as its write under way returns, but after kCloseGrace more at most. A
    // write still under way then is left to the writer, which closes the files (and counts the
    // frame) when it returns; the report says so. Reports the totals left out. Later items are
    // ignored.
    void close(std::chrono::milliseconds limit = kCloseLimit);

    Counts counts() const;
    // Why nothing (or not everything) is recorded: the folder, or the first file that could not
    // be opened or written, with the system's reason; empty while all is well. The writer checks
    // the folder before anything else, soon after the recorder is made (never on the caller's
    // thread, which a mount that no longer answers would block).
    std::string problem() const;

  private:
    struct State;
    void reportDrop();

    std::shared_ptr<State> state_;
    const HostClock& clock_;
    std::optional<double> lastReport_;
    long long framesAtLastReport_ = 0;
    long long audioAtLastReport_ = 0;
    bool closed_ = false;
};

}  // namespace velmar
