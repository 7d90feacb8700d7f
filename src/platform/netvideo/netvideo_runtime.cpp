// The exported face of the network-video runtime: the versioned call table and two test hooks.

#include "platform/netvideo/netvideo_api.h"
#include "platform/netvideo/netvideo_sender.h"

#include <atomic>
#include <string>

#define VELMAR_EXPORT extern "C" __attribute__((visibility("default")))

namespace velmar::netvideo {
namespace {

std::atomic<unsigned> faults{0};

bool hasFault(unsigned fault) {
    return (faults.load() & fault) != 0;
}

NetVideoSender* asSender(VelmarNetVideoSender* sender) {
    return reinterpret_cast<NetVideoSender*>(sender);
}

int initialize() {
    return hasFault(kVelmarNetVideoFailInitialize) ? 0 : 1;
}

void destroy() {}

int isSupportedCPU() {
    return hasFault(kVelmarNetVideoUnsupportedCPU) ? 0 : 1;
}

VelmarNetVideoSender* sendCreate(const VelmarNetVideoSenderSettings* settings) {
    if (!settings || !settings->name || hasFault(kVelmarNetVideoRefuseSender)) return nullptr;
    if (settings->clockVideo || settings->clockAudio) return nullptr;  // never paces
    return reinterpret_cast<VelmarNetVideoSender*>(
        NetVideoSender::create(settings->name).release());
}

void sendDestroy(VelmarNetVideoSender* sender) {
    delete asSender(sender);
}

void sendVideoAsync(VelmarNetVideoSender* sender, const VelmarNetVideoVideoFrame* frame) {
    if (sender) asSender(sender)->sendVideo(frame);
}

void sendAudio(VelmarNetVideoSender* sender, const VelmarNetVideoAudioFrame* frame) {
    if (sender && frame) asSender(sender)->sendAudio(*frame);
}

int sendGetConnections(VelmarNetVideoSender* sender, uint32_t) {
    return sender ? asSender(sender)->connectionCount() : 0;
}

const VelmarNetVideoApi kApi = {
    VELMAR_NETVIDEO_API_VERSION,
    sizeof(VelmarNetVideoApi),
    initialize,
    destroy,
    isSupportedCPU,
    sendCreate,
    sendDestroy,
    sendVideoAsync,
    sendAudio,
    sendGetConnections,
};

}  // namespace
}  // namespace velmar::netvideo

VELMAR_EXPORT const VelmarNetVideoApi* velmar_netvideo_load(void) {
    return &velmar::netvideo::kApi;
}

VELMAR_EXPORT void velmar_netvideo_test_stats(VelmarNetVideoStats* out) {
    if (!out) return;
    const auto& c = velmar::netvideo::RuntimeCounters::shared();
    out->contractViolations = c.contractViolations.load();
    out->videoFramesAccepted = c.videoFramesAccepted.load();
    out->videoFramesRefused = c.videoFramesRefused.load();
    out->audioFramesAccepted = c.audioFramesAccepted.load();
    out->lastWidth = c.lastWidth.load();
    out->lastHeight = c.lastHeight.load();
    out->lastFrameRateN = c.lastRateN.load();
    out->lastFrameRateD = c.lastRateD.load();
    out->receiversRefused = c.receiversRefused.load();
    out->receiversDropped = c.receiversDropped.load();
    out->writerRests = c.writerRests.load();
    out->queuedAudioFrames = c.queuedAudioFrames.load();
}

VELMAR_EXPORT void velmar_netvideo_test_set_faults(unsigned newFaults) {
    velmar::netvideo::faults = newFaults;
}
