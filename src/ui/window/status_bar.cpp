#include "ui/window/status_bar.h"

#include "core/playout_engine.h"
#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace velmar {

namespace {
constexpr double kSpacing = 12;
}

StatusBar::StatusBar(PlayoutEngine& engine, QWidget* parent) : QWidget(parent), engine_(engine) {
    connect(&engine_, &PlayoutEngine::standingWarningChanged, this, &StatusBar::refresh);
    refresh();
}

const char* StatusBar::keyReminderKey() {
    // One literal, so the translation check finds the key whole.
    // clang-format off
    return L10N_KEY("←→ NEXT   Enter NEXT   V KEY ON/OFF   Space AUTO TRANS   N/B/M DSK   J/K/L 動画   1〜9 タブ   ESC 緊急停止   Tab デュレーション");
    // clang-format on
}

QString StatusBar::canvasText(const CanvasFormat& canvas, const FrameRate& rate) {
    return localizedFormat("%lld×%lld  %@", {static_cast<long long>(canvas.width),
                                             static_cast<long long>(canvas.height), rate.label()});
}

QString StatusBar::positionText(bool isAtEnd, const std::optional<ClipGroup>& group) {
    if (isAtEnd || !group) return localized("END");
    const long long count = group->clips.size();
    const long long position = std::clamp<long long>(group->selectedIndex, 0, count) + 1;
    return localizedFormat("%lld / %lld", {position, count});
}

void StatusBar::refresh() {
    QString message = engine_.lastMessage();
    QString canvas = canvasText(engine_.canvas(), engine_.frameRate());
    QString position = positionText(engine_.isAtEnd(), engine_.rundown().currentGroup());
    QString warning = engine_.standingWarning();
    if (message == message_ && canvas == canvas_ && position == position_ && warning == warning_)
        return;
    message_ = std::move(message);
    warning_ = std::move(warning);
    setToolTip(warning_);
    canvas_ = std::move(canvas);
    position_ = std::move(position);
    update();
}

// The figures hold looked-up texts.
void StatusBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) refresh();
    QWidget::changeEvent(event);
}

// A click acknowledges the standing warning.
void StatusBar::mousePressEvent(QMouseEvent* event) {
    if (!warning_.isEmpty()) engine_.setStandingWarning(QString());
    QWidget::mousePressEvent(event);
}

void StatusBar::setScale(double s) {
    scale_ = s;
    update();
}

void StatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.scale(scale_, scale_);
    const double width = this->width() / scale_;
    const double height = this->height() / scale_;
    const QFont font = DesignScale::font(11, 1);
    const QFont mono = DesignScale::font(11, 1, QFont::Normal, true);
    const QFontMetricsF textMetrics(font);
    const QFontMetricsF monoMetrics(mono);

    painter.setFont(font);
    painter.setPen(warning_.isEmpty() ? Palette::secondaryText() : Palette::systemRed());
    const QString reminder =
        warning_.isEmpty() ? localized(keyReminderKey()) : QStringLiteral("⚠ ") + warning_;
    // A warning keeps at most half the bar, so the latest message stays readable beside it.
    const double reminderWidth = warning_.isEmpty()
                                     ? textMetrics.horizontalAdvance(reminder)
                                     : std::min(textMetrics.horizontalAdvance(reminder), width / 2);
    painter.drawText(QRectF(0, 0, reminderWidth + 1, height), Qt::AlignLeft | Qt::AlignVCenter,
                     textMetrics.elidedText(reminder, Qt::ElideRight, reminderWidth + 1));

    // From the right edge: position, canvas figure, then the message in what is left.
    // The figures keep their own grey whatever stands at the left.
    painter.setFont(mono);
    painter.setPen(Palette::secondaryText());
    double right = width;
    for (const QString* figure : {&position_, &canvas_}) {
        const double w = monoMetrics.horizontalAdvance(*figure) + 1;
        painter.drawText(QRectF(right - w, 0, w, height), Qt::AlignRight | Qt::AlignVCenter,
                         *figure);
        right -= w + kSpacing;
    }
    if (message_.isEmpty()) return;
    const double left = reminderWidth + kSpacing;
    const double room = right - left;
    if (room <= 0) return;
    painter.setFont(font);
    painter.setPen(Palette::systemOrange());
    const QString shown = textMetrics.elidedText(message_, Qt::ElideRight, room);
    painter.drawText(QRectF(left, 0, room, height),
                     Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

}  // namespace velmar
