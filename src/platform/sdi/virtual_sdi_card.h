#pragma once

#include "platform/sdi/sdi_device.h"
#include "platform/sdi/sdi_device_iterator.h"
#include "platform/sdi/virtual_sdi_config.h"

#include <memory>
#include <vector>

namespace velmar {

// The virtual SDI card library: a fixed set of devices made from a configuration. The program
// reaches the one instance of the process through loadVirtualSdiCard(); tests build their own
// cards from a VirtualSdiConfig. Thread-safe; the device list never changes.
class VirtualSdiCard {
  public:
    explicit VirtualSdiCard(const VirtualSdiConfig& config);

    std::unique_ptr<SdiDeviceIterator> createIterator() const;
    // The device at a position of the iteration order, or null.
    std::shared_ptr<SdiDevice> deviceAtIndex(long long index) const;
    long long deviceCount() const { return static_cast<long long>(devices_.size()); }
    SdiClockMode clockMode() const { return clock_; }

  private:
    std::vector<std::shared_ptr<SdiDevice>> devices_;
    SdiClockMode clock_;
};

// Loads the card of this process once, whatever thread comes first, from the environment
// variable VELMAR_VIRTUAL_SDI (syntax in virtual_sdi_config.h). Null when the variable says
// "off" or cannot be read (the reason goes to stderr): the program then sees no SDI devices,
// as on a machine without the driver, and later calls do not try again.
VirtualSdiCard* loadVirtualSdiCard();

}  // namespace velmar
