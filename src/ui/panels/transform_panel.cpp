#include "ui/panels/transform_panel.h"

#include "app/app_state.h"
#include "core/playout_engine.h"
#include "core/rundown.h"
#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/number_field.h"
#include "ui/controls/palette.h"
#include "ui/controls/scrubbable_value.h"

#include <algorithm>

#include <QDialog>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmar {

namespace {

constexpr double kPad = 6;
constexpr double kHeader = 24;
constexpr double kCell = 32;
constexpr double kGap = 4;
constexpr double kMinColumn = 72;

// Grid places (row, column) of the value rows, in field order.
// The loop menu's counts and their keys; 0 is the endless "∞" after a separator.
constexpr std::pair<int, const char*> kLoopItems[] = {
    {1, L10N_KEY("1回")}, {2, L10N_KEY("2回")}, {3, L10N_KEY("3回")}, {0, nullptr}};

constexpr std::array<std::pair<int, int>, 5> kPlaces{{{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}}};

TransformPanel::Bindings bindingsFor(AppState& app) {
    return {&app.engine().rundown(), [&app] { return app.engine().canvas(); },
            [&app] { return app.centerColumnWidth(); },
            [&app](QObject* owner, bool open) { app.setNumberEntryOpen(owner, open); }};
}

}  // namespace

TransformPanel::TransformPanel(Bindings bindings, QWidget* parent)
    : QWidget(parent),
      bindings_(std::move(bindings)),
      presenter_(*bindings_.rundown, bindings_.canvas),
      fit_(new QPushButton(QStringLiteral("FIT"), this)),
      reset_(new QPushButton(QStringLiteral("Reset"), this)),
      loop_(new QToolButton(this)) {
    for (Field field : ClipTransform::Field::allCases()) {
        ScrubbableValue::Config config;
        config.label = QString::fromUtf8(TransformPanelPresenter::rowLabel(field));
        config.step = TransformPanelPresenter::step(field);
        config.controlHeight = kCell;
        config.onScrub = [this, field](double delta) {
            presenter_.scrub(field, delta);
            refresh();
        };
        config.onOpen = [this, field] { openEntry(field); };
        rows_[int(Field::Value(field))] = new ScrubbableValue(config, this);
    }
    for (QPushButton* button : {fit_, reset_}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setStyleSheet(QStringLiteral(
            "QPushButton{background:rgba(255,255,255,31);color:white;font-weight:bold;"
            "border-radius:5px}QPushButton:disabled{color:rgba(255,255,255,80)}"));
    }
    connect(fit_, &QPushButton::clicked, this, [this] {
        presenter_.fit();
        refresh();
    });
    connect(reset_, &QPushButton::clicked, this, [this] {
        presenter_.reset();
        refresh();
    });

    auto* menu = new QMenu(loop_);
    for (const auto& [n, key] : kLoopItems) {
        if (n == 0) menu->addSeparator();
        menu->addAction(QString(), this, [this, n = n] {
            presenter_.setLoopCount(n);
            refresh();
        });
    }
    loop_->setMenu(menu);
    loop_->setPopupMode(QToolButton::InstantPopup);
    loop_->setFocusPolicy(Qt::NoFocus);
    loop_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    loop_->setStyleSheet(
        QStringLiteral("QToolButton{background:rgba(255,255,255,15);color:white;font-weight:bold;"
                       "border:1px solid rgba(255,255,255,51);border-radius:4px;text-align:left}"
                       "QToolButton::menu-indicator{image:none}"));
    retranslate();
    refresh();
}

void TransformPanel::retranslate() {
    fit_->setToolTip(localized("小さい静止画を縦横比を保ってキャンバス内の最大サイズに合わせる"));
    reset_->setToolTip(localized("位置・サイズ・回転・透明度を初期値に戻す"));
    QList<QAction*> counts = loop_->menu()->actions();
    counts.removeIf([](const QAction* action) { return action->isSeparator(); });
    for (qsizetype i = 0; i < counts.size(); ++i) {
        const char* key = kLoopItems[i].second;
        counts[i]->setText(key ? localized(key) : QStringLiteral("∞"));
    }
}

void TransformPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
        refresh();
    }
    QWidget::changeEvent(event);
}

TransformPanel::TransformPanel(AppState& app, QWidget* parent)
    : TransformPanel(bindingsFor(app), parent) {
    Rundown& rundown = app.engine().rundown();
    connect(&rundown, &Rundown::clipsChanged, this, &TransformPanel::refresh);
    connect(&rundown, &Rundown::selectionChanged, this, &TransformPanel::refresh);
    connect(&rundown, &Rundown::currentTabChanged, this, &TransformPanel::refresh);
    connect(&rundown, &Rundown::tabsChanged, this, &TransformPanel::refresh);
    connect(&app.engine(), &PlayoutEngine::canvasChanged, this, &TransformPanel::refresh);
    connect(&app, &AppState::centerColumnWidthChanged, this, [this] {
        layoutChildren();
        update();
    });
}

TransformPanel::~TransformPanel() {
    if (editing_ && bindings_.setNumberEntryOpen) bindings_.setNumberEntryOpen(this, false);
}

void TransformPanel::refresh() {
    const bool hasTargets = !presenter_.targets().isEmpty();
    for (Field field : ClipTransform::Field::allCases()) {
        rows_[int(Field::Value(field))]->setDisplay(presenter_.display(field));
        rows_[int(Field::Value(field))]->setValueEnabled(hasTargets);
    }
    fit_->setEnabled(hasTargets);
    reset_->setEnabled(hasTargets);
    const bool hasMovies = !presenter_.movieTargets().isEmpty();
    loop_->setEnabled(hasMovies);
    loop_->setText(localized("Loop") + QStringLiteral("   ") + presenter_.loopLabel());
    loop_->setToolTip(hasMovies
                          ? localized("動画の繰り返し回数。∞ は次の送出または停止まで繰り返します")
                          : localized("対象が動画ではありません"));
    update();
}

void TransformPanel::openEntry(Field field) {
    if (presenter_.targets().isEmpty() || editing_) return;
    entryText_ = presenter_.entryText(field);
    editing_ = field;

    sheet_ = new QDialog(window());
    sheet_->setWindowModality(Qt::WindowModal);
    sheet_->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(sheet_);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(10);
    auto* title = new QLabel(localized(TransformPanelPresenter::sheetTitle(field)), sheet_);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    title->setFont(titleFont);
    layout->addWidget(title);
    entryField_ = new NumberField(sheet_);
    entryField_->setFixedSize(180, 26);
    entryField_->setSelectsAllOnAppear(true);
    entryField_->setBoundText(entryText_);
    entryField_->onTextChanged = [this](const QString& text) { entryText_ = text; };
    entryField_->onCommit = [this] { closeEntry(true); };
    entryField_->onCancel = [this] { closeEntry(false); };
    layout->addWidget(entryField_);
    auto* hint = new QLabel(presenter_.rangeHint(field), sheet_);
    hint->setStyleSheet(QStringLiteral("color:gray"));
    layout->addWidget(hint);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* cancel = new QPushButton(localized("キャンセル"), sheet_);
    auto* apply = new QPushButton(localized("適用"), sheet_);
    cancel->setAutoDefault(false);
    apply->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, [this] { closeEntry(false); });
    connect(apply, &QPushButton::clicked, this, [this] { closeEntry(true); });
    buttons->addWidget(cancel);
    buttons->addWidget(apply);
    layout->addLayout(buttons);
    // Escape on the dialog itself (outside the field) cancels too.
    connect(sheet_, &QDialog::rejected, this, [this] { closeEntry(false); });

    if (bindings_.setNumberEntryOpen) bindings_.setNumberEntryOpen(this, true);
    sheet_->open();
}

void TransformPanel::closeEntry(bool apply) {
    if (!editing_) return;
    const Field field = *editing_;
    editing_.reset();
    if (apply) presenter_.apply(field, entryText_);
    QDialog* sheet = sheet_;
    sheet_ = nullptr;
    entryField_ = nullptr;
    if (sheet) sheet->close();
    if (bindings_.setNumberEntryOpen) bindings_.setNumberEntryOpen(this, false);
    refresh();
}

void TransformPanel::setScale(double s) {
    if (s == scale_) return;
    scale_ = s;
    for (ScrubbableValue* row : rows_) row->setScale(s);
    const QFont font = DesignScale::font(14, s, QFont::Bold);
    fit_->setFont(font);
    reset_->setFont(font);
    loop_->setFont(DesignScale::font(13, s, QFont::Bold));
    updateGeometry();
    layoutChildren();
    update();
}

QSize TransformPanel::sizeHint() const {
    const double w = 2 * kPad + 4 * 120 + 3 * kGap;
    const double h = 2 * kPad + kHeader + kGap + 3 * kCell + 2 * kGap;
    return QSize(qRound(w * scale_), qRound(h * scale_));
}

void TransformPanel::resizeEvent(QResizeEvent*) {
    layoutChildren();
}

void TransformPanel::layoutChildren() {
    const double w = width() / scale_;
    const double maxColumn = TransformPanelPresenter::columnMaximum(
        bindings_.centerColumnWidth ? bindings_.centerColumnWidth() : 160);
    const double column =
        std::clamp((w - 2 * kPad - 3 * kGap) / 4, kMinColumn, std::max(maxColumn, kMinColumn));
    auto place = [&](QWidget* widget, int row, int col) {
        const double x = kPad + col * (column + kGap);
        const double y = kPad + kHeader + kGap + row * (kCell + kGap);
        widget->setGeometry(qRound(x * scale_), qRound(y * scale_), qRound(column * scale_),
                            qRound(kCell * scale_));
    };
    for (size_t i = 0; i < rows_.size(); ++i) place(rows_[i], kPlaces[i].first, kPlaces[i].second);
    place(fit_, 0, 2);
    place(reset_, 1, 2);
    place(loop_, 0, 3);
}

void TransformPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale_, scale_);
    const double w = width() / scale_;
    const double h = height() / scale_;
    QPainterPath back;
    back.addRoundedRect(QRectF(0, 0, w, h), 6, 6);
    painter.fillPath(back, Palette::black(0.2));
    painter.setPen(Palette::secondaryText());
    painter.setFont(DesignScale::font(20, 1, QFont::Bold));
    painter.drawText(QRectF(kPad, kPad, w, kHeader), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("LAYOUT"));
    painter.setFont(DesignScale::font(9, 1, QFont::Normal, true));
    const CanvasFormat canvas = bindings_.canvas();
    painter.drawText(QRectF(kPad, kPad, w - 2 * kPad, kHeader), Qt::AlignRight | Qt::AlignVCenter,
                     localizedFormat("%lld × %lld", {qint64(canvas.width), qint64(canvas.height)}));
}

}  // namespace velmar
