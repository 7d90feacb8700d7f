#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVStream;
struct SwsContext;

namespace velmar {

// One movie file opened for demultiplexing, the way the player and the media loader both open
// it, so that a poster and the first frame played from the same file are the same picture.
//
// The file is opened by our own I/O: without blocking, and checked to be a regular file on the
// very descriptor that is read (a FIFO, a device or a folder is never read). Every read and
// every FFmpeg wait asks the interrupt callback, which says stop once the armed deadline (or
// the overall one) has passed or the stop flag is set. Paths are the file system's bytes
// (UTF-8 here, as `QFile::encodeName` gives them).
//
// Used by one thread at a time.
class MovieSource {
  public:
    enum class Status { ok, notRegularFile, timedOut, unreadable };
    using Clock = std::chrono::steady_clock;

    // `stop`, when given, interrupts every wait once set (from any thread); no wait runs past
    // `overallSeconds` from now.
    explicit MovieSource(const std::atomic<bool>* stop = nullptr, double overallSeconds = 1.0e9);
    ~MovieSource();
    MovieSource(const MovieSource&) = delete;
    MovieSource& operator=(const MovieSource&) = delete;

    // Opens the file and reads its stream information, both within `seconds`.
    Status open(const std::string& path, double seconds);

    // The next waits must end within `seconds` (and within the overall deadline).
    void arm(double seconds);
    // True once the armed deadline has passed or the stop flag is set; stays so until `arm`.
    bool interrupted();
    double remainingSeconds() const;

    AVFormatContext* format() const { return format_; }
    // False for the demuxers of single pictures and picture sequences: those are no movies.
    bool isMovie() const;
    bool hasAudioOrVideo() const;
    // The first video track that is a picture sequence (cover art does not count); -1 if none,
    // and always -1 when the file is no movie.
    int videoStream() const;

    // A decoder for the stream, opened; null when none exists or it does not open. `threads`
    // 0 lets the decoder run one thread per usable core.
    static AVCodecContext* openDecoder(const AVStream* stream, int threads);

    // A converter from frames like `source` to `width` x `height` of `format` (packed RGB),
    // with the one colour rule of the player and the loader: the stream's own matrix and range
    // when it names them; untagged pictures 720 lines and higher are BT.709, smaller ones
    // BT.601; limited range unless the stream says full or the pixel format is a full-range
    // (J) format. Callers that must agree ask for the same `format` (BGRA): swscale may round
    // differently for different packed orders. Null on failure; free with sws_freeContext.
    static SwsContext* makeConverter(const AVFrame* source, int width, int height,
                                     AVPixelFormat format, int threads);
    // Cores this process may run on (its CPU affinity), at least 1.
    static int usableCores();

    // For tests: runs before every read from a movie file (to simulate a slow or stalled disk).
    static void setReadHookForTesting(std::function<void()> hook);

  private:
    static int interruptCallback(void* opaque);
    static int read(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence);

    const std::atomic<bool>* stop_;
    Clock::time_point overall_;
    Clock::time_point deadline_;
    bool interrupted_ = false;
    std::shared_ptr<const std::function<void()>> hook_;
    int fd_ = -1;
    std::int64_t size_ = 0;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
};

}  // namespace velmar
