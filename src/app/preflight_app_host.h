#pragma once

#include "app/preflight_runner.h"

namespace velmar {

class AppState;

// The pre-show check's view of the application state: the SDI settings, device list, controller
// and commands of an AppState, which must outlive it.
class PreflightAppHost final : public PreflightRunner::Host {
  public:
    explicit PreflightAppHost(AppState& app) : app_(app) {}

    void refreshDeckLinkDevices() override;
    std::vector<ZRDeckLinkDevice> availableDeckLinkDevices() const override;
    long long selectedDeckLinkIndex() const override;
    SDIBitDepth sdiBitDepth() const override;
    bool useExternalKeyer() const override;
    DeckLinkController* deckLink() override;
    bool isDeckLinkRunning() const override;
    void startDeckLink() override;
    void stopDeckLink() override;

  private:
    AppState& app_;
};

}  // namespace velmar
