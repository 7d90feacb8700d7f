#pragma once

#include "platform/sdi/virtual_sdi_card.h"
#include "sdi/zr_deck_link_output.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace velmar::test {

inline constexpr std::uint32_t kBridgeMode5994 = fourCC("b059");
inline constexpr std::uint32_t kMode2997 = fourCC("b029");
inline constexpr std::uint32_t kMode25 = fourCC("b025");
inline constexpr std::uint32_t kMode2398 = fourCC("b023");
inline constexpr long long kWidth = 12;
inline constexpr long long kHeight = 4;

inline SdiModeSupport bridgeMode(std::uint32_t code, long long scale, long long duration,
                                 long long width = kWidth, long long height = kHeight) {
    SdiModeSupport support;
    support.mode = {code, width, height, scale, duration, "mode " + fourCCString(code)};
    return support;
}

// One device with small modes at 59.94, 29.97, 25 and 23.98, on the manual clock.
inline VirtualSdiConfig bridgeCard(SdiFaults faults = {}) {
    VirtualSdiConfig config;
    config.clock = SdiClockMode::manual;
    SdiDeviceConfig device;
    device.name = "Bridge Test";
    device.modes = {bridgeMode(kBridgeMode5994, 60000, 1001), bridgeMode(kMode2997, 30000, 1001),
                    bridgeMode(kMode25, 25, 1), bridgeMode(kMode2398, 24000, 1001)};
    device.faults = std::move(faults);
    config.devices.push_back(device);
    return config;
}

inline std::vector<ZRFrameBuffer> makeRing(SdiPixelFormat format, std::size_t rowBytes,
                                           int count = 4, long long width = kWidth,
                                           long long height = kHeight) {
    std::vector<ZRFrameBuffer> ring;
    for (int i = 0; i < count; ++i)
        ring.push_back(ZRFrameBuffer::allocate(width, height, rowBytes, format));
    return ring;
}

inline std::vector<ZRFrameBuffer> bgraRing(int count = 4) {
    return makeRing(SdiPixelFormat::bgra8, kWidth * 4, count);
}

// A frame provider over a ring: slots 0, 1, 2, ... in turn; each rendered buffer gets the
// request number (from 1) in its first four bytes. `answers` can replace the slot of a request.
class RingClient {
  public:
    explicit RingClient(std::vector<ZRFrameBuffer> ring) : ring_(std::move(ring)) {}

    const std::vector<ZRFrameBuffer>& ring() const { return ring_; }
    long long requests() const { return requests_.load(); }

    ZRDeckLinkOutput::FrameRequest request() {
        return [this]() -> long long {
            const long long n = ++requests_;
            long long slot = (n - 1) % static_cast<long long>(ring_.size());
            if (auto it = answers.find(n); it != answers.end()) slot = it->second;
            if (slot >= 0 && slot < static_cast<long long>(ring_.size())) {
                const auto stamp = static_cast<std::uint32_t>(n);
                std::memcpy(ring_[static_cast<std::size_t>(slot)].bytes(), &stamp, sizeof stamp);
            }
            return slot;
        };
    }

    std::map<long long, long long> answers;  // request number (from 1) -> answer; set before start

  private:
    std::vector<ZRFrameBuffer> ring_;
    std::atomic<long long> requests_{0};
};

// The first four bytes of a captured BGRA frame: the request number that rendered it, or 0 for
// black.
inline std::uint32_t stampOf(const SdiCapturedFrame& frame) {
    std::uint32_t stamp = 0;
    std::memcpy(&stamp, frame.bytes.data(), sizeof stamp);
    return stamp;
}

// A card, a bridge and a ring client at 25 frames a second; `start` starts 8-bit playback.
struct BridgeRig {
    explicit BridgeRig(SdiFaults faults = {}) : card(bridgeCard(std::move(faults))) {}
    bool start(ZRDeckLinkOutput::AudioRequest audio = {}, bool externalKeyer = false) {
        return bridge.start(0, kMode25, client.ring(), false, externalKeyer, client.request(),
                            std::move(audio));
    }
    VirtualSdiCard card;
    std::shared_ptr<SdiOutput> output = card.deviceAtIndex(0)->output();
    RingClient client{bgraRing()};
    ZRDeckLinkOutput bridge{&card};
};

}  // namespace velmar::test
