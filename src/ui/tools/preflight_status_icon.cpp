#include "ui/tools/preflight_status_icon.h"

#include "ui/controls/palette.h"
#include "ui/controls/svg_icon.h"

namespace velmar {

using Status = PreflightRunner::Item::Status;

QString PreflightStatusIcon::resourcePath(Status status) {
    switch (status) {
        case Status::pending:
            return QStringLiteral(":/icons/circle.svg");
        case Status::running:
            return QStringLiteral(":/icons/clock.svg");
        case Status::ok:
            return QStringLiteral(":/icons/check.svg");
        case Status::warning:
            return QStringLiteral(":/icons/triangle.svg");
        case Status::failed:
            return QStringLiteral(":/icons/cross.svg");
    }
    return {};
}

QColor PreflightStatusIcon::color(Status status) {
    switch (status) {
        case Status::pending:
        case Status::running:
            return Palette::secondaryText();
        case Status::ok:
            return Palette::systemGreen();
        case Status::warning:
            return Palette::systemOrange();
        case Status::failed:
            return Palette::systemRed();
    }
    return Palette::secondaryText();
}

QPixmap PreflightStatusIcon::pixmap(Status status, int size, qreal devicePixelRatio) {
    return SvgIcon::fromFile(resourcePath(status), QSize(size, size), color(status),
                             devicePixelRatio);
}

}  // namespace velmar
