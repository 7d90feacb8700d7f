#pragma once

#include "platform/netvideo/netvideo_api.h"

#include <QString>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

// Publishes the program as one network-video source through the runtime library, which is
// loaded once per process at run time. Sends BGRA pictures asynchronously (the runtime may read
// a picture until the next picture or flush) and planar float audio (copied at once), and counts
// the receivers. Failures of `startWithName` leave a string key in `errorMessage`, which the
// caller looks up to show it; only a refused address folder, named in the text, leaves the
// message already looked up (a lookup of it gives it back). Sends with bad arguments, without a
// runtime or without a sender do nothing.
//
// Threads: `sender_` is read and written only under `lock_`, held around each runtime call that
// uses it, so counting on the main thread and sending on the send queue may overlap; `stop`
// takes the sender out under the lock and destroys it outside. `errorMessage` belongs to the
// thread that starts.
class ZRNDIBridge {
  public:
    // A loaded runtime: its call table, the library's path and handle.
    struct Runtime {
        const VelmarNetVideoApi* api = nullptr;
        std::string path;
        void* handle = nullptr;
    };

    // Where the runtime is looked for, in order: the folder named by "NDI_RUNTIME_DIR_V6" when
    // set and not empty, the program's own folder, /usr/local/lib.
    static std::vector<std::string> runtimeCandidates();
    // Tries each candidate that exists: opens it, calls its entry, and takes the first whose
    // table is of this version and initializes; the others are closed again.
    static std::optional<Runtime> loadRuntime(const std::vector<std::string>& candidates);
    // The path of the process's runtime, loaded on first use; empty when none was found.
    static std::optional<std::string> runtimePath();
    static QString runtimeMissingMessage();

    // Uses the process's runtime (loaded at the first start).
    ZRNDIBridge();
    // Uses the given runtime, or none.
    explicit ZRNDIBridge(std::optional<Runtime> runtime);
    ~ZRNDIBridge();
    ZRNDIBridge(const ZRNDIBridge&) = delete;
    ZRNDIBridge& operator=(const ZRNDIBridge&) = delete;

    bool startWithName(const QString& name);
    bool isRunning() const;
    const std::optional<QString>& errorMessage() const { return errorMessage_; }
    // Receivers connected now, never negative; 0 without a sender.
    int connectionCount() const;
    // Nothing happens for a side below 1, a null picture, rows shorter than 4 x width or
    // without a runtime. Rates: N below 1 and D below 1 are sent as 60000 and 1001.
    void sendVideoBGRA(const void* bytes, int width, int height, int rowBytes, int frameRateN,
                       int frameRateD);
    // The runtime lets go of the last picture lent to it.
    void flushVideo();
    // `samples` holds all frames of channel 0, then of channel 1, and so on.
    void sendAudioPlanar(const float* samples, int frames, int channels, int sampleRate);
    // Ends the sender; harmless when not running.
    void stop();

  private:
    const Runtime* runtime() const;

    bool useProcessRuntime_;
    std::optional<Runtime> givenRuntime_;
    mutable std::mutex lock_;
    VelmarNetVideoSender* sender_ = nullptr;
    std::optional<QString> errorMessage_;
};

}  // namespace velmar
