#include "ui/controls/background_level.h"

#include "ui/controls/palette.h"

#include <algorithm>
#include <array>

namespace velmar {

QColor BackgroundLevel::base(int level) {
    static constexpr std::array<double, 4> kWhite{0.02, 0.12, 0.22, 0.35};
    return Palette::white(kWhite[std::clamp(level, 0, 3)]);
}

}  // namespace velmar
