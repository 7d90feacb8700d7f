#pragma once

#include "platform/netvideo/netvideo_api.h"
#include "platform/netvideo/nut_client.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace velmar::netvideo {

// Counters of the whole runtime, read by the exported test hook.
struct RuntimeCounters {
    std::atomic<int64_t> contractViolations{0};
    std::atomic<int64_t> videoFramesAccepted{0};
    std::atomic<int64_t> videoFramesRefused{0};
    std::atomic<int64_t> audioFramesAccepted{0};
    std::atomic<int64_t> receiversRefused{0};
    std::atomic<int64_t> receiversDropped{0};
    std::atomic<int64_t> writerRests{0};
    std::atomic<int64_t> queuedAudioFrames{0};
    std::atomic<int> lastWidth{0}, lastHeight{0}, lastRateN{0}, lastRateD{0};
    static RuntimeCounters& shared();
};

// Exported beside the runtime's entry point: after a sender could not be made, the address
// folder that was refused (another user's, a link, or open to others) is copied into `buffer`
// (cut to fit, always terminated) and forgotten. Answers the folder's full length; 0 when the
// last attempt on the calling thread failed for another reason or did not fail.
inline constexpr const char* kNetVideoRefusedFolderHook = "velmar_netvideo_take_refused_folder";
using NetVideoRefusedFolderFunction = size_t (*)(char* buffer, size_t size);

// One named sender: listens on 127.0.0.1 (port from VELMAR_NETVIDEO_PORT, else any), writes
// "127.0.0.1:PORT" to "<name>.netvideo" in a folder of this user closed to others
// ($XDG_RUNTIME_DIR, else velmar-netvideo-<uid> under $TMPDIR or /tmp), and serves the frames
// sent from now on to at most kNetVideoMaxReceivers clients (more are closed at once). A send
// copies the picture once into a shared buffer and queues it for each client (at most two
// pictures and two seconds of audio each, the oldest picture skipped first); it never waits for
// a client. One writer thread muxes and writes to all clients on non-blocking sockets, and drops
// a client that takes nothing for two seconds or sends more than a receiver ever would. A client
// that shuts its sending side goes on receiving: only a hang-up (a failed write, or the socket's
// hang-up or error state) ends it.
class NetVideoSender {
  public:
    // Null when the socket cannot be opened.
    static std::unique_ptr<NetVideoSender> create(const std::string& name);
    ~NetVideoSender();
    NetVideoSender(const NetVideoSender&) = delete;
    NetVideoSender& operator=(const NetVideoSender&) = delete;

    // A null frame only settles the frame lent before.
    void sendVideo(const VelmarNetVideoVideoFrame* frame);
    void sendAudio(const VelmarNetVideoAudioFrame& frame);
    int connectionCount() const { return connections_.load(); }
    int port() const { return port_; }

  private:
    struct Client {
        std::unique_ptr<NutClient> stream;
        std::deque<QueuedPacket> queue;  // guarded by mutex_
        bool started = false;            // a picture was queued since the client joined
        bool ending = false;             // the format changed: trailer, then close
        bool inputEnded = false;         // it shut its sending side (writer thread only)
        int64_t videoPts = 0;
        int64_t audioPts = 0;
        int64_t queuedAudio = 0;
    };

    // Why the writer lets a client go.
    enum class Drop { none, closed, stalled, talked };

    NetVideoSender(int listenFd, int port, int wakeRead, int wakeWrite, int folderFd,
                   std::string addressFile, dev_t fileDevice, ino_t fileInode);
    void run();
    void wake();
    void acceptClients(std::chrono::steady_clock::time_point now);
    // Reads what the client sent and muxes and writes what it can for it.
    Drop serve(Client& client, short revents, std::chrono::steady_clock::time_point now);
    Drop pump(Client& client, std::chrono::steady_clock::time_point now);
    void settleLentFrame();
    std::shared_ptr<std::vector<uint8_t>> frameBuffer(size_t size);
    void updateCountLocked();
    // Changes the audio queued for a client, and the runtime's count with it (under mutex_, or
    // once the writer has ended).
    void countQueuedAudio(Client& client, int64_t frames);

    int listenFd_;
    int port_;
    int wakeRead_;
    int wakeWrite_;
    int folderFd_;             // the address file's folder, checked as ours when opened
    std::string addressFile_;  // its name in that folder
    dev_t fileDevice_;         // the file as written: removed at the end only while it is this one
    ino_t fileInode_;
    // After accept failed for want of descriptors or memory, the listening socket is left
    // alone until then (it stays readable, and polling it would spin). Writer thread only.
    std::chrono::steady_clock::time_point acceptPausedUntil_;
    std::atomic<int> connections_{0};
    std::atomic<bool> stopping_{false};

    std::mutex sendMutex_;  // one send at a time: the lent frame and the buffer pool
    const uint8_t* lentData_ = nullptr;
    int lentRowBytes_ = 0;
    int lentStride_ = 0;
    int lentHeight_ = 0;
    // The digest of the copy made at the send: the lent bytes must still give it at the next
    // send or flush.
    uint64_t lentDigest_ = 0;
    std::vector<std::shared_ptr<std::vector<uint8_t>>> pool_;
    StreamFormat format_;

    mutable std::mutex mutex_;  // the client list and queues
    std::vector<std::shared_ptr<Client>> clients_;
    std::thread writer_;
};

}  // namespace velmar::netvideo
