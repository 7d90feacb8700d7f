#pragma once

#include "platform/sdi/sdi_device_config.h"
#include "platform/sdi/sdi_keyer.h"
#include "platform/sdi/sdi_output.h"

#include <memory>
#include <optional>
#include <string>

namespace velmar {

// Attributes a virtual device answers about itself.
enum class SdiFlagAttribute { supportsExternalKeying, supportsInternalKeying };
enum class SdiIntegerAttribute { maximumAudioChannels, deviceIndex };

// One device of the virtual SDI card. Every query for the same device gives the same output
// and keyer objects, so state (an enabled output, a running playback) is shared by whoever
// reaches the device. Thread-safe.
class SdiDevice {
  public:
    SdiDevice(int index, SdiDeviceConfig config, SdiClockMode clock, std::string recordDirectory);

    int index() const { return index_; }
    // Nothing when the device gives no name.
    std::optional<std::string> displayName() const;
    // Null when the device has no video output.
    std::shared_ptr<SdiOutput> output() const { return output_; }
    // Null when the device has no keyer.
    std::shared_ptr<SdiKeyer> keyer() const { return keyer_; }
    // Nothing when the device cannot answer the attribute.
    std::optional<bool> flagAttribute(SdiFlagAttribute attribute) const;
    std::optional<long long> integerAttribute(SdiIntegerAttribute attribute) const;

  private:
    const int index_;
    const SdiDeviceConfig config_;
    std::shared_ptr<SdiKeyer> keyer_;
    std::shared_ptr<SdiOutput> output_;
};

}  // namespace velmar
