#pragma once

#include "platform/sdi/sdi_result.h"

#include <mutex>

namespace velmar {

// The keyer of a virtual SDI device. Enabled as an external keyer it sends the frames' key
// (BGRA alpha or the Ay10 key) on the key output at the set level (0 ... 255, 255 = the key
// as given). Thread-safe.
class SdiKeyer {
  public:
    // failEnable / failSetLevel are injected faults of the device's configuration.
    SdiKeyer(bool failEnable, bool failSetLevel)
        : failEnable_(failEnable), failSetLevel_(failSetLevel) {}

    SdiResult enable(bool external);
    // A level above 255 is refused.
    SdiResult setLevel(int level);
    SdiResult disable();

    bool isEnabled() const;
    bool isExternal() const;
    int level() const;

  private:
    const bool failEnable_;
    const bool failSetLevel_;
    mutable std::mutex mutex_;
    bool enabled_ = false;
    bool external_ = false;
    int level_ = 255;
};

}  // namespace velmar
