#include "sdi/zr_deck_link_api.h"

namespace velmar {

const VirtualSdiCard* deckLinkDriver() {
    return loadVirtualSdiCard();
}

std::unique_ptr<SdiDeviceIterator> CreateDeckLinkIteratorInstance() {
    return CreateDeckLinkIteratorInstance(deckLinkDriver());
}

std::unique_ptr<SdiDeviceIterator> CreateDeckLinkIteratorInstance(const VirtualSdiCard* card) {
    if (card == nullptr) return nullptr;
    return card->createIterator();
}

std::shared_ptr<SdiDevice> ZRCopyDeviceAtIndex(long long index) {
    return ZRCopyDeviceAtIndex(index, deckLinkDriver());
}

std::shared_ptr<SdiDevice> ZRCopyDeviceAtIndex(long long index, const VirtualSdiCard* card) {
    // A negative index names no device (walking "index times" would otherwise give the first).
    if (index < 0) return nullptr;
    const std::unique_ptr<SdiDeviceIterator> iterator = CreateDeckLinkIteratorInstance(card);
    if (!iterator) return nullptr;
    std::shared_ptr<SdiDevice> device = iterator->next();
    for (long long i = 0; i < index && device; ++i) device = iterator->next();
    return device;
}

}  // namespace velmar
