#include "ui/panels/output_fader.h"

#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"
#include "ui/panels/output_fader_model.h"

#include <algorithm>

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace velmar {

OutputFader::OutputFader(std::function<double()> position, std::function<void(double)> setPosition,
                         QWidget* parent)
    : QWidget(parent), position_(std::move(position)), setPosition_(std::move(setPosition)) {
    updateHelp();
}

void OutputFader::setBypassed(bool bypassed) {
    if (bypassed == isBypassed_) return;
    isBypassed_ = bypassed;
    updateHelp();
    update();
}

void OutputFader::updateHelp() {
    labelHelp_ = localized("出力フェーダー");
    // clang-format off
    setToolTip(isBypassed_
        ? localized("基準信号を出している間は、フェーダーは基準信号に掛かりません（PROGRAM の音声は止めています）")
        : localized("PROGRAM の音声の出力レベル（dB）。ダブルクリックで 0 dB に戻します。メーターはフェーダーを通したあとの値です。"));
    // clang-format on
}

void OutputFader::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) updateHelp();
    QWidget::changeEvent(event);
}

QString OutputFader::toolTipAt(QPointF pos) const {
    return pos.x() / scale_ < kLabelWidth ? labelHelp_ : toolTip();
}

bool OutputFader::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), toolTipAt(help->pos()), this);
        return true;
    }
    return QWidget::event(event);
}

void OutputFader::setScale(double s) {
    if (s == scale_) return;
    scale_ = s;
    updateGeometry();
    update();
}

QSize OutputFader::sizeHint() const {
    return QSize(qRound(240 * scale_), qRound(kHeight * scale_));
}

QRectF OutputFader::trackRect() const {
    const double x = (kLabelWidth + kSpacing) * scale_;
    const double w = std::max(width() - (kLabelWidth + kReadoutWidth + 2 * kSpacing) * scale_, 1.0);
    return QRectF(x, 0, w, height());
}

void OutputFader::setFromPointer(double x) {
    const QRectF track = trackRect();
    setPosition_(OutputFaderModel::positionAt(x - track.left(), track.width()));
    update();
}

void OutputFader::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    setFromPointer(event->position().x());
}

void OutputFader::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) setFromPointer(event->position().x());
}

void OutputFader::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    resetOnRelease_ = true;
    setFromPointer(event->position().x());
}

void OutputFader::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = false;
    if (resetOnRelease_) {
        resetOnRelease_ = false;
        setPosition_(1.0);  // a double click ends at 0 dB
        update();
    }
}

void OutputFader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isBypassed_ ? 0.4 : 1.0);
    painter.scale(scale_, scale_);
    const double width = this->width() / scale_;
    const double h = this->height() / scale_;
    const double p = position_();

    painter.setFont(DesignScale::font(10, 1, QFont::Bold, true));
    painter.setPen(Palette::secondaryText());
    painter.drawText(QRectF(0, 0, kLabelWidth + 4, h), Qt::AlignLeft | Qt::AlignVCenter,
                     localized("F"));

    const double x0 = kLabelWidth + kSpacing;
    const double w = std::max(width - kLabelWidth - kReadoutWidth - 2 * kSpacing, 1.0);
    const double cy = h / 2;
    QPainterPath groove;
    groove.addRoundedRect(QRectF(x0, cy - 2, w, 4), 2, 2);
    painter.fillPath(groove, Palette::black(0.6));
    const double fill = OutputFaderModel::fillWidth(p, w);
    if (fill > 0) {
        QPainterPath path;
        path.addRoundedRect(QRectF(x0, cy - 2, fill, 4), 2, 2);
        painter.fillPath(path, Palette::withOpacity(Palette::accentBlue(), 0.8));
    }
    for (int d : OutputFaderModel::marks()) {
        const double x = x0 + OutputFaderModel::markX(d, w);
        const double markH = d == 0 ? 12 : 8;
        painter.fillRect(QRectF(x - 0.5, cy - markH / 2, 1, markH),
                         Palette::white(1, d == 0 ? 0.7 : 0.35));
    }
    const double kx = x0 + OutputFaderModel::knobCenter(p, w);
    QPainterPath knob;
    knob.addRoundedRect(QRectF(kx - 5, cy - 8, 10, 16), 2, 2);
    painter.fillPath(knob.translated(0, 1), Palette::black(0.6));
    painter.fillPath(knob, Palette::white(0.85));
    painter.fillRect(QRectF(kx - 5, cy - 0.5, 10, 1), Palette::black(0.7));

    painter.setFont(DesignScale::font(10, 1, QFont::DemiBold, true));
    painter.setPen(OutputFaderModel::isReadoutOrange(p) ? Palette::systemOrange()
                                                        : Palette::secondaryText());
    painter.drawText(QRectF(width - kReadoutWidth - 8, 0, kReadoutWidth + 8, h),
                     Qt::AlignRight | Qt::AlignVCenter, OutputFaderModel::readout(p));
}

}  // namespace velmar
