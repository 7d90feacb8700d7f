#pragma once

#include "platform/sdi/sdi_output.h"
#include "platform/sdi/virtual_sdi_card.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <vector>

namespace velmar::test {

// The paths this process holds open under `folder`.
inline QStringList openFilesIn(const QString& folder) {
    QStringList open;
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System)) {
        const QString target = fd.symLinkTarget();
        if (target.startsWith(canonical + "/")) open << target;
    }
    return open;
}

// A small SDI mode so that frames stay cheap.
inline SdiModeSupport smallMode(long long scale, long long duration,
                                std::uint32_t code = fourCC("T001")) {
    SdiModeSupport support;
    support.mode = {code, 12, 4, scale, duration, "test"};
    return support;
}

inline VirtualSdiConfig manualCard(std::vector<SdiModeSupport> modes) {
    VirtualSdiConfig config;
    config.clock = SdiClockMode::manual;
    SdiDeviceConfig device;
    device.name = "Test";
    device.modes = std::move(modes);
    config.devices.push_back(device);
    return config;
}

// Plays like a scheduled-playback client: three frames in flight, and on every completion the
// next frame at the next display time. Records what came back.
class PlaybackClient {
  public:
    PlaybackClient(SdiOutput& output, const SdiDisplayMode& mode, SdiPixelFormat format,
                   int ring = 4)
        : output_(output), mode_(mode) {
        for (int i = 0; i < ring; ++i) {
            std::shared_ptr<SdiVideoFrame> frame;
            output.createVideoFrame(mode.width, mode.height,
                                    static_cast<long long>(sdiMinimumRowBytes(format, mode.width)),
                                    static_cast<std::uint32_t>(format), &frame);
            frames_.push_back(frame);
        }
        output.setScheduledFrameCompletionCallback(
            [this](const std::shared_ptr<SdiVideoFrame>&, SdiCompletionResult result) {
                {
                    std::lock_guard lock(mutex_);
                    results_.push_back(result);
                }
                if (!stopping_) scheduleNext();
            },
            [this] { stoppedCalls_++; });
    }
    // Stops the playback so that no completion reaches a destroyed client.
    ~PlaybackClient() {
        stopping_ = true;
        output_.stopScheduledPlayback(0, nullptr, mode_.timeScale);
    }

    SdiResult scheduleNext() {
        const auto frame =
            frames_[static_cast<size_t>(next_++ % static_cast<long long>(frames_.size()))];
        const SdiResult r =
            output_.scheduleVideoFrame(frame, time_, mode_.frameDuration, mode_.timeScale);
        if (r == SdiResult::ok) time_ += mode_.frameDuration;
        return r;
    }

    SdiResult start() {
        if (SdiResult r = output_.enableVideoOutput(mode_.code); r != SdiResult::ok) return r;
        for (int i = 0; i < 3; ++i) scheduleNext();
        return output_.startScheduledPlayback(0, mode_.timeScale, 1.0);
    }

    std::vector<SdiCompletionResult> results() {
        std::lock_guard lock(mutex_);
        return results_;
    }

    std::atomic<bool> stopping_{false};
    std::atomic<int> stoppedCalls_{0};
    std::vector<std::shared_ptr<SdiVideoFrame>> frames_;

  private:
    SdiOutput& output_;
    SdiDisplayMode mode_;
    long long next_ = 0;
    long long time_ = 0;
    std::mutex mutex_;
    std::vector<SdiCompletionResult> results_;
};

}  // namespace velmar::test
