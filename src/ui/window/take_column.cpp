#include "ui/window/take_column.h"

#include "core/playout_engine.h"
#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"
#include "ui/controls/svg_icon.h"

#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace velmar {

namespace {

QString rgba(const QColor& color, double opacity) {
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alphaF() * opacity, 0, 'f', 3);
}

QString buttonStyle(const QColor& tint, double opacity, const QColor& text) {
    return QStringLiteral(
               "QPushButton { background-color: %1; color: %2; border: none; "
               "border-radius: 6px; padding: 0px; }"
               "QPushButton:pressed { background-color: %3; }")
        .arg(rgba(tint, opacity), rgba(text, 1), rgba(tint, std::min(1.0, opacity + 0.2)));
}

// `label` is the text colour: white, or near black on the light orange, where white would
// not stand out enough.
QPushButton* makeButton(const QString& text, const QColor& tint, double opacity, QWidget* parent,
                        const QColor& label = Palette::primaryText()) {
    auto* button = new QPushButton(text, parent);
    // Space and Return belong to the keyboard control surface, never to a focused button.
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(buttonStyle(tint, opacity, label));
    return button;
}

}  // namespace

TakeColumn::TakeColumn(PlayoutEngine& engine,
                       std::function<void(MainWindowModel::AddPanel)> presentAddClips,
                       QWidget* parent)
    : QWidget(parent) {
    import_ = makeButton(QString(), Palette::white(1), 0.12, this);
    heading_ = new QLabel(this);
    heading_->setAlignment(Qt::AlignCenter);
    useSecondaryText(heading_);
    next_ = makeButton(QString(), Palette::systemOrange(), 0.72, this, Palette::black(0.85));
    cut_ = makeButton(QString(), Palette::systemRed(), 0.65, this);
    autoTrans_ = makeButton(QString(), Palette::systemBlue(), 0.65, this);
    retranslate();

    // One file panel picks files or a folder, not both: the button offers one entry for each.
    importMenu_ = new QMenu(this);
    using AddPanel = MainWindowModel::AddPanel;
    for (const AddPanel panel : {AddPanel::files, AddPanel::folder}) {
        importMenu_->addAction(QString(), this, [presentAddClips, panel] {
            if (presentAddClips) presentAddClips(panel);
        });
    }
    // The entries are named when shown, in the language chosen then.
    connect(importMenu_, &QMenu::aboutToShow, this, [this] {
        const QList<QAction*> entries = importMenu_->actions();
        entries[0]->setText(localized("静止画・動画…"));
        entries[1]->setText(localized("フォルダ…"));
    });
    connect(import_, &QPushButton::clicked, this,
            [this] { importMenu_->popup(import_->mapToGlobal(QPoint(0, import_->height()))); });
    connect(next_, &QPushButton::clicked, &engine, [&engine] { engine.returnPressed(); });
    connect(cut_, &QPushButton::clicked, &engine, [&engine] { engine.cutTogglePressed(); });
    connect(autoTrans_, &QPushButton::clicked, &engine, [&engine] { engine.spacePressed(); });
    setScale(1);
}

void TakeColumn::retranslate() {
    import_->setText(localized("インポート"));
    heading_->setText(localized("TRANSITION"));
    next_->setText(localized("NEXT"));
    cut_->setText(localized("CUT"));
    autoTrans_->setText(localized("AUTO TRANS"));
    next_->setToolTip(localized("NEXT をカットで送出・カットチェンジ"));
    cut_->setToolTip(
        localized("現在の PROGRAM の KEY だけをカットで ON / OFF（V）。NEXT は読み込まない"));
    autoTrans_->setToolTip(localized("スペースと同じ操作"));
}

void TakeColumn::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

void TakeColumn::setMotionPanel(QWidget* panel) {
    delete motionPanel_;
    motionPanel_ = panel;
    if (panel) {
        panel->setParent(this);
        panel->show();
    }
    place();
}

double TakeColumn::motionPanelHeight() const {
    if (!motionPanel_) return 0;
    return motionPanel_->sizeHint().height() / scale_;
}

double TakeColumn::naturalHeight() const {
    double height = kButtonHeight + kHeadingHeight + 3 * kButtonHeight + 4 * kSpacing;
    if (motionPanel_) height += kSpacing + motionPanelHeight();
    return height;
}

void TakeColumn::setScale(double s) {
    scale_ = s;
    import_->setFont(DesignScale::font(12, s, QFont::DemiBold));
    const int side = qMax(1, qRound(13 * s));
    import_->setIconSize(QSize(side, side));
    import_->setIcon(SvgIcon::icon(QStringLiteral(":/icons/import.svg"), QSize(side, side),
                                   Palette::primaryText(), Palette::white(0.45),
                                   devicePixelRatioF()));
    QFont heading = DesignScale::font(20, s, QFont::Black);
    heading.setLetterSpacing(QFont::AbsoluteSpacing, 1.5 * s);
    heading_->setFont(heading);
    for (QPushButton* button : {next_, cut_, autoTrans_})
        button->setFont(DesignScale::font(14, s, QFont::Bold));
    place();
}

void TakeColumn::resizeEvent(QResizeEvent*) {
    place();
}

void TakeColumn::place() {
    const double width = this->width() / scale_;
    double y = 0;
    auto put = [&](QWidget* widget, double height) {
        const QRectF design(0, y, width, height);
        widget->setGeometry(
            QRectF(design.topLeft() * scale_, design.size() * scale_).toAlignedRect());
        y += height + kSpacing;
    };
    put(import_, kButtonHeight);
    put(heading_, kHeadingHeight);
    put(next_, kButtonHeight);
    put(cut_, kButtonHeight);
    put(autoTrans_, kButtonHeight);
    if (motionPanel_) {
        // The panel keeps its own height in pixels. The column's edges are rounded to pixels
        // apart from it, which may leave a pixel less below the buttons than that height: the
        // panel then takes it from the spacing above, so that it is never cut at the bottom.
        const int h = motionPanel_->sizeHint().height();
        int top = int(std::floor(y * scale_));
        if (top + h > this->height())
            top = std::max(int(std::floor((y - kSpacing) * scale_)), this->height() - h);
        motionPanel_->setGeometry(0, top, this->width(), h);
    }
    const double height = naturalHeight();
    if (height != lastHeight_) {
        lastHeight_ = height;
        emit naturalHeightChanged(height);
    }
}

}  // namespace velmar
