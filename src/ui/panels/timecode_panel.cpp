#include "ui/panels/timecode_panel.h"

#include "app/app_state.h"
#include "core/movie_playback.h"
#include "core/playout_engine.h"
#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"
#include "ui/panels/level_meter.h"
#include "ui/panels/output_fader.h"
#include "ui/panels/output_fader_model.h"
#include "ui/panels/timecode_panel_model.h"

#include <algorithm>

#include <QPainter>
#include <QPainterPath>

namespace velmar {

namespace {
constexpr double kPadX = 10;
constexpr double kPadY = 5;
constexpr double kGap = 10;
constexpr double kHeight = 86;  // design units
const char* const kZero = "00:00:00:00";
}  // namespace

TimecodePanel::MeterInput TimecodePanel::meterInput(std::optional<ReferenceToneKind> tone,
                                                    ReferenceTone::MeterState toneMeter,
                                                    bool hasMovie, float movieLeft,
                                                    float movieRight, float playerRate,
                                                    double faderPosition) {
    if (tone)
        return {toneMeter.left, toneMeter.right, false, TimecodePanelModel::toneLabel(*tone), true};
    if (hasMovie) {
        const auto g = float(OutputFaderModel::gain(faderPosition));
        return {movieLeft * g, movieRight * g, playerRate == 0, std::nullopt, true};
    }
    return {};
}

TimecodePanel::TimecodePanel(Bindings bindings, QColor accent, QWidget* parent)
    : QWidget(parent),
      bindings_(std::move(bindings)),
      accent_(accent),
      meter_(new LevelMeter(this)),
      fader_(new OutputFader(bindings_.faderPosition, bindings_.setFaderPosition, this)) {
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &TimecodePanel::refresh);
    if (bindings_.tone)
        connect(bindings_.tone, &ReferenceTone::kindChanged, this, &TimecodePanel::refresh);
    refresh();
}

TimecodePanel::TimecodePanel(AppState& app, ReferenceTone& tone, QColor accent, QWidget* parent)
    : TimecodePanel(Bindings{[&app] { return app.faderPosition(); },
                             [&app](double p) { app.setFaderPosition(p); }, &tone},
                    accent, parent) {
    PlayoutEngine& engine = app.engine();
    connect(&app, &AppState::faderPositionChanged, this, &TimecodePanel::refresh);
    connect(&engine, &PlayoutEngine::programChanged, this,
            [this, &engine] { setMedia(engine.programMedia()); });
    connect(&engine, &PlayoutEngine::frameRateChanged, this,
            [this, &engine] { setFrameRate(engine.frameRate()); });
    frameRate_ = engine.frameRate();
    setMedia(engine.programMedia());
}

std::shared_ptr<MoviePlayback> TimecodePanel::movie() const {
    if (!media_) return nullptr;
    const auto* movie = media_->asMovie();
    return movie ? movie->playback : nullptr;
}

void TimecodePanel::setMedia(std::optional<PlayoutMedia> media) {
    media_ = std::move(media);
    refresh();
}

void TimecodePanel::setFrameRate(FrameRate rate) {
    frameRate_ = rate;
    refresh();
}

void TimecodePanel::setScale(double s) {
    if (s == scale_) return;
    scale_ = s;
    meter_->setScale(s);
    fader_->setScale(s);
    updateGeometry();
    layoutChildren();
    update();
}

QSize TimecodePanel::sizeHint() const {
    return QSize(qRound(520 * scale_), qRound(kHeight * scale_));
}

void TimecodePanel::refresh() {
    const auto playback = movie();
    std::optional<ReferenceToneKind> tone;
    ReferenceTone::MeterState toneMeter;
    if (bindings_.tone) {
        tone = bindings_.tone->kind();
        if (tone) toneMeter = bindings_.tone->meter();
    }
    float left = 0, right = 0, rate = 0;
    if (playback) {
        const auto levels = playback->audioLevels();
        left = levels.left;
        right = levels.right;
        rate = playback->playerRate();
        const double current = playback->currentTimeSeconds();
        currentText_ =
            TimecodePanelModel::timecode(TimecodePanelModel::currentSeconds(current), frameRate_);
        remainingText_ = TimecodePanelModel::timecode(
            TimecodePanelModel::remainingSeconds(playback->durationSeconds(), current), frameRate_);
    } else {
        currentText_ = remainingText_ = QString::fromLatin1(kZero);
    }
    const MeterInput input = meterInput(tone, toneMeter, playback != nullptr, left, right, rate,
                                        bindings_.faderPosition());
    meter_->setLevels(input.left, input.right, input.isIdle, input.toneLabel);
    fader_->setBypassed(tone.has_value());
    fader_->update();
    const bool ticks = playback != nullptr || input.ticks;
    if (ticks != timer_.isActive()) ticks ? timer_.start() : timer_.stop();
    update();
}

double TimecodePanel::linesWidth() const {
    const double w = width() / scale_;
    const double v = TimecodePanelModel::valueFontSize(w);
    const QFont font = DesignScale::font(v, 1, QFont::DemiBold, true);
    return TimecodePanelModel::labelColumnWidth(w) + 8 +
           QFontMetricsF(font).horizontalAdvance(QString::fromLatin1(kZero));
}

void TimecodePanel::resizeEvent(QResizeEvent*) {
    layoutChildren();
}

void TimecodePanel::layoutChildren() {
    const double w = width() / scale_;
    const double h = height() / scale_;
    const double x = kPadX + linesWidth() + kGap + 1 + kGap;
    const double stripW = std::max(w - kPadX - x, 1.0);
    const double stripH = LevelMeter::kHeight + 2 + OutputFader::kHeight;
    const double y = std::max((h - stripH) / 2, kPadY);
    meter_->setGeometry(qRound(x * scale_), qRound(y * scale_), qRound(stripW * scale_),
                        qRound(LevelMeter::kHeight * scale_));
    fader_->setGeometry(qRound(x * scale_), qRound((y + LevelMeter::kHeight + 2) * scale_),
                        qRound(stripW * scale_), qRound(OutputFader::kHeight * scale_));
}

void TimecodePanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale_, scale_);
    const double w = width() / scale_;
    const double h = height() / scale_;
    QPainterPath back;
    back.addRoundedRect(QRectF(0, 0, w, h), 4, 4);
    painter.fillPath(back, Palette::black(0.35));

    const bool inactive = movie() == nullptr;
    const double v = TimecodePanelModel::valueFontSize(w);
    const double l = TimecodePanelModel::labelFontSize(w);
    const double column = TimecodePanelModel::labelColumnWidth(w);
    const QColor valueColor = inactive ? Palette::white(0.66, 0.4) : Palette::white(0.96);
    const QColor labelColor = Palette::white(0.66, inactive ? 0.4 : 1.0);
    const QFont labelFont = DesignScale::font(l, 1, QFont::Normal, true);
    const QFont valueFont = DesignScale::font(v, 1, QFont::DemiBold, true);
    const double lineH = QFontMetricsF(valueFont).height();
    double y = std::max((h - 2 * lineH - 1) / 2, kPadY);
    auto line = [&](const QString& label, const QString& value, const QColor& color) {
        painter.setFont(labelFont);
        painter.setPen(labelColor);
        painter.drawText(QRectF(kPadX, y, column, lineH), Qt::AlignLeft | Qt::AlignVCenter, label);
        painter.setFont(valueFont);
        painter.setPen(color);
        painter.drawText(QRectF(kPadX + column + 8, y, w, lineH), Qt::AlignLeft | Qt::AlignVCenter,
                         value);
        y += lineH + 1;
    };
    line(localized("TC"), currentText_, valueColor);
    line(localized("V終わりまであと"), remainingText_, inactive ? valueColor : accent_);
}

}  // namespace velmar
