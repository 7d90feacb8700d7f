#include "ui/panels/transport_bar.h"

#include "core/playout_engine.h"
#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"
#include "ui/controls/svg_icon.h"

#include <algorithm>

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace velmar {

namespace {

constexpr double kPadX = 10;
constexpr double kSpacing = 10;
constexpr double kChipWidth = 40;
constexpr double kPositionWidth = 84;
constexpr double kSymbolSize = 14;

// The icon of a button: cue, frame back, play or pause, frame forward.
QString symbolPath(int button, bool running) {
    switch (button) {
        case 0:
            return QStringLiteral(":/icons/cue-to-start.svg");
        case 1:
            return QStringLiteral(":/icons/frame-back.svg");
        case 2:
            return running ? QStringLiteral(":/icons/pause.svg")
                           : QStringLiteral(":/icons/play.svg");
        default:
            return QStringLiteral(":/icons/frame-forward.svg");
    }
}

const char* helpKey(int button, bool running) {
    switch (button) {
        case 0:
            return L10N_KEY("頭出し");
        case 1:
            return L10N_KEY("コマ戻し");
        case 2:
            return running ? L10N_KEY("一時停止") : L10N_KEY("再生");
        default:
            return L10N_KEY("コマ送り");
    }
}

}  // namespace

TransportBar::Layout TransportBar::layout(double width) {
    Layout l;
    double x = kPadX;
    for (QRectF& r : l.buttons) {
        r = QRectF(x, (kHeight - 20) / 2, 24, 20);
        x += 24 + kSpacing;
    }
    l.dividerX = x;
    x += 1 + kSpacing;
    for (QRectF& r : l.chips) {
        r = QRectF(x, (kHeight - 16) / 2, kChipWidth, 16);
        x += kChipWidth + kSpacing;
    }
    const double positionX = std::max(width - kPadX - kPositionWidth, x + 20);
    l.track = QRectF(x, 6, std::max(positionX - kSpacing - x, 20.0), kHeight - 12);
    l.position = QRectF(positionX, 0, kPositionWidth, kHeight);
    return l;
}

TransportBar::TransportBar(QColor accent, QWidget* parent) : QWidget(parent), accent_(accent) {
    timer_.setInterval(200);
    connect(&timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    setMedia(std::nullopt);
}

TransportBar::TransportBar(PlayoutEngine& engine, QColor accent, QWidget* parent)
    : TransportBar(accent, parent) {
    connect(&engine, &PlayoutEngine::programChanged, this,
            [this, &engine] { setMedia(engine.programMedia()); });
    connect(&engine, &PlayoutEngine::stateChanged, this,
            [this](PlayoutEngine::State state) { setOnAir(state != PlayoutEngine::State::off); });
    setMedia(engine.programMedia());
    setOnAir(engine.state() != PlayoutEngine::State::off);
}

void TransportBar::setMedia(const std::optional<PlayoutMedia>& media) {
    const auto* movie = media ? media->asMovie() : nullptr;
    const MoviePlayback* playback = movie ? movie->playback.get() : nullptr;
    if (playback != playback_ || !playback) {
        playback_ = playback;
        presenter_.setMovie(movie ? TransportMovie::wrap(movie->playback) : nullptr);
    }
    const bool hasMovie = presenter_.hasMovie();
    setAttribute(Qt::WA_TransparentForMouseEvents, !hasMovie);
    if (hasMovie != timer_.isActive()) hasMovie ? timer_.start() : timer_.stop();
    update();
}

void TransportBar::setOnAir(bool onAir) {
    if (onAir == onAir_) return;
    onAir_ = onAir;
    update();
}

void TransportBar::setScale(double s) {
    if (s == scale_) return;
    scale_ = s;
    updateGeometry();
    update();
}

QSize TransportBar::sizeHint() const {
    return QSize(qRound(560 * scale_), qRound(kHeight * scale_));
}

double TransportBar::secondsAt(double x) const {
    const QRectF track = layout(width() / scale_).track;
    const double f = std::clamp((x - track.left()) / track.width(), 0.0, 1.0);
    return f * presenter_.sliderMaximum();
}

void TransportBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPointF p = event->position() / scale_;
    const Layout l = layout(width() / scale_);
    if (l.buttons[0].contains(p)) presenter_.cueToStart();
    if (l.buttons[1].contains(p)) presenter_.stepFrame(-1);
    if (l.buttons[2].contains(p)) presenter_.playPause();
    if (l.buttons[3].contains(p)) presenter_.stepFrame(1);
    for (size_t i = 0; i < l.chips.size(); ++i)
        if (l.chips[i].contains(p)) presenter_.chooseRate(TransportBarPresenter::kChipRates[i]);
    if (l.track.contains(p)) {
        presenter_.beginScrub();
        presenter_.scrubTo(secondsAt(p.x()));
    }
    update();
}

void TransportBar::mouseMoveEvent(QMouseEvent* event) {
    if (!presenter_.isScrubbing()) return;
    presenter_.scrubTo(secondsAt(event->position().x() / scale_));
    update();
}

void TransportBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !presenter_.isScrubbing()) return;
    presenter_.endScrub();
    update();
}

bool TransportBar::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QPointF p = QPointF(help->pos()) / scale_;
        const Layout l = layout(width() / scale_);
        for (int i = 0; i < 4; ++i)
            if (l.buttons[i].contains(p)) {
                QToolTip::showText(help->globalPos(), localized(helpKey(i, presenter_.isRunning())),
                                   this);
                return true;
            }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}

const QPixmap& TransportBar::symbol(int button, bool running) const {
    // Drawn once per scale: five pictures, pause and play sharing the third button.
    const qreal ratio = scale_ * devicePixelRatioF();
    const int slot = button == 3 ? 4 : (button == 2 && !running ? 3 : button);
    QPixmap& icon = symbols_[size_t(slot)];
    if (icon.isNull() || icon.devicePixelRatio() != ratio) {
        icon = SvgIcon::fromFile(symbolPath(button, running), QSize(kSymbolSize, kSymbolSize),
                                 Palette::primaryText(), ratio);
    }
    return icon;
}

void TransportBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(presenter_.hasMovie() ? 1.0 : 0.35);
    painter.scale(scale_, scale_);
    const double w = width() / scale_;
    const Layout l = layout(w);

    QPainterPath back;
    back.addRoundedRect(QRectF(0, 0, w, kHeight), 4, 4);
    painter.fillPath(back, Palette::black(0.3));
    painter.setPen(QPen(
        onAir_ ? Palette::withOpacity(Palette::systemRed(), 0.5) : Palette::white(1, 0.08), 1));
    painter.drawRoundedRect(QRectF(0.5, 0.5, w - 1, kHeight - 1), 4, 4);

    const bool running = presenter_.isRunning();
    for (int i = 0; i < 4; ++i) {
        const QPixmap& icon = symbol(i, running);
        const QPointF c = l.buttons[i].center();
        painter.drawPixmap(QPointF(c.x() - kSymbolSize / 2, c.y() - kSymbolSize / 2), icon);
    }
    painter.fillRect(QRectF(l.dividerX, (kHeight - 14) / 2, 1, 14), Palette::white(1, 0.2));

    painter.setFont(DesignScale::font(10, 1, QFont::DemiBold, true));
    for (size_t i = 0; i < l.chips.size(); ++i) {
        const double r = TransportBarPresenter::kChipRates[i];
        QPainterPath chip;
        chip.addRoundedRect(l.chips[i], 3, 3);
        painter.fillPath(chip, presenter_.isChipHighlighted(r) ? Palette::withOpacity(accent_, 0.35)
                                                               : Palette::white(1, 0.08));
        painter.setPen(Palette::primaryText());
        painter.drawText(l.chips[i], Qt::AlignCenter, TransportBarPresenter::chipLabel(r));
    }

    // Scrub track and knob.
    const QRectF& track = l.track;
    const double cy = track.center().y();
    QPainterPath groove;
    groove.addRoundedRect(QRectF(track.left(), cy - 2, track.width(), 4), 2, 2);
    painter.fillPath(groove, Palette::white(1, 0.2));
    const double f = std::clamp(presenter_.sliderValue() / presenter_.sliderMaximum(), 0.0, 1.0);
    const double kx = track.left() + f * track.width();
    painter.setBrush(Palette::white(0.85));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(kx, cy), 6, 6);

    painter.setFont(DesignScale::font(10, 1, QFont::Normal, true));
    painter.setPen(Palette::secondaryText());
    painter.drawText(l.position, Qt::AlignRight | Qt::AlignVCenter, presenter_.positionText());
}

}  // namespace velmar
