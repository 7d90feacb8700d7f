#include "ui/dsk_control_bar.h"

#include "core/dsk_controller.h"
#include "core/playout_engine.h"
#include "models/localized.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {
namespace {

QPushButton* makeButton(const QString& text, const QString& help, const QColor& tint,
                        QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(help);
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: white; "
                                         "border-radius: 4px; }"
                                         "QPushButton:disabled { color: rgba(255,255,255,90); }")
                              .arg(tint.name(QColor::HexArgb)));
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
    title_ = new QLabel(localized("DSK"), this);
    title_->setAlignment(Qt::AlignCenter);
    QColor orange(255, 149, 0), red(255, 59, 48), blue(0, 122, 255);
    orange.setAlphaF(0.72f);
    red.setAlphaF(0.65f);
    blue.setAlphaF(0.65f);
    next_ = makeButton(localized("NEXT") + QStringLiteral("  ⏭"), localized("DSK の次の素材（N）"),
                       orange, this);
    cut_ = makeButton(localized("CUT"), localized("DSK のカット ON / OFF（B）"), red, this);
    fade_ = makeButton(localized("FADE"), localized("DSK のフェード ON / OFF（M）"), blue, this);
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

void DSKControlBar::setScale(double scale) {
    scale_ = scale > 0 ? scale : 1.0;
    auto* box = static_cast<QVBoxLayout*>(layout());
    const int inset = qRound(6 * scale_);
    box->setContentsMargins(inset, inset, inset, inset);
    box->setSpacing(qRound(4 * scale_));
    QFont titleFont = font();
    titleFont.setPixelSize(qMax(1, qRound(20 * scale_)));
    titleFont.setBold(true);
    title_->setFont(titleFont);
    title_->setFixedHeight(qMax(1, qRound(24 * scale_)));
    QFont buttonFont = font();
    buttonFont.setPixelSize(qMax(1, qRound(11 * scale_)));
    buttonFont.setBold(true);
    for (QPushButton* button : {next_, cut_, fade_}) {
        button->setFont(buttonFont);
        button->setFixedHeight(qMax(1, qRound(32 * scale_)));
    }
    refresh();
}

void DSKControlBar::refresh() {
    const Enables e = enables(dsk_.media().has_value(), dsk_.isLoading(), dsk_.sourceURLs().size(),
                              dsk_.isTransitioning());
    next_->setEnabled(e.next);
    cut_->setEnabled(e.cut);
    fade_->setEnabled(e.fade);
    const QColor color = dsk_.isActive() ? QColor(255, 59, 48) : QColor::fromRgbF(0.66, 0.66, 0.66);
    title_->setStyleSheet(QStringLiteral("color: %1;").arg(color.name()));
}

}  // namespace velmar
