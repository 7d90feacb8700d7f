#include "app/preflight_app_host.h"

#include "app/app_state.h"

namespace velmar {

void PreflightAppHost::refreshDeckLinkDevices() {
    app_.refreshDeckLinkDevices();
}

std::vector<ZRDeckLinkDevice> PreflightAppHost::availableDeckLinkDevices() const {
    return app_.availableDeckLinkDevices();
}

long long PreflightAppHost::selectedDeckLinkIndex() const {
    return app_.selectedDeckLinkIndex();
}

SDIBitDepth PreflightAppHost::sdiBitDepth() const {
    return app_.sdiBitDepth();
}

bool PreflightAppHost::useExternalKeyer() const {
    return app_.useExternalKeyer();
}

DeckLinkController* PreflightAppHost::deckLink() {
    return app_.deckLink();
}

bool PreflightAppHost::isDeckLinkRunning() const {
    return app_.isDeckLinkRunning();
}

void PreflightAppHost::startDeckLink() {
    app_.startDeckLink();
}

void PreflightAppHost::stopDeckLink() {
    app_.stopDeckLink();
}

}  // namespace velmar
