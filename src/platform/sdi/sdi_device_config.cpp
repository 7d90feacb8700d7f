#include "platform/sdi/sdi_device_config.h"

namespace velmar {

std::vector<SdiModeSupport> SdiDeviceConfig::effectiveModes() const {
    if (!modes.empty()) return modes;
    std::vector<SdiModeSupport> out;
    for (const SdiDisplayMode& mode : SdiDisplayMode::standardModes()) {
        SdiModeSupport support;
        support.mode = mode;
        out.push_back(support);
    }
    return out;
}

}  // namespace velmar
