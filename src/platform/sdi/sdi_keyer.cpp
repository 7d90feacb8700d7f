#include "platform/sdi/sdi_keyer.h"

namespace velmar {

SdiResult SdiKeyer::enable(bool external) {
    if (failEnable_) return SdiResult::refused;
    std::lock_guard lock(mutex_);
    enabled_ = true;
    external_ = external;
    return SdiResult::ok;
}

SdiResult SdiKeyer::setLevel(int level) {
    if (level < 0 || level > 255) return SdiResult::invalidArgument;
    if (failSetLevel_) return SdiResult::refused;
    std::lock_guard lock(mutex_);
    if (!enabled_) return SdiResult::notEnabled;
    level_ = level;
    return SdiResult::ok;
}

SdiResult SdiKeyer::disable() {
    std::lock_guard lock(mutex_);
    enabled_ = false;
    external_ = false;
    return SdiResult::ok;
}

bool SdiKeyer::isEnabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

bool SdiKeyer::isExternal() const {
    std::lock_guard lock(mutex_);
    return enabled_ && external_;
}

int SdiKeyer::level() const {
    std::lock_guard lock(mutex_);
    return level_;
}

}  // namespace velmar
