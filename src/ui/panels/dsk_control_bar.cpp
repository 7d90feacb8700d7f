#include "ui/panels/dsk_control_bar.h"

#include "core/dsk_controller.h"
#include "core/playout_engine.h"
#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"
#include "ui/controls/svg_icon.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {
namespace {

// Labels are white, or near black (`dark`) on the light orange, where white would not stand
// out enough.
QPushButton* makeButton(const QString& text, const QString& help, const QColor& tint,
                        QWidget* parent, bool dark = false) {
    auto* button = new QPushButton(text, parent);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(help);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %2; "
                                         "border-radius: 4px; }"
                                         "QPushButton:disabled { color: %3; }")
                              .arg(tint.name(QColor::HexArgb), dark ? "rgba(0,0,0,217)" : "white",
                                   dark ? "rgba(0,0,0,90)" : "rgba(255,255,255,90)"));
    return button;
}

}  // namespace

DSKControlBar::Enables DSKControlBar::enables(bool hasMedia, bool isLoading, qsizetype sourceCount,
                                              bool isTransitioning) {
    const bool ready = hasMedia && !isLoading;
    return {ready && sourceCount >= 2, ready, ready && !isTransitioning};
}

DSKControlBar::DSKControlBar(DSKController& dsk, PlayoutEngine& engine, QWidget* parent)
    : QWidget(parent), dsk_(dsk), engine_(engine) {
    auto* layout = new QVBoxLayout(this);
    title_ = new QLabel(this);
    title_->setAlignment(Qt::AlignCenter);
    const QColor orange = Palette::withOpacity(Palette::systemOrange(), 0.72);
    const QColor red = Palette::withOpacity(Palette::systemRed(), 0.65);
    const QColor blue = Palette::withOpacity(Palette::systemBlue(), 0.65);
    next_ = makeButton(QString(), QString(), orange, this, true);
    // The symbol follows the text.
    next_->setLayoutDirection(Qt::RightToLeft);
    cut_ = makeButton(QString(), QString(), red, this);
    fade_ = makeButton(QString(), QString(), blue, this);
    retranslate();
    layout->addWidget(title_);
    layout->addWidget(next_);
    layout->addWidget(cut_);
    layout->addWidget(fade_);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(
        QStringLiteral("velmar--DSKControlBar { background: rgba(0,0,0,51); "
                       "border-radius: 6px; }"));

    connect(next_, &QPushButton::clicked, this, [this] { dsk_.next(); });
    connect(cut_, &QPushButton::clicked, this, [this] { dsk_.cut(); });
    // The duration is read at the press; a fade under way keeps its own.
    connect(fade_, &QPushButton::clicked, this, [this] { dsk_.fade(engine_.fadeDuration()); });

    connect(&dsk_, &DSKController::mediaChanged, this, &DSKControlBar::refresh);
    connect(&dsk_, &DSKController::sourcesChanged, this, &DSKControlBar::refresh);
    connect(&dsk_, &DSKController::isLoadingChanged, this, &DSKControlBar::refresh);
    connect(&dsk_, &DSKController::isActiveChanged, this, &DSKControlBar::refresh);
    connect(&dsk_, &DSKController::isTransitioningChanged, this, &DSKControlBar::refresh);
    setScale(1.0);
}

void DSKControlBar::retranslate() {
    title_->setText(localized("DSK"));
    next_->setText(localized("NEXT"));
    next_->setToolTip(localized("DSK の次の素材（N）"));
    cut_->setText(localized("CUT"));
    cut_->setToolTip(localized("DSK のカット ON / OFF（B）"));
    fade_->setText(localized("FADE"));
    fade_->setToolTip(localized("DSK のフェード ON / OFF（M）"));
}

void DSKControlBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

void DSKControlBar::setScale(double scale) {
    scale_ = scale > 0 ? scale : 1.0;
    auto* box = static_cast<QVBoxLayout*>(layout());
    const int inset = qRound(6 * scale_);
    box->setContentsMargins(inset, inset, inset, inset);
    box->setSpacing(qRound(4 * scale_));
    title_->setFont(DesignScale::font(20, scale_, QFont::Bold));
    title_->setFixedHeight(qMax(1, qRound(24 * scale_)));
    const QFont buttonFont = DesignScale::font(11, scale_, QFont::Bold);
    for (QPushButton* button : {next_, cut_, fade_}) {
        button->setFont(buttonFont);
        button->setFixedHeight(qMax(1, qRound(32 * scale_)));
    }
    const int side = qMax(1, qRound(11 * scale_));
    next_->setIconSize(QSize(side, side));
    next_->setIcon(SvgIcon::icon(QStringLiteral(":/icons/forward-end.svg"), QSize(side, side),
                                 QColor(0, 0, 0, 217), QColor(0, 0, 0, 90), devicePixelRatioF()));
    refresh();
}

void DSKControlBar::refresh() {
    const Enables e = enables(dsk_.media().has_value(), dsk_.isLoading(), dsk_.sourceURLs().size(),
                              dsk_.isTransitioning());
    next_->setEnabled(e.next);
    cut_->setEnabled(e.cut);
    fade_->setEnabled(e.fade);
    const QColor color = dsk_.isActive() ? Palette::systemRed() : Palette::white(0.66);
    title_->setStyleSheet(QStringLiteral("color: %1;").arg(color.name()));
}

}  // namespace velmar
