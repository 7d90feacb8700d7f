#include "platform/sdi/sdi_pixel_format.h"

#include "platform/sdi/sdi_result.h"

#include <cstring>

namespace velmar {

const char* toString(SdiResult result) {
    switch (result) {
        case SdiResult::ok:
            return "ok";
        case SdiResult::invalidArgument:
            return "invalid argument";
        case SdiResult::notEnabled:
            return "not enabled";
        case SdiResult::busy:
            return "busy";
        case SdiResult::refused:
            return "refused";
        case SdiResult::unsupported:
            return "unsupported";
    }
    return "?";
}

const char* toString(SdiCompletionResult result) {
    switch (result) {
        case SdiCompletionResult::completed:
            return "completed";
        case SdiCompletionResult::displayedLate:
            return "displayed late";
        case SdiCompletionResult::dropped:
            return "dropped";
        case SdiCompletionResult::flushed:
            return "flushed";
    }
    return "?";
}

std::string fourCCString(std::uint32_t code) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
    return s;
}

std::optional<SdiPixelFormat> sdiPixelFormatFromCode(std::uint32_t code) {
    switch (static_cast<SdiPixelFormat>(code)) {
        case SdiPixelFormat::bgra8:
        case SdiPixelFormat::v210:
        case SdiPixelFormat::ay10:
            return static_cast<SdiPixelFormat>(code);
    }
    return std::nullopt;
}

std::size_t sdiMinimumRowBytes(SdiPixelFormat format, long long width) {
    if (width < 1) return 0;
    const auto w = static_cast<std::size_t>(width);
    switch (format) {
        case SdiPixelFormat::bgra8:
            return w * 4;
        case SdiPixelFormat::v210:
            return ((w + 47) / 48) * 128;
        case SdiPixelFormat::ay10:
            return ((w + 63) / 64) * 256;
    }
    return 0;
}

namespace {

std::uint32_t wordAt(const std::uint8_t* p) {
    // Little-endian on the wire and on this machine.
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

bool videoCode(std::uint32_t c) {
    return c >= 4 && c <= 1019;
}

}  // namespace

bool sdiFrameContentIsValid(SdiPixelFormat format, const std::uint8_t* bytes, long long width,
                            long long height, std::size_t rowBytes) {
    if (format == SdiPixelFormat::bgra8) return true;
    if (bytes == nullptr || width < 1 || height < 1) return false;
    for (long long y = 0; y < height; ++y) {
        const std::uint8_t* row = bytes + static_cast<std::size_t>(y) * rowBytes;
        if (format == SdiPixelFormat::ay10) {
            for (long long x = 0; x < width; ++x) {
                const std::uint32_t v = wordAt(row + 4 * x);
                if ((v >> 30) != 0 || !videoCode(v & 0x3FF) || !videoCode((v >> 10) & 0x3FF)) {
                    return false;
                }
            }
        } else {
            // v210: every word of a group holds three fields; a partly used last group is
            // checked for its reserved bits only.
            const long long fullGroups = width / 6, groups = (width + 5) / 6;
            for (long long g = 0; g < groups; ++g) {
                for (int k = 0; k < 4; ++k) {
                    const std::uint32_t v = wordAt(row + 16 * g + 4 * k);
                    if ((v >> 30) != 0) return false;
                    if (g < fullGroups && (!videoCode(v & 0x3FF) || !videoCode((v >> 10) & 0x3FF) ||
                                           !videoCode((v >> 20) & 0x3FF))) {
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

}  // namespace velmar
