#include "output/ndi_slot_pool.h"

#include <algorithm>

namespace velmar {

NDISlotPool::NDISlotPool(MakeBuffer makeBuffer) : makeBuffer_(std::move(makeBuffer)) {}

std::shared_ptr<NDISlotPool::Slot> NDISlotPool::take(int width, int height) {
    if (width < 1 || height < 1) return nullptr;
    std::lock_guard guard(lock_);
    std::erase_if(slots_, [&](const std::shared_ptr<Slot>& slot) {
        return !slot->busy && (slot->width != width || slot->height != height);
    });
    for (const auto& slot : slots_) {
        if (!slot->busy) {
            slot->busy = true;
            return slot;
        }
    }
    if (slots_.size() >= kMaxSlots) return nullptr;
    const size_t rowBytes = size_t(width) * 4;
    auto buffer = makeBuffer_ ? makeBuffer_(rowBytes * size_t(height)) : nullptr;
    if (!buffer) return nullptr;
    auto slot = std::make_shared<Slot>(Slot{std::move(buffer), width, height, int(rowBytes), true});
    slots_.push_back(slot);
    return slot;
}

void NDISlotPool::giveBack(const std::shared_ptr<Slot>& slot) {
    if (!slot) return;
    std::lock_guard guard(lock_);
    slot->busy = false;
}

void NDISlotPool::clear() {
    std::lock_guard guard(lock_);
    slots_.clear();
}

long long NDISlotPool::generation() const {
    std::lock_guard guard(lock_);
    return generation_;
}

void NDISlotPool::bumpGeneration() {
    std::lock_guard guard(lock_);
    ++generation_;
}

size_t NDISlotPool::size() const {
    std::lock_guard guard(lock_);
    return slots_.size();
}

}  // namespace velmar
