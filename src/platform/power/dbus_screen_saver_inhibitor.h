#pragma once

#include "platform/power/display_sleep_inhibitor.h"

#include <QDBusConnection>

namespace velmar {

// The screen saver's inhibition over a D-Bus connection (the session bus for the system
// inhibitor). Calls are bounded by a short timeout so that a hung service never stalls the
// main thread for long.
class DBusScreenSaverInhibitor final : public DisplaySleepInhibitor {
  public:
    explicit DBusScreenSaverInhibitor(QDBusConnection connection);

    std::optional<uint32_t> inhibit(const QString& reason) override;
    void release(uint32_t cookie) override;

    static constexpr int kCallTimeoutMs = 1000;

  private:
    QDBusConnection connection_;
};

}  // namespace velmar
