#include "ui/panels/motion_profile_panel.h"

#include "app/app_state.h"
#include "core/playout_engine.h"
#include "models/duration_rounding.h"
#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/elided_combo_box.h"
#include "ui/controls/palette.h"
#include "ui/controls/svg_icon.h"
#include "ui/panels/duration_common.h"
#include "ui/panels/duration_entry_pad.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace velmar {
namespace {

constexpr double kPadding = 6;
constexpr double kSpacing = 5;
constexpr double kKeyGap = 2;
constexpr double kResetHeight = 20;
constexpr double kRowHeight = 28;
constexpr double kCaptionWidth = 86;
constexpr double kCaptionGap = 7;
constexpr double kArrowSize = 16;
constexpr double kStackedCaptionHeight = 18;
constexpr double kFieldPadding = 8;  // the text's inset of 7 and the 1-point border

// The widest text the duration button shows, in pixels of `font`: the longest figure
// (durations stay under 10 s) or "ばらばら".
double durationTextWidth(const QFont& font) {
    const QFontMetricsF metrics(font);
    return std::max(metrics.horizontalAdvance(QStringLiteral("0.00 s")),
                    metrics.horizontalAdvance(localized("ばらばら")));
}

// The keypad's first three rows; the fourth holds `dive` on "0" and two clear places.
constexpr std::array<std::array<std::optional<MotionKind::Value>, 3>, 3> kLayout = {{
    {MotionKind::cut, MotionKind::slideDown, MotionKind::rotate},
    {MotionKind::slideRight, MotionKind::fade, MotionKind::slideLeft},
    {MotionKind::zoom, MotionKind::slideUp, std::nullopt},
}};

// The word on a key; the four slides show an arrow icon instead (iconPath).
QString face(MotionKind motion) {
    switch (motion) {
        case MotionKind::cut:
            return QStringLiteral("CUT");
        case MotionKind::fade:
            return QStringLiteral("FADE");
        case MotionKind::zoom:
            return QStringLiteral("ZOOM");
        case MotionKind::dive:
            return QStringLiteral("DIVE");
        case MotionKind::rotate:
            return QStringLiteral("ROTATE");
        default:
            return {};
    }
}

// The arrow pointing where a slide moves the picture to; empty for the other motions.
QString iconPath(MotionKind motion) {
    switch (motion) {
        case MotionKind::slideLeft:
            return QStringLiteral(":/icons/arrow-left.svg");
        case MotionKind::slideRight:
            return QStringLiteral(":/icons/arrow-right.svg");
        case MotionKind::slideUp:
            return QStringLiteral(":/icons/arrow-up.svg");
        case MotionKind::slideDown:
            return QStringLiteral(":/icons/arrow-down.svg");
        default:
            return {};
    }
}

QString labelStyle(const QString& color) {
    return QStringLiteral(
               "QLabel { color: %1; background: transparent; } "
               "QLabel:disabled { color: rgba(255,255,255,80); }")
        .arg(color);
}

QString keyStyle(bool lit) {
    return lit ? QStringLiteral(
                     "QPushButton { background: %1; color: white; "
                     "border: none; border-radius: 4px; }")
                     .arg(Palette::withOpacity(Palette::accentBlue(), 0.35).name(QColor::HexArgb))
               : QStringLiteral(
                     "QPushButton { background: rgba(255,255,255,15); color: white; "
                     "border: none; border-radius: 4px; }"
                     "QPushButton:disabled { color: rgba(255,255,255,80); }");
}

}  // namespace

QString MotionProfilePanel::keyNumber(int row, int column) {
    if (row < 0 || row > 2 || column < 0 || column > 2) return {};
    return QString::number((2 - row) * 3 + column + 1);
}

std::optional<MotionKind> MotionProfilePanel::motionAt(int row, int column) {
    if (row < 0 || row > 2 || column < 0 || column > 2) return std::nullopt;
    if (const auto motion = kLayout[row][column]) return MotionKind(*motion);
    return std::nullopt;
}

double MotionProfilePanel::keySize(double width) {
    return std::max((width - 16) / 3, 1.0);
}

bool MotionProfilePanel::isLit(const std::optional<std::optional<MotionKind>>& common,
                               MotionKind motion) {
    return common && *common && **common == motion;
}

QString MotionProfilePanel::durationLabel(bool hasTargets,
                                          const std::optional<std::optional<double>>& common,
                                          double fadeDuration) {
    if (hasTargets && !common) return localized("ばらばら");
    const double seconds = hasTargets && *common ? **common : fadeDuration;
    return QString::asprintf("%.2f s", seconds);
}

MotionProfilePanel::MotionProfilePanel(PlayoutEngine& engine, double width, Hooks hooks,
                                       QWidget* parent)
    : QWidget(parent), engine_(engine), hooks_(std::move(hooks)), width_(width) {
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(
        QStringLiteral("velmar--MotionProfilePanel { background: rgba(0,0,0,51); "
                       "border-radius: 6px; }"));
    reset_ = new QPushButton(this);
    reset_->setFocusPolicy(Qt::NoFocus);
    connect(reset_, &QPushButton::clicked, this, [this] {
        engine_.rundown().setMotion(std::nullopt, engine_.rundown().motionTargetIDs());
    });

    // A key: its face (a word or an arrow) over its number, both letting clicks through.
    const auto makeKey = [this](MotionKind motion, const QString& number) {
        const int index = static_cast<int>(MotionKind::Value(motion));
        auto* key = new QPushButton(this);
        key->setFocusPolicy(Qt::NoFocus);
        key->setFlat(true);
        auto* column = new QVBoxLayout(key);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(1);
        column->setSizeConstraint(QLayout::SetNoConstraint);  // the key stays k by k
        column->addStretch();
        faces_[index] = new QLabel(face(motion), key);
        numbers_[index] = new QLabel(number, key);
        faces_[index]->setStyleSheet(labelStyle(QStringLiteral("white")));
        numbers_[index]->setStyleSheet(labelStyle(Palette::white(0.66, 0.7).name(QColor::HexArgb)));
        for (QLabel* label : {faces_[index], numbers_[index]}) {
            label->setAlignment(Qt::AlignCenter);
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
            column->addWidget(label);
        }
        column->addStretch();
        keys_[index] = key;
        connect(key, &QPushButton::clicked, this, [this, motion] {
            engine_.rundown().setMotion(motion, engine_.rundown().motionTargetIDs());
        });
    };
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            if (const auto motion = motionAt(row, column)) makeKey(*motion, keyNumber(row, column));
        }
    }
    makeKey(MotionKind::dive, QStringLiteral("0"));
    // The empty place beside key 2 shows an inert "3"; the fourth row's two places are clear.
    for (QLabel*& blank : blanks_) blank = new QLabel(this);
    blanks_[0]->setText(keyNumber(2, 2));
    blanks_[0]->setAlignment(Qt::AlignCenter);
    blanks_[0]->setEnabled(false);  // a place holder, not a key
    blanks_[0]->setStyleSheet(
        QStringLiteral("background: rgba(255,255,255,6); color: rgba(255,255,255,77);"));

    durationCaption_ = new QLabel(this);
    defaultCaption_ = new QLabel(this);
    for (QLabel* caption : {durationCaption_, defaultCaption_}) {
        caption->setStyleSheet(QStringLiteral("color: %1;").arg(Palette::white(0.66).name()));
    }
    duration_ = new QPushButton(this);
    duration_->setFocusPolicy(Qt::NoFocus);
    duration_->setStyleSheet(QStringLiteral(
        "QPushButton { background: rgba(0,0,0,89); border: 1px solid rgba(255,255,255,64); "
        "border-radius: 4px; color: white; text-align: right; padding: 0 7px; }"));
    connect(duration_, &QPushButton::clicked, this, &MotionProfilePanel::editDuration);
    defaultMotion_ = new ElidedComboBox(this);
    defaultMotion_->setFocusPolicy(Qt::NoFocus);
    for (MotionKind motion : MotionKind::allCases()) {
        defaultMotion_->addItem(QString(), static_cast<int>(MotionKind::Value(motion)));
    }
    connect(defaultMotion_, &QComboBox::activated, this, [this](int index) {
        const int value = defaultMotion_->itemData(index).toInt();
        engine_.setDefaultMotion(MotionKind(static_cast<MotionKind::Value>(value)));
    });

    Rundown& rundown = engine_.rundown();
    connect(&rundown, &Rundown::clipsChanged, this, &MotionProfilePanel::refresh);
    connect(&rundown, &Rundown::selectionChanged, this, &MotionProfilePanel::refresh);
    connect(&rundown, &Rundown::currentTabChanged, this, &MotionProfilePanel::refresh);
    connect(&rundown, &Rundown::tabsChanged, this, &MotionProfilePanel::refresh);
    connect(&engine_, &PlayoutEngine::settingsChanged, this, &MotionProfilePanel::refresh);
    retranslate();
    relayout();
    refresh();
}

void MotionProfilePanel::retranslate() {
    reset_->setText(localized("戻す"));
    for (MotionKind motion : MotionKind::allCases()) {
        const int index = static_cast<int>(MotionKind::Value(motion));
        keys_[index]->setToolTip(localized(motion.titleKey()));
        defaultMotion_->setItemText(defaultMotion_->findData(index), localized(motion.titleKey()));
    }
    durationCaption_->setText(localized("デュレーション"));
    defaultCaption_->setText(localized("共通"));
}

MotionProfilePanel::MotionProfilePanel(PlayoutEngine& engine, double width, AppState& app,
                                       QWidget* parent)
    : MotionProfilePanel(engine, width, Hooks{[&app](QObject* owner, bool open) {
                             app.setNumberEntryOpen(owner, open);
                         }},
                         parent) {}

MotionProfilePanel::~MotionProfilePanel() {
    if (popover_) {
        popover_->removeEventFilter(this);
        delete popover_.data();
    }
    if (editing_ && hooks_.setNumberEntryOpen) hooks_.setNumberEntryOpen(this, false);
}

QPushButton* MotionProfilePanel::key(MotionKind motion) const {
    return keys_[static_cast<int>(MotionKind::Value(motion))];
}

void MotionProfilePanel::setPanelWidth(double width) {
    width_ = width;
    relayout();
}

void MotionProfilePanel::setScale(double scale) {
    scale_ = scale > 0 ? scale : 1.0;
    relayout();
}

void MotionProfilePanel::relayout() {
    const double s = scale_;
    const double k = keySize(width_);
    const auto px = [s](double v) { return qRound(v * s); };
    const auto place = [&](QWidget* w, double x, double y, double width, double height) {
        w->setGeometry(px(x), px(y), std::max(1, px(width)), std::max(1, px(height)));
    };
    const QFont mono = DesignScale::font(12, s, QFont::Bold, true);
    const QFont caption = DesignScale::font(12, s, QFont::Bold);

    double y = kPadding;
    reset_->setFont(DesignScale::font(10, s));
    place(reset_, width_ - kPadding - 44, y, 44, kResetHeight);
    y += kResetHeight + kSpacing;

    const double padWidth = 3 * k + 2 * kKeyGap;
    const double left = (width_ - padWidth) / 2;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            QWidget* w = nullptr;
            if (const auto motion = motionAt(row, column)) {
                w = keys_[static_cast<int>(MotionKind::Value(*motion))];
            } else {
                w = blanks_[0];
            }
            place(w, left + column * (k + kKeyGap), y + row * (k + kKeyGap), k, k);
        }
    }
    const double lastRow = y + 3 * (k + kKeyGap);
    place(keys_[MotionKind::dive], left, lastRow, k, k);
    place(blanks_[1], left + k + kKeyGap, lastRow, k, k);
    place(blanks_[2], left + 2 * (k + kKeyGap), lastRow, k, k);
    const QFont number = DesignScale::font(9, s, QFont::Normal, true);
    const int iconSide = std::max(1, px(kArrowSize));
    for (MotionKind motion : MotionKind::allCases()) {
        const int index = static_cast<int>(MotionKind::Value(motion));
        numbers_[index]->setFont(number);
        if (const QString path = iconPath(motion); !path.isEmpty()) {
            faces_[index]->setPixmap(
                SvgIcon::fromFile(path, QSize(iconSide, iconSide), Qt::white, devicePixelRatioF()));
        } else {
            faces_[index]->setFont(mono);
        }
    }
    blanks_[0]->setFont(DesignScale::font(9, s, QFont::Normal, true));
    y = lastRow + k + kSpacing;

    // A caption and its field share a row when the field then still holds the longest
    // duration text whole; in a narrower column each caption stands on its own line above a
    // field of the full width.
    durationCaption_->setFont(caption);
    defaultCaption_->setFont(caption);
    const QFont figures = DesignScale::font(14, s, QFont::DemiBold, true);
    duration_->setFont(figures);
    const double inner = std::max(width_ - 2 * kPadding, 1.0);
    const double needed = durationTextWidth(figures) / s + 2 * kFieldPadding;
    const bool stacked = kCaptionWidth + kCaptionGap + needed > inner;
    const double fieldLeft = stacked ? kPadding : kPadding + kCaptionWidth + kCaptionGap;
    const double fieldWidth = std::max(width_ - kPadding - fieldLeft, 1.0);
    const double captionHeight = stacked ? kStackedCaptionHeight : kRowHeight;
    const double fieldDrop = stacked ? captionHeight : 0;
    place(durationCaption_, kPadding, y, stacked ? inner : kCaptionWidth, captionHeight);
    place(duration_, fieldLeft, y + fieldDrop, fieldWidth, kRowHeight);
    y += fieldDrop + kRowHeight + 6;
    place(defaultCaption_, kPadding, y, stacked ? inner : kCaptionWidth, captionHeight);
    defaultMotion_->setFont(DesignScale::font(13, s));
    place(defaultMotion_, fieldLeft, y + fieldDrop, fieldWidth, kRowHeight);
    y += fieldDrop;
    y += kRowHeight + kPadding;
    hint_ = QSize(px(width_), px(y));
    // No minimum width: one set at the previous scale would keep the panel from shrinking
    // with the window, and a panel that is not resized never learns the smaller scale.
    setMinimumSize(0, hint_.height());
    resize(hint_);
}

void MotionProfilePanel::refresh() {
    const Rundown& rundown = engine_.rundown();
    const QSet<QUuid> targets = rundown.motionTargetIDs();
    const auto group = rundown.currentGroup();
    const auto shared = rundown.commonMotion(targets);
    for (MotionKind motion : MotionKind::allCases()) {
        QPushButton* key = keys_[static_cast<int>(MotionKind::Value(motion))];
        key->setEnabled(!targets.isEmpty());
        // A new style sheet polishes the key again: set it only when the light changes.
        const QString style = keyStyle(isLit(shared, motion));
        if (key->styleSheet() != style) key->setStyleSheet(style);
    }
    reset_->setEnabled(!targets.isEmpty());
    const auto duration = targets.isEmpty()
                              ? std::nullopt
                              : commonDuration(group ? group->clips : QList<Clip>(), targets);
    duration_->setText(durationLabel(!targets.isEmpty(), duration, engine_.fadeDuration()));
    defaultMotion_->setCurrentIndex(
        defaultMotion_->findData(static_cast<int>(MotionKind::Value(engine_.defaultMotion()))));
}

void MotionProfilePanel::editDuration() {
    if (popover_) return;
    const Rundown& rundown = engine_.rundown();
    const QSet<QUuid> targets = rundown.motionTargetIDs();
    const auto group = rundown.currentGroup();
    const auto common = commonDuration(group ? group->clips : QList<Clip>(), targets);
    const double initial = common && *common ? **common : engine_.fadeDuration();

    auto* frame = new QFrame(this, Qt::Popup);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* column = new QVBoxLayout(frame);
    column->setContentsMargins(0, 0, 0, 0);
    pad_ = new DurationEntryPad(
        initial, {0.1, 5.0}, L10N_KEY("デュレーション（秒）"), false, false,
        [this](std::optional<double> value) { commitDuration(value); },
        [this] {
            if (popover_) popover_->close();
        },
        frame);
    column->addWidget(pad_);
    frame->installEventFilter(this);
    popover_ = frame;
    setEditing(true);
    frame->adjustSize();
    // Beside the duration button, on its leading side.
    const QPoint anchor = duration_->mapToGlobal(QPoint(0, 0));
    frame->move(anchor.x() - frame->width(), anchor.y());
    frame->show();
}

void MotionProfilePanel::commitDuration(std::optional<double> value) {
    if (value) {
        const QSet<QUuid> targets = engine_.rundown().motionTargetIDs();
        if (!targets.isEmpty()) {
            engine_.rundown().setMotionDuration(value, targets);
        } else if (const auto rounded = roundedMotionDuration(*value)) {
            engine_.setFadeDuration(*rounded);
        }
    }
    if (popover_) popover_->close();
}

// The layout measures the looked-up "ばらばら"; the duration button shows it.
void MotionProfilePanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
        relayout();
        refresh();
    }
    QWidget::changeEvent(event);
}

bool MotionProfilePanel::eventFilter(QObject* watched, QEvent* event) {
    // The popover goes away on commit, cancel or a click outside it: each ends the editing.
    if (watched == popover_ && event->type() == QEvent::Hide) {
        popover_->removeEventFilter(this);
        popover_->deleteLater();
        popover_ = nullptr;
        pad_ = nullptr;
        setEditing(false);
    }
    return QWidget::eventFilter(watched, event);
}

void MotionProfilePanel::setEditing(bool editing) {
    if (editing == editing_) return;
    editing_ = editing;
    if (hooks_.setNumberEntryOpen) hooks_.setNumberEntryOpen(this, editing);
}

}  // namespace velmar
