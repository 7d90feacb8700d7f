#pragma once

#include "platform/sdi/sdi_device.h"
#include "platform/sdi/sdi_device_iterator.h"
#include "platform/sdi/virtual_sdi_card.h"

#include <memory>

namespace velmar {

// Entry to the SDI card's driver. The driver of this process is loaded on first use, once,
// whatever thread comes first (loadVirtualSdiCard); without it every call finds no device,
// and no later call tries to load it again. The overloads that take a card use that card
// instead (tests; null stands for a machine without the driver). Any thread.

// The driver of this process, or null when it is not installed.
const VirtualSdiCard* deckLinkDriver();

// A new iterator over every device in the driver's order, or null without a driver.
std::unique_ptr<SdiDeviceIterator> CreateDeckLinkIteratorInstance();
std::unique_ptr<SdiDeviceIterator> CreateDeckLinkIteratorInstance(const VirtualSdiCard* card);

// The device at a position of the iteration order: the first device, then `index` times the
// next one. Null when the iteration ends first, for a negative index, or without a driver.
std::shared_ptr<SdiDevice> ZRCopyDeviceAtIndex(long long index);
std::shared_ptr<SdiDevice> ZRCopyDeviceAtIndex(long long index, const VirtualSdiCard* card);

}  // namespace velmar
