#include "ui/tools/preflight_view.h"

#include "app/preflight_runner.h"
#include "core/playout_log.h"
#include "models/localized.h"
#include "ui/controls/palette.h"
#include "ui/tools/preflight_status_icon.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

namespace velmar {

namespace {

QFont systemFont(int points, QFont::Weight weight = QFont::Normal) {
    QFont font;
    font.setPointSize(points);
    font.setWeight(weight);
    return font;
}

QFrame* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

PreflightView::PreflightView(PreflightRunner& runner, std::function<void()> openLog,
                             QWidget* parent)
    : QWidget(parent), runner_(runner), openLog_(std::move(openLog)) {
    if (!openLog_) openLog_ = [] { PlayoutLog::shared().revealInFileManager(); };
    setMinimumSize(480, 400);

    auto* column = new QVBoxLayout(this);
    column->setSpacing(12);
    column->setContentsMargins(16, 16, 16, 16);

    heading_ = new QLabel;
    heading_->setFont(systemFont(15, QFont::Bold));
    column->addWidget(heading_);

    explanation_ = new QLabel;
    explanation_->setFont(systemFont(11));
    explanation_->setWordWrap(true);
    useSecondaryText(explanation_);
    column->addWidget(explanation_);
    column->addWidget(divider());

    auto* scroll = scroll_ = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* list = new QWidget;
    rows_ = new QVBoxLayout(list);
    rows_->setSpacing(8);
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->addStretch(1);
    scroll->setWidget(list);
    // A soak line added under the five check lines would otherwise stay below the list's edge.
    connect(scroll->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int end) {
        if (!followEnd_) return;
        followEnd_ = false;
        scroll_->verticalScrollBar()->setValue(end);
    });
    column->addWidget(scroll, 1);
    column->addWidget(divider());

    auto* bar = new QHBoxLayout;
    checkButton_ = new QPushButton;
    soakButton_ = new QPushButton;
    countdown_ = new QLabel;
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(11);
    countdown_->setFont(mono);
    setTextColor(countdown_, Palette::systemOrange());
    logButton_ = new QPushButton;
    bar->addWidget(checkButton_);
    bar->addWidget(soakButton_);
    bar->addWidget(countdown_);
    bar->addStretch(1);
    bar->addWidget(logButton_);
    column->addLayout(bar);

    connect(checkButton_, &QPushButton::clicked, this, [this] { runner_.run(); });
    connect(soakButton_, &QPushButton::clicked, this, [this] { runner_.runSoak(kSoakSeconds); });
    connect(logButton_, &QPushButton::clicked, this, [this] { openLog_(); });
    // A plain window has no default button: Return and Enter anywhere in it run the checks.
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { runner_.run(); });
    }

    connect(&runner_, &PreflightRunner::itemsChanged, this, &PreflightView::rebuildRows);
    connect(&runner_, &PreflightRunner::soakRemainingChanged, this,
            &PreflightView::updateSoakControls);
    rebuildRows();
    retranslate();
}

void PreflightView::retranslate() {
    heading_->setText(localized("本番前チェック"));
    // clang-format off
    explanation_->setText(localized("素材・フォーマット・機器をまとめて確認します。SDI の30秒実流しを始める前に ESC でメイン映像と DSK を OFF にし、受け側でも確認してください。"));
    // clang-format on
    checkButton_->setText(localized("確認する"));
    soakButton_->setText(localized("SDI を30秒流す"));
    logButton_->setText(localized("ログを開く"));
    updateSoakControls();
}

void PreflightView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

int PreflightView::rowCount() const {
    return rows_->count() - 1;  // the stretch at the end
}

QString PreflightView::rowText(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    QStringList texts;
    for (const QLabel* label : rows_->itemAt(row)->widget()->findChildren<QLabel*>())
        if (!label->text().isEmpty()) texts << label->text();
    return texts.join(u'\n');
}

QWidget* PreflightView::rowWidget(int row) const {
    return row >= 0 && row < rowCount() ? rows_->itemAt(row)->widget() : nullptr;
}

void PreflightView::rebuildRows() {
    const int before = rowCount();
    followEnd_ = before > 0 && runner_.items().size() > before;
    while (rows_->count() > 1) {
        QLayoutItem* item = rows_->takeAt(0);
        delete item->widget();
        delete item;
    }
    int index = 0;
    for (const PreflightRunner::Item& item : runner_.items()) {
        auto* row = new QWidget;
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(8);
        auto* icon = new QLabel;
        icon->setFixedWidth(16);
        icon->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        icon->setPixmap(PreflightStatusIcon::pixmap(item.status, 14, devicePixelRatioF()));
        line->addWidget(icon, 0, Qt::AlignTop);

        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* title = new QLabel(item.title);
        title->setFont(systemFont(12, QFont::DemiBold));
        title->setTextFormat(Qt::PlainText);
        texts->addWidget(title);
        if (!item.detail.isEmpty()) {
            auto* detail = new QLabel(item.detail);
            detail->setFont(systemFont(11));
            detail->setTextFormat(Qt::PlainText);
            detail->setWordWrap(true);
            useSecondaryText(detail);
            texts->addWidget(detail);
        }
        line->addLayout(texts, 1);
        rows_->insertWidget(index++, row);
    }
}

void PreflightView::updateSoakControls() {
    const int remaining = runner_.soakRemaining();
    soakButton_->setVisible(remaining <= 0);
    countdown_->setVisible(remaining >= 1);
    countdown_->setText(remaining >= 1 ? localizedFormat("実流し中 残り %lld 秒",
                                                         {static_cast<long long>(remaining)})
                                       : QString());
}

}  // namespace velmar
