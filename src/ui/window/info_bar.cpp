#include "ui/window/info_bar.h"

#include "platform/base/host_clock.h"
#include "platform/base/timer.h"
#include "ui/controls/brand_logo_view.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"
#include "ui/window/analog_clock.h"
#include "ui/window/digital_clock.h"
#include "ui/window/on_air_sign.h"
#include "ui/window/pane_view.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <chrono>

namespace velmar {

namespace {
constexpr double kHorizontalPadding = 12;
constexpr double kVerticalPadding = 6;
constexpr double kLogoGroupShare = 0.42;
constexpr double kNameShare = 0.24;
constexpr int kBand = 64;
}  // namespace

InfoBar::InfoBar(HostClock& clock, TimerFactory& timers, QWidget* parent)
    : QWidget(parent), clock_(clock) {
    timer_ = timers.makeTimer([this] {
        ++ticks_;
        update();
    });
    logo_ = new BrandLogoView(this);
    logo_->setAttribute(Qt::WA_TransparentForMouseEvents);
}

InfoBar::~InfoBar() = default;

double InfoBar::scaleFor(double width) {
    return std::min(std::max(width / kDesignWidth, 0.62), 1.9);
}

double InfoBar::height(double width) {
    return 90 * scaleFor(width) + 2 * kVerticalPadding;
}

bool InfoBar::isLive(PlayoutEngine::State state, bool keyOutputEnabled, bool keyerActive,
                     bool testPatternShown) {
    if (state != PlayoutEngine::State::off && keyOutputEnabled) return true;
    if (keyerActive) return true;
    return testPatternShown;
}

void InfoBar::setWindowScale(double s) {
    if (windowScale_ == s) return;
    windowScale_ = s;
    layer_ = QImage();
    placeLogo();
    update();
}

void InfoBar::setLive(bool live) {
    if (live_ == live) return;
    live_ = live;
    layer_ = QImage();
    // Only the sign and its glow change.
    const QRectF sign = signRect().adjusted(-20, -20, 20, 20);
    update(QRectF(sign.topLeft() * windowScale_, sign.size() * windowScale_).toAlignedRect());
}

void InfoBar::setProjectName(const QString& name) {
    if (projectName_ == name) return;
    projectName_ = name;
    layer_ = QImage();
    update();
}

void InfoBar::setLoadFigures(const SystemLoadPanel::Figures& figures) {
    auto rows = SystemLoadPanel::rows(figures);
    if (rows == loadRows_) return;
    loadRows_ = std::move(rows);
    layer_ = QImage();
    update();
}

double InfoBar::measuredWidth() const {
    return width() / windowScale_;
}

QRectF InfoBar::signRect() const {
    const double w = measuredWidth();
    const double sb = scaleFor(w);
    const QSizeF size = OnAirSign::size(sb);
    const double h = height(w);
    return QRectF(w / 2 - size.width() / 2, h / 2 - size.height() / 2, size.width(), size.height());
}

QDateTime InfoBar::now() const {
    const auto since = clock_.wallNow().time_since_epoch();
    return QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void InfoBar::showEvent(QShowEvent*) {
    timer_->start(kTickSeconds, true);
}

void InfoBar::hideEvent(QHideEvent*) {
    timer_->stop();
}

// The layer holds looked-up texts (the sign, the load captions).
void InfoBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) layer_ = QImage();
    QWidget::changeEvent(event);
}

void InfoBar::resizeEvent(QResizeEvent*) {
    layer_ = QImage();
    placeLogo();
}

void InfoBar::placeLogo() {
    const double w = measuredWidth();
    const double sb = scaleFor(w);
    const double columnWidth = (kLogoGroupShare * w - 2 * 22 * sb) / 3;
    logo_->setHeight(45 * sb, windowScale_);
    const QSizeF logo = logo_->designSize();
    const double x = kHorizontalPadding + (columnWidth - logo.width()) / 2;
    const double y = height(w) / 2 - logo.height() / 2;
    logo_->setGeometry(QRectF(QPointF(x, y) * windowScale_, logo * windowScale_).toAlignedRect());
}

// Everything but the clocks changes only with the size, the sign, the name or the load
// figures, so it is drawn once into a layer; each tick copies the layer and draws the clocks.
void InfoBar::paintEvent(QPaintEvent*) {
    const double dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * dpr).toSize();
    if (layer_.size() != pixels || layer_.devicePixelRatio() != dpr) layer_ = QImage();
    if (layer_.isNull() && !pixels.isEmpty()) {
        layer_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        layer_.setDevicePixelRatio(dpr);
        layer_.fill(Qt::transparent);
        QPainter layer(&layer_);
        layer.setRenderHint(QPainter::Antialiasing);
        layer.scale(windowScale_, windowScale_);
        paintLayer(layer);
    }
    QPainter painter(this);
    // In bands of fewer than 96 rows: Qt's raster engine hands taller blends to its thread pool,
    // whose hand-offs cost more than the copy on a busy machine.
    for (int y = 0; y < layer_.height(); y += kBand) {
        const QRect band(0, y, layer_.width(), std::min(kBand, layer_.height() - y));
        painter.drawImage(QPointF(0, y / dpr), layer_, band);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(windowScale_, windowScale_);
    const double w = measuredWidth();
    const double sb = scaleFor(w);
    const QDateTime date = now();
    const double columnWidth = (kLogoGroupShare * w - 2 * 22 * sb) / 3;
    const double step = columnWidth + 22 * sb;
    const double clockWidth = DigitalClock::width(sb);
    DigitalClock::paint(painter,
                        QRectF(kHorizontalPadding + step + (columnWidth - clockWidth) / 2,
                               kVerticalPadding, clockWidth, 90 * sb),
                        date, sb);
    AnalogClock::paintHands(painter, faceRect(), date.toLocalTime().time());
}

QRectF InfoBar::faceRect() const {
    const double w = measuredWidth();
    const double sb = scaleFor(w);
    const double columnWidth = (kLogoGroupShare * w - 2 * 22 * sb) / 3;
    const double step = columnWidth + 22 * sb;
    const double face = 78 * sb;
    return QRectF(kHorizontalPadding + 2 * step + (columnWidth - face) / 2,
                  height(w) / 2 - face / 2, face, face);
}

void InfoBar::paintLayer(QPainter& painter) const {
    const double w = measuredWidth();
    const double sb = scaleFor(w);
    const double h = height(w);

    PaneView::fillRounded(painter, QRectF(0, 0, w, h), 6, Palette::black(0.3));

    const double top = kVerticalPadding;
    const double contentHeight = 90 * sb;

    // Logo, digital clock and analogue clock in three equal columns of 0.42 of the width.
    const double columnWidth = (kLogoGroupShare * w - 2 * 22 * sb) / 3;
    const QSizeF logo = logo_->designSize();
    const QSizeF logoBox(logo.width() + 12 * sb, logo.height() + 8 * sb);
    QPainterPath logoShape;
    logoShape.addRoundedRect(
        QRectF(kHorizontalPadding + (columnWidth - logoBox.width()) / 2,
               h / 2 - logoBox.height() / 2, logoBox.width(), logoBox.height()),
        5 * sb, 5 * sb);
    painter.fillPath(logoShape, Palette::white(0.84));
    AnalogClock::paintFace(painter, faceRect());

    // Load figures at the right edge.
    const QSizeF load = SystemLoadPanel::size(loadRows_, sb);
    SystemLoadPanel::paint(
        painter, QRectF(w - kHorizontalPadding - load.width(), top, load.width(), contentHeight),
        loadRows_, sb);

    OnAirSign::paint(painter, signRect(), live_, sb);

    // The project name begins 104 sb right of the centre line, in a frame 0.24 of the width,
    // shrinking to 0.45 of its size before it is cut.
    const double nameWidth = kNameShare * w;
    QFont nameFont = DesignScale::font(24 * sb, 1, QFont::Bold);
    const double fullWidth = QFontMetricsF(nameFont).horizontalAdvance(projectName_);
    if (fullWidth > nameWidth && fullWidth > 0) {
        const double factor = std::max(0.45, nameWidth / fullWidth);
        nameFont = DesignScale::font(24 * sb * factor, 1, QFont::Bold);
    }
    painter.setFont(nameFont);
    painter.setPen(Palette::primaryText());
    const QRectF nameRect(w / 2 + 104 * sb, top, nameWidth, contentHeight);
    const QString shown =
        QFontMetricsF(nameFont).elidedText(projectName_, Qt::ElideRight, nameWidth);
    painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

}  // namespace velmar
