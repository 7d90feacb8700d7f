#include "render/test_pattern_renderer.h"

#include <QColor>
#include <QColorSpace>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace velmar {
namespace {

using Colour = TestPatternRenderer::Colour;

constexpr double kMinLabelSize = 6.0;

// round(num / den), half away from zero, for num >= 0 and den > 0.
long long roundDiv(long long num, long long den) {
    return (2 * num + den) / (2 * den);
}

// ceil(num / den) for num >= 0 and den > 0.
long long ceilDiv(long long num, long long den) {
    return (num + den - 1) / den;
}

// The seven bars, left to right.
constexpr std::array<std::array<double, 3>, 7> kBarColours = {{
    {1, 1, 1},
    {1, 1, 0},
    {0, 1, 1},
    {0, 1, 0},
    {1, 0, 1},
    {1, 0, 0},
    {0, 0, 1},
}};

// The four ramps, top to bottom.
constexpr std::array<std::array<double, 3>, 4> kRampColours = {{
    {1, 1, 1},
    {1, 0, 0},
    {0, 1, 0},
    {0, 0, 1},
}};

const Colour kWhite{255, 255, 255};
const Colour kBlack{0, 0, 0};

std::uint32_t packed(Colour c) {
    const std::uint8_t bytes[4] = {c.r, c.g, c.b, 255};
    std::uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

QColor qcolor(Colour c) {
    return QColor(c.r, c.g, c.b);
}

QFont labelFont() {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setBold(true);
    // Glyph outlines are laid out at a large size and scaled, so fractional sizes are exact.
    font.setPixelSize(256);
    return font;
}

}  // namespace

Colour Colour::fromUnit(double r, double g, double b) {
    auto to8 = [](double c) {
        return static_cast<std::uint8_t>(std::lround(std::clamp(c, 0.0, 1.0) * 255.0));
    };
    return Colour{to8(r), to8(g), to8(b)};
}

std::vector<int> TestPatternRenderer::edges(int length, int count) {
    std::vector<int> out;
    if (count < 1) return out;
    const long long len = std::max(length, 0);
    out.reserve(static_cast<size_t>(count) + 1);
    for (int i = 0; i <= count; ++i) out.push_back(static_cast<int>(roundDiv(len * i, count)));
    return out;
}

void TestPatternRenderer::fillPixels(QImage& image, long long x0, long long y0, long long x1,
                                     long long y1, Colour colour) {
    x0 = std::max<long long>(x0, 0);
    y0 = std::max<long long>(y0, 0);
    x1 = std::min<long long>(x1, image.width());
    y1 = std::min<long long>(y1, image.height());
    if (x0 >= x1 || y0 >= y1) return;
    const std::uint32_t value = packed(colour);
    const qsizetype stride = image.bytesPerLine();
    uchar* bits = image.bits();
    for (long long y = y0; y < y1; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(bits + y * stride);
        std::fill(row + x0, row + x1, value);
    }
}

void TestPatternRenderer::fillRect(QImage& image, double x, double y, double w, double h,
                                   Colour colour) {
    if (!(w > 0) || !(h > 0)) return;
    // Pixel i is covered when x <= i + 0.5 < x + w, that is ceil(x - 0.5) <= i < ceil(x + w - 0.5).
    auto first = [](double v) {
        const double c = std::ceil(v - 0.5);
        return static_cast<long long>(std::clamp(c, -1.0, 1e12));
    };
    fillPixels(image, first(x), first(y), first(x + w), first(y + h), colour);
}

void TestPatternRenderer::drawLabel(QImage& image, const QString& text, double size, double cx,
                                    double cy, Colour colour) {
    if (!(size >= kMinLabelSize) || text.isEmpty()) return;
    QPainterPath path;
    path.addText(0, 0, labelFont(), text);
    path = QTransform::fromScale(size / 256.0, size / 256.0).map(path);
    const QPointF centre = path.boundingRect().center();
    path.translate(cx - centre.x(), cy - centre.y());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(path, qcolor(colour));
}

void TestPatternRenderer::resolutionLabel(QImage& image, int w, int h, double y) {
    const QString text = QString::number(w) + QString::fromUtf8(" × ") + QString::number(h);
    drawLabel(image, text, h * 0.035, w / 2.0, y, kWhite);
}

void TestPatternRenderer::drawBars(QImage& image, const QRect& rect, double level) {
    if (rect.width() < 1 || rect.height() < 1) return;
    const std::vector<int> e = edges(rect.width(), 7);
    for (int i = 0; i < 7; ++i) {
        const auto& c = kBarColours[i];
        fillPixels(image, rect.x() + e[i], rect.y(), rect.x() + e[i + 1],
                   static_cast<long long>(rect.y()) + rect.height(),
                   Colour::fromUnit(c[0] * level, c[1] * level, c[2] * level));
    }
}

void TestPatternRenderer::drawSMPTEBars(QImage& image, int w, int h) {
    if (w < 1 || h < 1) return;
    const long long top = roundDiv(2LL * h, 3);
    drawBars(image, QRect(0, 0, w, static_cast<int>(top)), 0.75);

    const long long m = roundDiv(3LL * h, 4);
    const std::vector<int> e = edges(w, 7);
    const Colour middle[7] = {
        Colour::fromUnit(0, 0, 0.75),    kBlack, Colour::fromUnit(0.75, 0, 0.75),    kBlack,
        Colour::fromUnit(0, 0.75, 0.75), kBlack, Colour::fromUnit(0.75, 0.75, 0.75),
    };
    for (int i = 0; i < 7; ++i) fillPixels(image, e[i], top, e[i + 1], m, middle[i]);

    // b = w / 7, q = 5b / 4 = 5w / 28; each boundary adds round(q) to an integer.
    const long long x1 = roundDiv(5LL * w, 28);
    const long long x2 = 2 * x1, x3 = 3 * x1, x4 = 4 * x1;
    fillPixels(image, 0, m, x1, h, Colour::fromUnit(0, 0.129, 0.298));
    fillPixels(image, x1, m, x2, h, kWhite);
    fillPixels(image, x2, m, x3, h, Colour::fromUnit(0.196, 0, 0.416));
    fillPixels(image, x3, m, x4, h, kBlack);
    const long long p1 = x4 + roundDiv(w, 21);
    const long long p2 = x4 + roundDiv(2LL * w, 21);
    fillPixels(image, x4, m, p1, h, kBlack);
    fillPixels(image, p1, m, p2, h, Colour::fromUnit(0.04, 0.04, 0.04));
    // From p2 to the right edge everything stays black.
}

void TestPatternRenderer::drawGrayscale(QImage& image, int w, int h) {
    if (w < 1 || h < 1) return;
    const std::vector<int> e = edges(w, 11);
    for (int i = 0; i <= 10; ++i) {
        const auto level = static_cast<std::uint8_t>(roundDiv(255LL * i, 10));
        fillPixels(image, e[i], 0, e[i + 1], h, Colour{level, level, level});
    }
    const double size = h * 0.025;
    if (size < kMinLabelSize) return;
    for (int i = 0; i <= 10; ++i) {
        drawLabel(image, QString::number(i * 10) + QLatin1Char('%'), size, (e[i] + e[i + 1]) / 2.0,
                  0.94 * h, i <= 5 ? kWhite : kBlack);
    }
}

void TestPatternRenderer::drawRamps(QImage& image, int width, int height) {
    if (width < 1 || height < 1) return;
    const long long d = width < 3 ? 1 : width - 1;
    const long long bias = (width - 1) / 2;
    const std::vector<int> bands = edges(height, 4);
    std::vector<std::uint32_t> row(static_cast<size_t>(width));
    for (int band = 0; band < 4; ++band) {
        const auto& c = kRampColours[band];
        for (int x = 0; x < width; ++x) {
            const auto v =
                static_cast<std::uint8_t>(std::min<long long>((255LL * x + bias) / d, 255));
            row[x] = packed(Colour{static_cast<std::uint8_t>(c[0] > 0 ? v : 0),
                                   static_cast<std::uint8_t>(c[1] > 0 ? v : 0),
                                   static_cast<std::uint8_t>(c[2] > 0 ? v : 0)});
        }
        for (int y = bands[band]; y < bands[band + 1] && y < image.height(); ++y) {
            std::memcpy(image.scanLine(y), row.data(),
                        sizeof(std::uint32_t) * std::min(width, image.width()));
        }
    }
}

void TestPatternRenderer::drawCrosshatch(QImage& image, int w, int h) {
    if (w < 1 || h < 1) return;
    const long long step = roundDiv(h, 9);
    const long long t = std::max<long long>(roundDiv(h, 540), 1);
    const long long cx = roundDiv(w, 2);
    const long long cy = roundDiv(h, 2);
    const double half = t / 2.0;

    // The grid. Below a step of one pixel (heights up to 4) only the centre lines are drawn:
    // stepping by zero would never end.
    fillRect(image, cx - half, 0, t, h, kWhite);
    fillRect(image, 0, cy - half, w, t, kWhite);
    if (step >= 1) {
        for (long long x = cx - step; x >= 0; x -= step) fillRect(image, x - half, 0, t, h, kWhite);
        for (long long x = cx + step; x <= w; x += step) fillRect(image, x - half, 0, t, h, kWhite);
        for (long long y = cy - step; y >= 0; y -= step) fillRect(image, 0, y - half, w, t, kWhite);
        for (long long y = cy + step; y <= h; y += step) fillRect(image, 0, y - half, w, t, kWhite);
    }

    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setBrush(Qt::NoBrush);
        QPen pen(qcolor(kWhite), static_cast<double>(t), Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        painter.setPen(pen);
        const double r = 0.45 * h;
        painter.drawEllipse(QPointF(cx, cy), r, r);
        painter.drawLine(QPointF(0, 0), QPointF(w, h));
        painter.drawLine(QPointF(w, 0), QPointF(0, h));
        pen.setColor(qcolor(Colour::fromUnit(1, 0.8, 0)));
        painter.setPen(pen);
        painter.drawRect(QRectF(0.05 * w, 0.05 * h, 0.9 * w, 0.9 * h));
        pen.setColor(qcolor(Colour::fromUnit(0, 0.8, 1)));
        painter.setPen(pen);
        painter.drawRect(QRectF(0.1 * w, 0.1 * h, 0.8 * w, 0.8 * h));
    }

    const Colour red{255, 0, 0};
    fillRect(image, cx - 2.0 * t, cy - step / 2.0, 4.0 * t, static_cast<double>(step), red);
    fillRect(image, cx - step / 2.0, cy - 2.0 * t, static_cast<double>(step), 4.0 * t, red);

    resolutionLabel(image, w, h, cy + 0.6 * step);
}

void TestPatternRenderer::drawEdgeFrame(QImage& image, int w, int h) {
    if (w < 1 || h < 1) return;
    // Rings at insets 0, 1 and 2. Each ring is the border of the rectangle [k, w - k) x
    // [k, h - k) and never reaches outside it, so on canvases narrower than five pixels an
    // inner ring cannot paint over an outer one; an empty rectangle has no ring.
    const Colour rings[3] = {kWhite, Colour{255, 0, 0}, Colour{0, 255, 0}};
    for (int k = 0; k < 3; ++k) {
        const long long x0 = k, y0 = k, x1 = w - k, y1 = h - k;
        if (x1 <= x0 || y1 <= y0) break;
        fillPixels(image, x0, y0, x1, y0 + 1, rings[k]);
        fillPixels(image, x0, y1 - 1, x1, y1, rings[k]);
        fillPixels(image, x0, y0, x0 + 1, y1, rings[k]);
        fillPixels(image, x1 - 1, y0, x1, y1, rings[k]);
    }

    // Corner marks, inset 8 pixels. L = round(min(w, h) x 0.08) = round(2 min / 25).
    const long long L = roundDiv(2LL * std::min(w, h), 25);
    const long long t = std::max<long long>(roundDiv(h, 360), 2);
    const Colour yellow{255, 255, 0};
    auto mark = [&](long long x, long long y, long long mw, long long mh) {
        if (mw > 0 && mh > 0) fillPixels(image, x, y, x + mw, y + mh, yellow);
    };
    mark(8, 8, L, t);
    mark(8, 8, t, L);
    mark(w - 8 - L, 8, L, t);
    mark(w - 8 - t, 8, t, L);
    mark(8, h - 8 - t, L, t);
    mark(8, h - 8 - L, t, L);
    mark(w - 8 - L, h - 8 - t, L, t);
    mark(w - 8 - t, h - 8 - L, t, L);

    const double size = h * 0.022;
    if (size >= kMinLabelSize) {
        const double l = static_cast<double>(L);
        const QString xMax = QString::number(w - 1), yMax = QString::number(h - 1);
        drawLabel(image, QStringLiteral("0, 0"), size, 8 + 1.4 * l, 8 + 0.6 * l, kWhite);
        drawLabel(image, xMax + QStringLiteral(", 0"), size, w - 8 - 1.6 * l, 8 + 0.6 * l, kWhite);
        drawLabel(image, QStringLiteral("0, ") + yMax, size, 8 + 1.6 * l, h - 8 - 0.6 * l, kWhite);
        drawLabel(image, xMax + QStringLiteral(", ") + yMax, size, w - 8 - 1.9 * l, h - 8 - 0.6 * l,
                  kWhite);
    }

    const long long cx = w / 2, cy = h / 2;
    fillRect(image, static_cast<double>(cx), cy - L / 2.0, 1, static_cast<double>(L), kWhite);
    fillRect(image, cx - L / 2.0, static_cast<double>(cy), static_cast<double>(L), 1, kWhite);

    resolutionLabel(image, w, h, static_cast<double>(cy + L));
}

void TestPatternRenderer::drawPixelLines(QImage& image, int width, int height) {
    if (width < 1 || height < 1) return;
    const int half = width / 2;
    if (width > 1) {
        for (int x = 0; x < half; x += 2) fillPixels(image, x, 0, x + 1, height, kWhite);
    }
    for (int y = 0; y < height; y += 2) fillPixels(image, half, y, width, y + 1, kWhite);
}

void TestPatternRenderer::drawPixelChecker(QImage& image, int width, int height) {
    if (width < 1 || height < 1 || image.isNull()) return;
    const std::uint32_t light = packed(kWhite), dark = packed(kBlack);
    const int w = std::min(width, image.width()), h = std::min(height, image.height());
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) row[x] = ((x + y) & 1) == 0 ? light : dark;
    }
}

void TestPatternRenderer::drawCabinets(QImage& image, int width, int height,
                                       LEDCabinetSize cabinet) {
    if (width < 1 || height < 1) return;
    const long long cw = std::max(cabinet.width, 1), ch = std::max(cabinet.height, 1);
    const long long columns = ceilDiv(width, cw), rows = ceilDiv(height, ch);
    const Colour cut = Colour::fromUnit(0.45, 0.22, 0);
    const Colour even = Colour::fromUnit(0.1, 0.16, 0.32);
    const Colour odd = Colour::fromUnit(0.2, 0.2, 0.2);

    struct Label {
        long long k, r, x, y, cellW, cellH;
    };
    std::vector<Label> labels;
    for (long long r = 0; r < rows; ++r) {
        for (long long k = 0; k < columns; ++k) {
            const long long x = k * cw, y = r * ch;
            const long long cellW = std::min(width - x, cw), cellH = std::min(height - y, ch);
            const bool cutShort = width - x < cw || height - y < ch;
            fillPixels(image, x, y, x + cellW, y + cellH,
                       cutShort ? cut : ((r + k) % 2 == 0 ? even : odd));
            fillPixels(image, x, y, x + cellW, y + 1, kWhite);
            fillPixels(image, x, y + cellH - 1, x + cellW, y + cellH, kWhite);
            fillPixels(image, x, y, x + 1, y + cellH, kWhite);
            fillPixels(image, x + cellW - 1, y, x + cellW, y + cellH, kWhite);
            if (cellW >= 40 && cellH >= 24) labels.push_back({k, r, x, y, cellW, cellH});
        }
    }
    for (const Label& l : labels) {
        const double size = std::min(std::min(l.cellW, l.cellH) * 0.22, 64.0);
        drawLabel(image, QString::number(l.k + 1) + QLatin1Char('-') + QString::number(l.r + 1),
                  size, l.x + l.cellW / 2.0, l.y + l.cellH / 2.0, kWhite);
    }
}

QString TestPatternRenderer::cabinetSummary(int width, int height, LEDCabinetSize cabinet) {
    const long long w = std::max(width, 0), h = std::max(height, 0);
    const long long cw = std::max(cabinet.width, 1), ch = std::max(cabinet.height, 1);
    const long long columns = ceilDiv(w, cw), rows = ceilDiv(h, ch);
    QString text = QString::number(cw) + QString::fromUtf8("×") + QString::number(ch) +
                   QString::fromUtf8(" px・") + QString::number(columns) + QString::fromUtf8("×") +
                   QString::number(rows) + QString::fromUtf8(" 枚");
    const long long restX = w % cw, restY = h % ch;
    if (restX == 0 && restY == 0) {
        text += QString::fromUtf8("・端数なし");
    } else {
        text += QString::fromUtf8("・端数 右 ") + QString::number(restX) +
                QString::fromUtf8(" px / 下 ") + QString::number(restY) + QString::fromUtf8(" px");
    }
    return text;
}

ImageRef TestPatternRenderer::makeImage(TestPatternKind kind, int width, int height,
                                        LEDCabinetSize cabinet) {
    if (width < 1 || height < 1) return nullptr;
    QImage image(width, height, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull()) return nullptr;
    image.setColorSpace(QColorSpace(QColorSpace::SRgb));
    fillPixels(image, 0, 0, width, height, kBlack);

    auto fillAll = [&](double r, double g, double b) {
        fillPixels(image, 0, 0, width, height, Colour::fromUnit(r, g, b));
    };
    switch (kind) {
        case TestPatternKind::colorBars75:
            drawBars(image, QRect(0, 0, width, height), 0.75);
            break;
        case TestPatternKind::colorBars100:
            drawBars(image, QRect(0, 0, width, height), 1.0);
            break;
        case TestPatternKind::smpteBars:
            drawSMPTEBars(image, width, height);
            break;
        case TestPatternKind::grayscale11:
            drawGrayscale(image, width, height);
            break;
        case TestPatternKind::ramps:
            drawRamps(image, width, height);
            break;
        case TestPatternKind::white:
            fillAll(1, 1, 1);
            break;
        case TestPatternKind::black:
            break;
        case TestPatternKind::red:
            fillAll(1, 0, 0);
            break;
        case TestPatternKind::green:
            fillAll(0, 1, 0);
            break;
        case TestPatternKind::blue:
            fillAll(0, 0, 1);
            break;
        case TestPatternKind::gray50:
            fillAll(0.5, 0.5, 0.5);
            break;
        case TestPatternKind::crosshatch:
            drawCrosshatch(image, width, height);
            break;
        case TestPatternKind::edgeFrame:
            drawEdgeFrame(image, width, height);
            break;
        case TestPatternKind::pixelLines:
            drawPixelLines(image, width, height);
            break;
        case TestPatternKind::pixelChecker:
            drawPixelChecker(image, width, height);
            break;
        case TestPatternKind::ledCabinet:
            drawCabinets(image, width, height, cabinet);
            break;
    }
    return std::make_shared<const QImage>(std::move(image));
}

}  // namespace velmar
