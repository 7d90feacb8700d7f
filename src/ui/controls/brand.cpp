#include "ui/controls/brand.h"

#include <cmath>

namespace velmar {

const std::optional<QImage>& Brand::logoImage() {
    static const std::optional<QImage> image = []() -> std::optional<QImage> {
        QImage loaded(QStringLiteral(":/brand/BrandLogo.png"));
        if (loaded.isNull()) return std::nullopt;
        return loaded;
    }();
    return image;
}

double Brand::logoWidth(double height, QSizeF imageSize) {
    const double aspect = imageSize.height() > 0 ? imageSize.width() / imageSize.height() : 3.0;
    return std::round(height * aspect);
}

}  // namespace velmar
