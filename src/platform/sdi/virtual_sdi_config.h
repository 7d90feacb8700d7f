#pragma once

#include "platform/sdi/sdi_device_config.h"

#include <optional>
#include <string>
#include <vector>

namespace velmar {

// How the virtual card's playback clock runs: in real time on steady_clock, or only when a
// test calls SdiOutput::step().
enum class SdiClockMode { realTime, manual };

// The whole configuration of the virtual SDI card: its devices in iteration order, the clock,
// and a folder into which every output writes what it plays.
//
// Text form, as read from the environment variable VELMAR_VIRTUAL_SDI: entries separated by
// ';' (blanks around entries are ignored):
//   off                          no card at all (as on a machine without the driver)
//   device=NAME[,FLAG]...        adds a device; FLAG is one of
//                                  nooutput  no video output (still counted in the iteration)
//                                  nokeyer   no keyer
//                                  nokeying  no external-keying attribute
//                                  noname    the device gives no display name
//                                  busy      enabling video output answers busy
//                                  noaudio   enabling audio output fails
//                                  nowrap    frames over caller memory are refused
//                                  keyerfail the keyer cannot be enabled
//   mode=WxH@SCALE/DURATION[,FMT]...
//                                adds a mode to the last device (its first mode= replaces the
//                                standard list); FMT limits the formats: bgra, v210, ay10, and
//                                nokeying; e.g. mode=64x36@60000/1001,bgra,v210
//   fault=late@N | drop@N | refuse@N | stall@N+K | startfail
//                                a fault of the last device (see SdiFaults)
//   clock=realtime | manual
//   record=DIR                   every output writes sdiI.bgra / .v210 / .ay10 / .pcm in DIR
//                                (see SdiRecorder: begun at each start, closed at stop)
// Without the variable (or with it empty) the card has one device with output, keyer and
// external keying, every standard mode, the real-time clock and no recording.
struct VirtualSdiConfig {
    bool present = true;
    std::vector<SdiDeviceConfig> devices;
    SdiClockMode clock = SdiClockMode::realTime;
    std::string recordDirectory;

    static VirtualSdiConfig defaultConfig();
    // Nothing, with a message in *error, for text that does not follow the form above.
    static std::optional<VirtualSdiConfig> parse(const std::string& text, std::string* error);
};

}  // namespace velmar
