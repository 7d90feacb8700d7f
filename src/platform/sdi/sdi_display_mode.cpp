#include "platform/sdi/sdi_display_mode.h"

#include "platform/sdi/sdi_pixel_format.h"

namespace velmar {

const std::vector<SdiDisplayMode>& SdiDisplayMode::standardModes() {
    static const std::vector<SdiDisplayMode> modes = [] {
        std::vector<SdiDisplayMode> m;
        struct Rate {
            const char* tag;
            long long scale, duration;
            const char* label;
        };
        const Rate rates[] = {
            {"23", 24000, 1001, "23.98"}, {"24", 24000, 1000, "24"}, {"25", 25000, 1000, "25"},
            {"29", 30000, 1001, "29.97"}, {"30", 30000, 1000, "30"}, {"50", 50000, 1000, "50"},
            {"59", 60000, 1001, "59.94"}, {"60", 60000, 1000, "60"},
        };
        struct Raster {
            char letter;
            long long w, h;
            const char* label;
        };
        const Raster rasters[] = {
            {'F', 1920, 1080, "1080p"}, {'E', 1280, 720, "720p"}, {'U', 3840, 2160, "2160p"}};
        for (const Raster& r : rasters) {
            for (const Rate& rate : rates) {
                if (r.h == 720 && rate.scale < 50000) continue;  // 720p is a 50/59.94/60 raster
                const char code[5] = {r.letter, rate.tag[0], rate.tag[1], 'p', 0};
                m.push_back({fourCC(code), r.w, r.h, rate.scale, rate.duration,
                             std::string(r.label) + " " + rate.label});
            }
        }
        m.push_back({fourCC("S625"), 720, 576, 25000, 1000, "576i 50"});
        m.push_back({fourCC("S525"), 720, 486, 30000, 1001, "486i 59.94"});
        return m;
    }();
    return modes;
}

long long SdiDisplayMode::audioSamplesThrough(long long frames) const {
    if (timeScale < 1 || frames <= 0) return 0;
    const __int128 n = static_cast<__int128>(frames) * frameDuration * 48000;
    return static_cast<long long>(n / timeScale);
}

long long SdiDisplayMode::nanosecondsAt(long long frames) const {
    if (timeScale < 1 || frames <= 0) return 0;
    const __int128 n = static_cast<__int128>(frames) * frameDuration * 1000000000;
    return static_cast<long long>(n / timeScale);
}

long long SdiDisplayMode::frameAt(long long nanoseconds) const {
    if (timeScale < 1 || frameDuration < 1 || nanoseconds <= 0) return 0;
    // floor(ns x timeScale / (frameDuration x 10^9)) can fall one short of the answer, since
    // frame starts are rounded down to whole nanoseconds.
    const __int128 span = static_cast<__int128>(frameDuration) * 1000000000;
    auto k = static_cast<long long>(static_cast<__int128>(nanoseconds) * timeScale / span);
    while (nanosecondsAt(k + 1) <= nanoseconds) ++k;
    return k;
}

}  // namespace velmar
