#include "platform/sdi/sdi_device.h"

namespace velmar {

SdiDevice::SdiDevice(int index, SdiDeviceConfig config, SdiClockMode clock,
                     std::string recordDirectory)
    : index_(index), config_(std::move(config)) {
    if (config_.hasKeyer) {
        keyer_ = std::make_shared<SdiKeyer>(config_.faults.keyerEnableFails,
                                            config_.faults.keyerLevelFails);
    }
    if (config_.hasOutput) {
        output_ =
            std::make_shared<SdiOutput>(index_, config_, keyer_, clock, std::move(recordDirectory));
    }
}

std::optional<std::string> SdiDevice::displayName() const {
    if (!config_.hasName) return std::nullopt;
    return config_.name;
}

std::optional<bool> SdiDevice::flagAttribute(SdiFlagAttribute attribute) const {
    switch (attribute) {
        case SdiFlagAttribute::supportsExternalKeying:
            return config_.hasKeyer && config_.supportsExternalKeying;
        case SdiFlagAttribute::supportsInternalKeying:
            return false;
    }
    return std::nullopt;
}

std::optional<long long> SdiDevice::integerAttribute(SdiIntegerAttribute attribute) const {
    switch (attribute) {
        case SdiIntegerAttribute::maximumAudioChannels:
            return config_.hasOutput ? std::optional<long long>(SdiOutput::kAudioChannels)
                                     : std::nullopt;
        case SdiIntegerAttribute::deviceIndex:
            return index_;
    }
    return std::nullopt;
}

}  // namespace velmar
