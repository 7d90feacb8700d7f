#include "platform/sdi/virtual_sdi_card.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace velmar {

VirtualSdiCard::VirtualSdiCard(const VirtualSdiConfig& config) : clock_(config.clock) {
    int index = 0;
    for (const SdiDeviceConfig& device : config.devices) {
        devices_.push_back(
            std::make_shared<SdiDevice>(index++, device, config.clock, config.recordDirectory));
    }
}

std::unique_ptr<SdiDeviceIterator> VirtualSdiCard::createIterator() const {
    return std::make_unique<SdiDeviceIterator>(devices_);
}

std::shared_ptr<SdiDevice> VirtualSdiCard::deviceAtIndex(long long index) const {
    if (index < 0 || index >= deviceCount()) return nullptr;
    return devices_[static_cast<size_t>(index)];
}

VirtualSdiCard* loadVirtualSdiCard() {
    static std::once_flag once;
    static VirtualSdiCard* card = nullptr;
    std::call_once(once, [] {
        const char* text = std::getenv("VELMAR_VIRTUAL_SDI");
        std::string error;
        const std::optional<VirtualSdiConfig> config =
            VirtualSdiConfig::parse(text ? text : "", &error);
        if (!config) {
            std::fprintf(stderr, "VELMAR_VIRTUAL_SDI: %s; no SDI devices\n", error.c_str());
            return;
        }
        if (!config->present) return;
        // Kept for the life of the process, like a loaded driver.
        card = new VirtualSdiCard(*config);
    });
    return card;
}

}  // namespace velmar
