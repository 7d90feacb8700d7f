#include "ui/panels/dsk_panel.h"

#include "app/app_state.h"
#include "core/dsk_controller.h"
#include "core/media_access.h"
#include "models/clip.h"
#include "models/localized.h"
#include "platform/base/toolkit_dialog_state.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"
#include "ui/controls/svg_icon.h"
#include "ui/panels/dsk_panel_presenter.h"
#include "ui/panels/dsk_panel_preview.h"

#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace velmar {
namespace {

QFont sized(double points, double scale, bool bold, bool mono = false) {
    return DesignScale::font(points, scale, bold ? QFont::Bold : QFont::Normal, mono);
}

}  // namespace

DSKPanel::DSKPanel(DSKController& dsk, PlayoutEngine& engine, Hooks hooks, QWidget* parent)
    : QWidget(parent), dsk_(dsk), engine_(engine), hooks_(std::move(hooks)) {
    auto* column = new QVBoxLayout(this);

    auto* header = new QHBoxLayout;
    title_ = new QLabel(this);
    status_ = new QLabel(this);
    header->addWidget(title_);
    header->addStretch(1);
    header->addWidget(status_);
    column->addLayout(header);

    preview_ = new DSKPanelPreview(this);
    spinner_ = new QProgressBar(preview_);
    spinner_->setRange(0, 0);
    spinner_->setTextVisible(false);
    column->addWidget(preview_);

    count_ = new QLabel(this);
    count_->setAlignment(Qt::AlignCenter);
    column->addWidget(count_);
    name_ = new QLabel(this);
    name_->setTextFormat(Qt::PlainText);
    name_->setMinimumWidth(1);
    name_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(name_);

    auto* buttons = new QHBoxLayout;
    choose_ = new QPushButton(this);
    choose_->setFocusPolicy(Qt::NoFocus);
    chooseMenu_ = new QMenu(this);
    chooseMenu_->addAction(QString(), this, [this] { selectMedia(false); });
    chooseMenu_->addAction(QString(), this, [this] { selectMedia(true); });
    clear_ = new QToolButton(this);
    clear_->setFocusPolicy(Qt::NoFocus);
    buttons->addWidget(choose_, 1);
    buttons->addWidget(clear_);
    column->addLayout(buttons);

    loopGroup_ = new QWidget(this);
    auto* loopColumn = new QVBoxLayout(loopGroup_);
    loopColumn->setContentsMargins(0, 0, 0, 0);
    auto* modes = new QHBoxLayout;
    loop_ = new QPushButton(loopGroup_);
    end_ = new QPushButton(loopGroup_);
    for (QPushButton* mode : {loop_, end_}) {
        mode->setFocusPolicy(Qt::NoFocus);
        mode->setFlat(true);
        modes->addWidget(mode, 1);
    }
    loopText_ = new QLabel(loopGroup_);
    useSecondaryText(loopText_);
    loopColumn->addLayout(modes);
    loopColumn->addWidget(loopText_);
    column->addWidget(loopGroup_);

    noAudio_ = new QLabel(this);
    useSecondaryText(noAudio_);
    column->addWidget(noAudio_);
    error_ = new QLabel(this);
    error_->setWordWrap(true);
    error_->setTextFormat(Qt::PlainText);
    setTextColor(error_, Palette::systemOrange());
    column->addWidget(error_);
    column->addStretch(1);

    // While a dialog is up, the button brings it to the front instead of offering another.
    connect(choose_, &QPushButton::clicked, this, [this] {
        if (dialog_) {
            dialog_->raise();
            dialog_->activateWindow();
            return;
        }
        chooseMenu_->popup(choose_->mapToGlobal(QPoint(0, choose_->height())));
    });
    connect(clear_, &QToolButton::clicked, this, [this] { dsk_.clear(); });
    connect(loop_, &QPushButton::clicked, this, [this] { dsk_.setLoops(true); });
    connect(end_, &QPushButton::clicked, this, [this] { dsk_.setLoops(false); });

    connect(&dsk_, &DSKController::mediaChanged, this, &DSKPanel::refresh);
    connect(&dsk_, &DSKController::sourcesChanged, this, &DSKPanel::refresh);
    connect(&dsk_, &DSKController::isLoadingChanged, this, &DSKPanel::refresh);
    connect(&dsk_, &DSKController::isActiveChanged, this, &DSKPanel::refresh);
    connect(&dsk_, &DSKController::loopsChanged, this, &DSKPanel::refresh);
    connect(&dsk_, &DSKController::errorMessageChanged, this, &DSKPanel::refresh);
    retranslate();
    setScale(1.0);
}

DSKPanel::DSKPanel(DSKController& dsk, PlayoutEngine& engine, AppState& app, QWidget* parent)
    : DSKPanel(dsk, engine, hooksFor(app), parent) {}

DSKPanel::Hooks DSKPanel::hooksFor(AppState& app) {
    return {[&app](QObject* owner, bool open) { app.setFilePanelOpen(owner, open); },
            [](const QUrl& url) { MediaAccess::shared().remember({url.toLocalFile()}); }};
}

DSKPanel::~DSKPanel() {
    if (dialog_) {
        dialog_->disconnect(this);
        delete dialog_.data();
        if (hooks_.setFilePanelOpen) hooks_.setFilePanelOpen(this, false);
    }
}

QString DSKPanel::dialogTitle() {
    return localized("DSK素材、または名前順で送出するフォルダを選択");
}

QStringList DSKPanel::nameFilterPatterns() {
    QStringList extensions = (Clip::stillExtensions() | Clip::movieExtensions()).values();
    std::sort(extensions.begin(), extensions.end());
    QStringList patterns;
    for (const QString& extension : extensions) patterns << QStringLiteral("*.") + extension;
    return patterns;
}

void DSKPanel::selectMedia(bool folder) {
    if (dialog_) {
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    QFileDialog* dialog = new ToolkitDialog<QFileDialog>(window(), dialogTitle());
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setModal(false);
    if (folder) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setNameFilter(localized("DSK素材") + QStringLiteral(" (") +
                              nameFilterPatterns().join(u' ') + u')');
    }
    dialog_ = dialog;
    connect(dialog, &QFileDialog::finished, this, &DSKPanel::dialogFinished);
    if (hooks_.setFilePanelOpen) hooks_.setFilePanelOpen(this, true);
    dialog->show();
}

void DSKPanel::dialogFinished(int result) {
    QFileDialog* dialog = dialog_;
    dialog_ = nullptr;
    if (hooks_.setFilePanelOpen) hooks_.setFilePanelOpen(this, false);
    if (!dialog) return;
    dialog->deleteLater();
    const QList<QUrl> urls = dialog->selectedUrls();
    if (result != QDialog::Accepted || urls.isEmpty()) return;
    // Whatever the keyer's state: it refuses a change while keyed and says so.
    if (hooks_.remember) hooks_.remember(urls.front());
    dsk_.load(urls.front());
}

void DSKPanel::retranslate() {
    title_->setText(localized("DSK"));
    choose_->setText(localized("素材を選択"));
    const QList<QAction*> choices = chooseMenu_->actions();
    choices[0]->setText(localized("ファイル…"));
    choices[1]->setText(localized("フォルダ…"));
    clear_->setToolTip(localized("DSK 素材を解除"));
    loop_->setText(localized("LOOP"));
    end_->setText(localized("END"));
    noAudio_->setText(localized("音声なし"));
    if (dialog_) dialog_->setWindowTitle(dialogTitle());
}

void DSKPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
        refresh();
    }
    QWidget::changeEvent(event);
}

void DSKPanel::resizeEvent(QResizeEvent*) {
    refresh();
}

void DSKPanel::setScale(double scale) {
    scale_ = scale > 0 ? scale : 1.0;
    auto* column = static_cast<QVBoxLayout*>(layout());
    column->setSpacing(qRound(6 * scale_));
    column->setContentsMargins(0, 0, 0, 0);
    title_->setFont(sized(20, scale_, true));
    status_->setFont(sized(10, scale_, true, true));
    preview_->setFixedHeight(qMax(1, qRound(84 * scale_)));
    count_->setFont(sized(22, scale_, true, true));
    const QFont small = sized(10, scale_, false);
    choose_->setFont(sized(11, scale_, false));
    for (QLabel* label : {name_, loopText_, noAudio_, error_}) label->setFont(small);
    for (QPushButton* mode : {loop_, end_}) {
        mode->setFont(sized(11, scale_, true));
        mode->setMinimumHeight(qRound(26 * scale_));
    }
    const int side = qMax(1, qRound(10 * scale_));
    clear_->setIconSize(QSize(side, side));
    clear_->setIcon(SvgIcon::icon(QStringLiteral(":/icons/xmark.svg"), QSize(side, side),
                                  Palette::primaryText(), Palette::white(0.45),
                                  devicePixelRatioF()));
    refresh();
}

void DSKPanel::refresh() {
    const DSKPanelPresenter::State s = DSKPanelPresenter::present(DSKPanelPresenter::inputs(dsk_));
    status_->setText(s.status);
    setTextColor(status_, s.onAir ? Palette::systemRed() : Palette::secondaryText());
    preview_->setOnAir(s.onAir);
    ImageRef picture;
    if (s.showsPicture && dsk_.media()) {
        if (const ImageRef* still = dsk_.media()->asStill()) picture = *still;
        if (const auto* movie = dsk_.media()->asMovie()) picture = movie->poster;
    }
    preview_->setPicture(picture);
    spinner_->setVisible(s.showsSpinner);
    const QSize spin(qRound(60 * scale_), qRound(6 * scale_));
    spinner_->setGeometry((preview_->width() - spin.width()) / 2,
                          (preview_->height() - spin.height()) / 2, spin.width(), spin.height());
    count_->setText(s.count);
    // One line, shortened in the middle.
    name_->setText(name_->fontMetrics().elidedText(s.name, Qt::ElideMiddle,
                                                   qMax(1, width() > 0 ? width() : 190)));
    name_->setToolTip(s.nameHelp);
    choose_->setEnabled(s.chooseEnabled);
    clear_->setEnabled(s.clearEnabled);
    loopGroup_->setVisible(s.showsLoopGroup);
    const QString lit =
        QStringLiteral("QPushButton { background: %1; color: white; border: none; }")
            .arg(Palette::withOpacity(Palette::accentBlue(), 0.45).name(QColor::HexArgb));
    const QString unlit = QStringLiteral(
        "QPushButton { background: rgba(255,255,255,15); "
        "color: white; border: none; }");
    loop_->setStyleSheet(s.loopLit ? lit : unlit);
    end_->setStyleSheet(s.loopLit ? unlit : lit);
    loopText_->setText(s.loopText);
    error_->setVisible(s.error.has_value());
    error_->setText(s.error.value_or(QString()));
}

}  // namespace velmar
