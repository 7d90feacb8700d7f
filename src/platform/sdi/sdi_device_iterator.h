#pragma once

#include <memory>
#include <vector>

namespace velmar {

class SdiDevice;

// Walks the devices of the virtual card in their fixed order, devices without an output
// included. A snapshot of the list at creation; use from one thread.
class SdiDeviceIterator {
  public:
    explicit SdiDeviceIterator(std::vector<std::shared_ptr<SdiDevice>> devices)
        : devices_(std::move(devices)) {}

    // The next device, or null after the last.
    std::shared_ptr<SdiDevice> next() {
        return position_ < devices_.size() ? devices_[position_++] : nullptr;
    }

  private:
    std::vector<std::shared_ptr<SdiDevice>> devices_;
    std::size_t position_ = 0;
};

}  // namespace velmar
