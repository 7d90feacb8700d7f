// Device and mode listing of ZRDeckLinkOutput.
#include "sdi/zr_deck_link_api.h"
#include "sdi/zr_deck_link_output.h"

namespace velmar {

std::vector<ZRDeckLinkDevice> ZRDeckLinkOutput::availableDevices() {
    return availableDevices(deckLinkDriver());
}

std::vector<ZRDeckLinkDevice> ZRDeckLinkOutput::availableDevices(const VirtualSdiCard* card) {
    std::vector<ZRDeckLinkDevice> devices;
    const std::unique_ptr<SdiDeviceIterator> iterator = CreateDeckLinkIteratorInstance(card);
    if (!iterator) return devices;
    // Every device of the iteration uses up an index, listed or not.
    long long index = 0;
    for (std::shared_ptr<SdiDevice> device = iterator->next(); device;
         device = iterator->next(), ++index) {
        const std::optional<std::string> name = device->displayName();
        const QString shown =
            name && !name->empty() ? QString::fromStdString(*name) : QStringLiteral("DeckLink");
        if (!device->output()) continue;
        devices.emplace_back(index, shown, device->keyer() != nullptr);
    }
    return devices;
}

std::vector<ZRDeckLinkMode> ZRDeckLinkOutput::supportedModesForDeviceIndex(long long deviceIndex,
                                                                           bool tenBit,
                                                                           bool externalKeyer) {
    return supportedModesForDeviceIndex(deckLinkDriver(), deviceIndex, tenBit, externalKeyer);
}

std::vector<ZRDeckLinkMode> ZRDeckLinkOutput::supportedModesForDeviceIndex(
    const VirtualSdiCard* card, long long deviceIndex, bool tenBit, bool externalKeyer) {
    std::vector<ZRDeckLinkMode> modes;
    const std::shared_ptr<SdiDevice> device = ZRCopyDeviceAtIndex(deviceIndex, card);
    if (!device) return modes;
    const std::shared_ptr<SdiOutput> output = device->output();
    if (!output) return modes;
    // 10-bit fill and key needs a keyer that can key externally; 8-bit keying is settled at
    // start.
    if (tenBit && externalKeyer) {
        const bool keyer = device->keyer() != nullptr;
        const bool keying =
            device->flagAttribute(SdiFlagAttribute::supportsExternalKeying).value_or(false);
        if (!keyer || !keying) return modes;
    }
    const SdiPixelFormat format = !tenBit         ? SdiPixelFormat::bgra8
                                  : externalKeyer ? SdiPixelFormat::ay10
                                                  : SdiPixelFormat::v210;
    for (const SdiDisplayMode& mode : output->displayModes()) {
        SdiOutput::ModeCheck check;
        check.actualMode = 0;
        check.supported = false;
        const SdiResult result = output->doesSupportVideoMode(
            mode.code, static_cast<std::uint32_t>(format), externalKeyer, &check);
        // A mode the card reaches only by converting to another mode is not offered.
        if (result != SdiResult::ok || !check.supported || check.actualMode != mode.code) continue;
        modes.emplace_back(mode.code, mode.width, mode.height, mode.timeScale, mode.frameDuration,
                           QString::fromStdString(mode.name));
    }
    return modes;
}

}  // namespace velmar
