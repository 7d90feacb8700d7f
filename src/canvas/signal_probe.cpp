#include "canvas/signal_probe.h"

#include "canvas/canvas_engine.h"
#include "platform/base/host_clock.h"
#include "platform/base/main_thread.h"
#include "platform/base/serial_queue.h"
#include "platform/base/timer.h"
#include "platform/gpu/texture.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>

namespace velmar {

namespace {

// Host times are large doubles; the spacing of two of them is off by up to ~1e-13 s, so a
// spacing of exactly the minimum must not be refused for that.
constexpr double kTimeTolerance = 1e-9;

// The analysis runs below the frame path: the queue's thread is niced once.
void lowerThisThreadsPriority() {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
}

}  // namespace

// The state that the frame, GPU-completion and analysis threads reach. The analysis queue is
// the last member, so that destroying this first finishes the queued analyses while everything
// they use still exists.
struct SignalProbe::Shared : std::enable_shared_from_this<SignalProbe::Shared> {
    explicit Shared(HostClock& c) : clock(c) {}

    HostClock& clock;
    SignalProbe* owner = nullptr;  // main thread only; null once the probe is gone

    mutable std::mutex lock;  // guards the three below
    bool enabled = false;
    bool busy = false;
    double lastCapture = 0;

    SignalCapture captureBuffer;          // the one capture in flight
    SignalAnalyzer::Workspace workspace;  // analysis queue only
    std::unique_ptr<SerialQueue> queue;

    bool reserve() {
        const double now = clock.now();  // read before the lock
        std::lock_guard guard(lock);
        if (!enabled || busy || now - lastCapture < kMinimumSpacing - kTimeTolerance) return false;
        busy = true;
        lastCapture = now;
        return true;
    }

    void release() {
        std::lock_guard guard(lock);
        busy = false;
    }

    void capture(const gpu::PixelBuffer& buffer, KeyAlphaMode mode, Source source) noexcept {
        bool copied = false;
        try {
            copied = SignalCapture::copy(buffer, captureBuffer);
        } catch (...) {
            copied = false;
        }
        if (!copied) {
            release();
            return;
        }
        try {
            queue->async([this, mode, source] { analyze(mode, source); });
        } catch (...) {
            release();
        }
    }

    void analyze(KeyAlphaMode mode, Source source) {
        std::shared_ptr<const SignalSnapshot> result;
        try {
            result =
                SignalAnalyzer::analyze(captureBuffer, mode, source, &workspace, clock.wallNow());
        } catch (...) {
            result = nullptr;
        }
        release();  // before anything is published
        postToMain([weak = weak_from_this(), result = std::move(result)] {
            const auto self = weak.lock();
            if (!self || self->owner == nullptr) return;
            bool enabledNow = false;
            {
                std::lock_guard guard(self->lock);
                enabledNow = self->enabled;
            }
            if (enabledNow) self->owner->publish(result);
        });
    }
};

SignalProbe::SignalProbe(HostClock& clock, TimerFactory& timers, QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>(clock)), timers_(timers) {
    shared_->owner = this;
    shared_->queue = std::make_unique<SerialQueue>("dovrine.signal-probe");
    shared_->queue->async(lowerThisThreadsPriority);
}

SignalProbe::~SignalProbe() {
    timer_.reset();
    shared_->owner = nullptr;
    std::lock_guard guard(shared_->lock);
    shared_->enabled = false;
}

SignalProbe& SignalProbe::shared() {
    // Never destroyed: the SDI frame path may still offer a frame while the process ends.
    static SignalProbe* probe = new SignalProbe(HostClock::system(), TimerFactory::system());
    return *probe;
}

void SignalProbe::setCompositeFeed(CompositeFeed feed) {
    feed_ = std::move(feed);
}

bool SignalProbe::reserveCapture() {
    return shared_->reserve();
}

void SignalProbe::capture(const gpu::PixelBuffer& buffer, KeyAlphaMode keyAlphaMode,
                          Source source) {
    shared_->capture(buffer, keyAlphaMode, source);
}

void SignalProbe::start() {
    {
        std::lock_guard guard(shared_->lock);
        shared_->enabled = true;
    }
    if (!timer_) {
        timer_ = timers_.makeTimer([this] { captureCompositeIfNeeded(); });
        timer_->start(kInterval, true);
    }
}

void SignalProbe::stop() {
    {
        std::lock_guard guard(shared_->lock);
        shared_->enabled = false;
    }
    timer_.reset();
    compositeTarget_.reset();
    publish(nullptr);
}

bool SignalProbe::isRunning() const {
    std::lock_guard guard(shared_->lock);
    return shared_->enabled;
}

void SignalProbe::waitForAnalysis() {
    shared_->queue->waitUntilIdle();
}

void SignalProbe::publish(std::shared_ptr<const SignalSnapshot> snapshot) {
    if (snapshot == snapshot_) return;
    snapshot_ = std::move(snapshot);
    emit snapshotChanged();
}

void SignalProbe::captureCompositeIfNeeded() {
    if (!feed_.isDeckLinkRunning || feed_.isDeckLinkRunning()) return;
    CanvasEngine* canvas = feed_.canvas ? feed_.canvas() : nullptr;
    if (canvas == nullptr) return;
    const QSize size = feed_.canvasSize ? feed_.canvasSize() : QSize();
    if (!compositeTarget_ || compositeTarget_->texture->width() != size.width() ||
        compositeTarget_->texture->height() != size.height())
        compositeTarget_ = canvas->renderer()->makeSharedRenderTarget(size.width(), size.height());
    if (!compositeTarget_ || !reserveCapture()) return;

    // The completion holds its own reference to the target: stop() or a new canvas size may
    // drop compositeTarget_ on this thread while the GPU still renders into it.
    const std::shared_ptr<MetalRenderer::PixelBufferTexture> target = compositeTarget_;
    const std::weak_ptr<Shared> weak = shared_;
    try {
        canvas->renderProbeFrame(target->texture, [weak, target](bool ok, KeyAlphaMode mode) {
            const auto shared = weak.lock();
            if (!shared) return;
            if (ok)
                shared->capture(*target->pixelBuffer, mode, Source::composite);
            else
                shared->release();
        });
    } catch (...) {
        // The render could not even be encoded (its sources failed): end the capture here.
        shared_->release();
    }
}

}  // namespace velmar
