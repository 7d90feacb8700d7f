#pragma once

namespace velmar {

// The size in pixels of one cabinet of an LED wall, used by the LED-cabinet test pattern.
// A plain value; its default and limits belong to the setting that holds it. The renderer
// treats a width or height below 1 as 1.
struct LEDCabinetSize {
    int width = 0;
    int height = 0;

    friend bool operator==(const LEDCabinetSize&, const LEDCabinetSize&) = default;
};

}  // namespace velmar
