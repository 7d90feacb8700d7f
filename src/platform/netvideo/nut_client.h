#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

struct AVFormatContext;
struct AVIOContext;

namespace velmar::netvideo {

// The picture format of a stream: a change ends every client's stream.
struct StreamFormat {
    int width = 0;
    int height = 0;
    int rateN = 0;
    int rateD = 0;
    friend bool operator==(const StreamFormat&, const StreamFormat&) = default;
};

// One packet waiting for a client: a compact BGRA picture or interleaved stereo float samples,
// shared by every client it was queued to, with the client's own timestamp.
struct QueuedPacket {
    std::shared_ptr<const std::vector<uint8_t>> data;
    bool isVideo = false;
    StreamFormat format;  // video only
    int64_t pts = 0;      // frames (video) or samples (audio) since the client joined
};

// One connected receiver on its non-blocking socket. Packets are muxed into NUT (rawvideo BGRA,
// pcm_f32le 48 kHz stereo) on the writer thread, one at a time, into a byte queue that is
// written out as the socket accepts it. Only the writer thread calls these members.
class NutClient {
  public:
    explicit NutClient(int fd);
    ~NutClient();
    NutClient(const NutClient&) = delete;
    NutClient& operator=(const NutClient&) = delete;

    int fd() const { return fd_; }
    bool hasPendingBytes() const { return pendingBytes_ > 0; }
    bool headerWritten() const { return mux_ != nullptr; }

    // Muxes one packet; the first video packet writes the stream header in its format. Audio
    // before the header is dropped. False when muxing failed (the client is dropped).
    bool mux(const QueuedPacket& packet);
    // Ends the stream: the trailer joins the byte queue; no packet is muxed afterwards.
    void end();
    bool ended() const { return ended_; }
    // Writes what the socket accepts now. False on a socket error or a closed peer.
    bool writeSome(std::chrono::steady_clock::time_point now);
    // Reads and discards what the peer sent, at most `allowance` bytes over the connection's
    // life (a receiver only reads). False when the peer closed, failed, or sent more.
    bool discardInput(size_t allowance);
    size_t inputBytes() const { return inputBytes_; }
    // Whether bytes have been waiting for longer than `limit` (only one packet is muxed at a
    // time, so a live peer empties the queue often).
    bool stalledFor(std::chrono::steady_clock::duration limit,
                    std::chrono::steady_clock::time_point now) const;

  private:
    static int writeCallback(void* opaque, uint8_t* data, int size);
    bool open(const StreamFormat& format);
    void append(const uint8_t* data, size_t size);

    int fd_;
    AVFormatContext* mux_ = nullptr;
    AVIOContext* io_ = nullptr;
    int videoIndex_ = 0;
    int audioIndex_ = 1;
    int rateN_ = 0;
    int rateD_ = 1;
    bool ended_ = false;
    std::deque<std::vector<uint8_t>> bytes_;
    size_t frontOffset_ = 0;
    size_t pendingBytes_ = 0;
    size_t inputBytes_ = 0;
    std::chrono::steady_clock::time_point lastProgress_;
};

}  // namespace velmar::netvideo
