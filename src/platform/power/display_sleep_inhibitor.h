#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace velmar {

// Keeps the displays awake while something is shown on them. system() asks the desktop's
// screen saver over the session D-Bus (org.freedesktop.ScreenSaver.Inhibit); without a
// session bus or without that service it silently holds nothing. Main thread.
class DisplaySleepInhibitor {
  public:
    virtual ~DisplaySleepInhibitor() = default;
    // A cookie for the inhibition, or none when it could not be made.
    virtual std::optional<uint32_t> inhibit(const QString& reason) = 0;
    virtual void release(uint32_t cookie) = 0;

    static DisplaySleepInhibitor& system();
};

}  // namespace velmar
