#include "ui/controls/svg_icon.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <optional>
#include <vector>

namespace velmar {

QPixmap SvgIcon::fromFile(const QString& path, QSize size, const QColor& currentColor,
                          qreal devicePixelRatio) {
    QFile file(path);
    const QByteArray svg = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return render(svg, size, currentColor, devicePixelRatio);
}

QIcon SvgIcon::icon(const QString& path, QSize size, const QColor& color,
                    const QColor& disabledColor, qreal devicePixelRatio) {
    QIcon icon;
    icon.addPixmap(fromFile(path, size, color, devicePixelRatio), QIcon::Normal);
    icon.addPixmap(fromFile(path, size, disabledColor, devicePixelRatio), QIcon::Disabled);
    return icon;
}

namespace {

// Absolute M, L, H, V and Z commands; numbers may follow a command letter without a blank.
QPainterPath parsePathData(const QString& data) {
    static const QRegularExpression token(R"([MLHVZmlhvz]|-?(?:\d+\.?\d*|\.\d+))");
    QPainterPath path;
    QChar command;
    std::vector<double> numbers;
    auto flush = [&] {
        std::size_t i = 0;
        QPointF at = path.currentPosition();
        while (command == u'M' || command == u'L' || command == u'H' || command == u'V') {
            const std::size_t need = (command == u'H' || command == u'V') ? 1 : 2;
            if (i + need > numbers.size()) break;
            if (command == u'H')
                at.setX(numbers[i]);
            else if (command == u'V')
                at.setY(numbers[i]);
            else
                at = QPointF(numbers[i], numbers[i + 1]);
            i += need;
            if (command == u'M') {
                path.moveTo(at);
                command = u'L';  // further pairs after a move are lines
            } else {
                path.lineTo(at);
            }
        }
        numbers.clear();
    };
    for (const QRegularExpressionMatch& m : token.globalMatch(data)) {
        const QString t = m.captured(0);
        if (t[0].isLetter()) {
            flush();
            command = t[0].toUpper();
            if (command == u'Z') path.closeSubpath();
        } else {
            numbers.push_back(t.toDouble());
        }
    }
    flush();
    return path;
}

std::optional<QColor> paint(const QString& value, const QColor& current) {
    if (value.isEmpty() || value == QLatin1String("none")) return std::nullopt;
    if (value == QLatin1String("currentColor")) return current;
    const QColor color = QColor::fromString(value);
    if (!color.isValid()) return std::nullopt;
    return color;
}

}  // namespace

QPixmap SvgIcon::render(const QByteArray& svg, QSize size, const QColor& currentColor,
                        qreal devicePixelRatio) {
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    QXmlStreamReader xml(svg);
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QXmlStreamAttributes a = xml.attributes();
        const QStringView name = xml.name();
        if (name == QLatin1String("svg")) {
            const QStringList box = a.value("viewBox").toString().split(
                QRegularExpression(R"([\s,]+)"), Qt::SkipEmptyParts);
            if (box.size() == 4 && box[2].toDouble() > 0 && box[3].toDouble() > 0) {
                painter.scale(size.width() / box[2].toDouble(), size.height() / box[3].toDouble());
                painter.translate(-box[0].toDouble(), -box[1].toDouble());
            }
            continue;
        }
        QPainterPath shape;
        if (name == QLatin1String("circle")) {
            const double r = a.value("r").toDouble();
            shape.addEllipse(QPointF(a.value("cx").toDouble(), a.value("cy").toDouble()), r, r);
        } else if (name == QLatin1String("path")) {
            shape = parsePathData(a.value("d").toString());
        } else {
            continue;
        }
        // SVG fills black when no fill is named.
        const QString fillValue =
            a.hasAttribute("fill") ? a.value("fill").toString() : QStringLiteral("#000000");
        if (const std::optional<QColor> fill = paint(fillValue, currentColor))
            painter.fillPath(shape, *fill);
        if (const std::optional<QColor> stroke =
                paint(a.value("stroke").toString(), currentColor)) {
            const double width =
                a.hasAttribute("stroke-width") ? a.value("stroke-width").toDouble() : 1.0;
            painter.strokePath(shape,
                               QPen(*stroke, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        }
    }
    return pixmap;
}

}  // namespace velmar
