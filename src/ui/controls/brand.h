#pragma once

#include <QImage>
#include <QSizeF>

#include <optional>

namespace velmar {

// The product logo: the image "BrandLogo" from the program's resources, loaded once on first use
// and never again; absent when the resources hold no such image.
struct Brand {
    static const std::optional<QImage>& logoImage();

    // Width of the logo drawn `height` high: round(height x a), halves away from zero, with a the
    // image's width over its height, or 3 when its height is not positive.
    static double logoWidth(double height, QSizeF imageSize);
};

}  // namespace velmar
