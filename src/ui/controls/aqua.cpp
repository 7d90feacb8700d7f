#include "ui/controls/aqua.h"

#include "ui/controls/palette.h"

#include <array>

namespace velmar {
namespace {

QLinearGradient topToBottom() {
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectMode);
    return gradient;
}

}  // namespace

QLinearGradient Aqua::glossy(const QColor& color, bool bright) {
    QLinearGradient gradient = topToBottom();
    gradient.setColorAt(0, Palette::withOpacity(color, bright ? 1.0 : 0.85));
    gradient.setColorAt(1, Palette::withOpacity(color, bright ? 0.72 : 0.55));
    return gradient;
}

QLinearGradient Aqua::shine() {
    QLinearGradient gradient = topToBottom();
    gradient.setColorAt(0.0, Palette::white(1, 0.34));
    gradient.setColorAt(0.48, Palette::white(1, 0.10));
    gradient.setColorAt(0.50, Palette::white(1, 0));
    gradient.setColorAt(1.0, Palette::white(1, 0));
    return gradient;
}

QColor Aqua::sectionColor(int i) {
    static const std::array<std::array<float, 3>, 8> kPalette{{
        {0.26f, 0.52f, 0.85f},
        {0.85f, 0.45f, 0.28f},
        {0.32f, 0.66f, 0.44f},
        {0.68f, 0.38f, 0.72f},
        {0.85f, 0.68f, 0.26f},
        {0.30f, 0.64f, 0.70f},
        {0.80f, 0.36f, 0.48f},
        {0.48f, 0.52f, 0.78f},
    }};
    const auto& c = kPalette[static_cast<unsigned>(i) & 7u];
    return QColor::fromRgbF(c[0], c[1], c[2]);
}

}  // namespace velmar
