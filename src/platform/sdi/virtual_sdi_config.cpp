#include "platform/sdi/virtual_sdi_config.h"

#include "platform/sdi/sdi_pixel_format.h"

#include <charconv>
#include <sstream>

namespace velmar {
namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, sep)) out.push_back(trim(part));
    return out;
}

bool toNumber(const std::string& s, long long* out) {
    if (s.empty()) return false;
    const char* end = s.data() + s.size();
    auto [ptr, ec] = std::from_chars(s.data(), end, *out);
    return ec == std::errc() && ptr == end;
}

// "WxH@SCALE/DURATION"
bool parseMode(const std::string& text, SdiDisplayMode* mode) {
    const auto x = text.find('x'), at = text.find('@'), slash = text.find('/');
    if (x == std::string::npos || at == std::string::npos || slash == std::string::npos ||
        !(x < at && at < slash)) {
        return false;
    }
    if (!toNumber(text.substr(0, x), &mode->width) ||
        !toNumber(text.substr(x + 1, at - x - 1), &mode->height) ||
        !toNumber(text.substr(at + 1, slash - at - 1), &mode->timeScale) ||
        !toNumber(text.substr(slash + 1), &mode->frameDuration)) {
        return false;
    }
    mode->name = text;
    return mode->isValid() && mode->width <= 16384 && mode->height <= 16384;
}

}  // namespace

VirtualSdiConfig VirtualSdiConfig::defaultConfig() {
    VirtualSdiConfig config;
    config.devices.push_back(SdiDeviceConfig());
    return config;
}

std::optional<VirtualSdiConfig> VirtualSdiConfig::parse(const std::string& text,
                                                        std::string* error) {
    auto fail = [&](const std::string& message) -> std::optional<VirtualSdiConfig> {
        if (error) *error = message;
        return std::nullopt;
    };
    if (trim(text).empty()) return defaultConfig();

    VirtualSdiConfig config;
    int customModes = 0;
    for (const std::string& entry : split(text, ';')) {
        if (entry.empty()) continue;
        if (entry == "off") {
            config.present = false;
            continue;
        }
        const auto eq = entry.find('=');
        if (eq == std::string::npos) return fail("entry without '=': " + entry);
        const std::string key = trim(entry.substr(0, eq)), value = trim(entry.substr(eq + 1));
        if (key == "device") {
            const std::vector<std::string> parts = split(value, ',');
            SdiDeviceConfig device;
            device.name = parts.empty() ? std::string() : parts[0];
            for (size_t i = 1; i < parts.size(); ++i) {
                const std::string& flag = parts[i];
                if (flag == "nooutput")
                    device.hasOutput = false;
                else if (flag == "nokeyer")
                    device.hasKeyer = false;
                else if (flag == "nokeying")
                    device.supportsExternalKeying = false;
                else if (flag == "noname")
                    device.hasName = false;
                else if (flag == "busy")
                    device.faults.enableVideoBusy = true;
                else if (flag == "noaudio")
                    device.faults.enableAudioFails = true;
                else if (flag == "nowrap")
                    device.faults.wrapUnsupported = true;
                else if (flag == "keyerfail")
                    device.faults.keyerEnableFails = true;
                else
                    return fail("unknown device flag: " + flag);
            }
            config.devices.push_back(device);
        } else if (key == "mode") {
            if (config.devices.empty()) return fail("mode= before any device=");
            const std::vector<std::string> parts = split(value, ',');
            SdiModeSupport support;
            if (parts.empty() || !parseMode(parts[0], &support.mode))
                return fail("bad mode: " + value);
            if (parts.size() > 1) support.bgra8 = support.v210 = support.ay10 = false;
            for (size_t i = 1; i < parts.size(); ++i) {
                if (parts[i] == "bgra")
                    support.bgra8 = true;
                else if (parts[i] == "v210")
                    support.v210 = true;
                else if (parts[i] == "ay10")
                    support.ay10 = true;
                else if (parts[i] == "nokeying")
                    support.keying = false;
                else
                    return fail("unknown mode option: " + parts[i]);
            }
            if (parts.size() > 1 && !support.bgra8 && !support.v210 && !support.ay10) {
                support.bgra8 = support.v210 = support.ay10 = true;
            }
            ++customModes;
            const char code[5] = {'T', static_cast<char>('0' + customModes / 100 % 10),
                                  static_cast<char>('0' + customModes / 10 % 10),
                                  static_cast<char>('0' + customModes % 10), 0};
            support.mode.code = fourCC(code);
            config.devices.back().modes.push_back(support);
        } else if (key == "fault") {
            if (config.devices.empty()) return fail("fault= before any device=");
            SdiFaults& faults = config.devices.back().faults;
            if (value == "startfail") {
                faults.startPlaybackFails = true;
                continue;
            }
            const auto at = value.find('@');
            if (at == std::string::npos) return fail("bad fault: " + value);
            const std::string kind = value.substr(0, at);
            std::string where = value.substr(at + 1);
            long long n = 0, k = 0;
            if (kind == "stall") {
                const auto plus = where.find('+');
                if (plus == std::string::npos || !toNumber(where.substr(0, plus), &n) ||
                    !toNumber(where.substr(plus + 1), &k) || n < 0 || k < 1) {
                    return fail("bad stall fault: " + value);
                }
                faults.stalls[n] = k;
                continue;
            }
            if (!toNumber(where, &n) || n < 0) return fail("bad fault: " + value);
            if (kind == "late")
                faults.lateFrames.insert(n);
            else if (kind == "drop")
                faults.droppedFrames.insert(n);
            else if (kind == "refuse")
                faults.refusedSchedules.insert(n);
            else
                return fail("unknown fault: " + kind);
        } else if (key == "clock") {
            if (value == "realtime")
                config.clock = SdiClockMode::realTime;
            else if (value == "manual")
                config.clock = SdiClockMode::manual;
            else
                return fail("unknown clock: " + value);
        } else if (key == "record") {
            if (value.empty()) return fail("record= needs a folder");
            config.recordDirectory = value;
        } else {
            return fail("unknown entry: " + key);
        }
    }
    return config;
}

}  // namespace velmar
